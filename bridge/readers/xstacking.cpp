#include "readers/xstacking.h"

#include <QByteArray>
#include <QScopeGuard>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace bridge {

namespace {

// Bounds on what other clients may publish: more windows than anyone keeps open, titles
// longer than any window manager shows (in 32-bit units, as X counts them).
constexpr uint32_t kMaxWindows = 4096;
constexpr uint32_t kMaxTitleUnits = 1024;

struct Reply
{
    void operator()(void* reply) const { std::free(reply); }
};
using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, Reply>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, true, uint16_t(qstrlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, Reply> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_get_property_cookie_t ask(xcb_connection_t* connection, xcb_window_t window,
                              xcb_atom_t property, xcb_atom_t type, uint32_t units)
{
    return xcb_get_property(connection, false, window, property, type, 0, units);
}

PropertyReply answer(xcb_connection_t* connection, xcb_get_property_cookie_t cookie,
                     xcb_atom_t type, uint8_t format)
{
    PropertyReply reply(xcb_get_property_reply(connection, cookie, nullptr));
    if (!reply || reply->type != type || reply->format != format)
        return nullptr;
    return reply;
}

QByteArray bytes(const PropertyReply& reply)
{
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

} // namespace

QList<TopLevel> stackedWindows()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return {};
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    const auto disconnect = qScopeGuard([connection] { xcb_disconnect(connection); });
    if (xcb_connection_has_error(connection))
        return {};
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem <= 0)
        return {};
    const xcb_window_t root = screens.data->root;

    const xcb_atom_t stackingAtom = atom(connection, "_NET_CLIENT_LIST_STACKING");
    const xcb_atom_t pidAtom = atom(connection, "_NET_WM_PID");
    const xcb_atom_t nameAtom = atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8Atom = atom(connection, "UTF8_STRING");
    if (stackingAtom == XCB_ATOM_NONE)
        return {};
    const PropertyReply stacking =
        answer(connection, ask(connection, root, stackingAtom, XCB_ATOM_WINDOW, kMaxWindows),
               XCB_ATOM_WINDOW, 32);
    if (!stacking)
        return {};
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(stacking.get()));
    const int count = xcb_get_property_value_length(stacking.get()) / 4;

    // All questions first, then the answers: one round trip for the lot, not three per window.
    struct Questions
    {
        xcb_get_property_cookie_t pid, name, wmName;
    };
    QList<Questions> questions;
    for (int i = 0; i < count; ++i)
        questions.append(
            {ask(connection, ids[i], pidAtom, XCB_ATOM_CARDINAL, 1),
             ask(connection, ids[i], nameAtom, utf8Atom, kMaxTitleUnits),
             ask(connection, ids[i], XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, kMaxTitleUnits)});
    QList<TopLevel> windows;
    for (const Questions& question : questions) {
        TopLevel window;
        if (const PropertyReply pid = answer(connection, question.pid, XCB_ATOM_CARDINAL, 32);
            pid && xcb_get_property_value_length(pid.get()) == 4)
            window.pid = *static_cast<const uint32_t*>(xcb_get_property_value(pid.get()));
        const PropertyReply name = answer(connection, question.name, utf8Atom, 8);
        PropertyReply wmName(xcb_get_property_reply(connection, question.wmName, nullptr));
        // WM_NAME may also come as COMPOUND_TEXT, which only _NET_WM_NAME spares us decoding.
        if (name)
            window.title = QString::fromUtf8(bytes(name));
        else if (wmName && wmName->format == 8 && wmName->type == XCB_ATOM_STRING)
            window.title = QString::fromLatin1(bytes(wmName));
        else if (wmName && wmName->format == 8 && wmName->type == utf8Atom)
            window.title = QString::fromUtf8(bytes(wmName));
        windows.append(window);
    }
    return windows;
}

} // namespace bridge
