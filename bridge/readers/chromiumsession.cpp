#include "readers/chromium.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <algorithm>
#include <cstdint>
#include <cstring>

// Chromium's session file is a log of commands, replayed from the start: "SNSS", an int32
// version, then commands of a uint16 size (counting the id byte) followed by a uint8 command id
// and its payload. Small commands carry raw int32 fields; the others carry a pickle (a uint32
// payload size, then fields aligned to four bytes). All integers are little endian.
namespace bridge {
namespace {

enum Command : quint8 {
    SetTabWindow = 0,        // int32 window id, int32 tab id
    SetTabIndexInWindow = 2, // int32 tab id, int32 index
    UpdateTabNavigation = 6, // pickle: int32 tab id, int32 index, string url, string16 title...
    SetSelectedNavigationIndex = 7, // int32 tab id, int32 index
    SetSelectedTabInWindow = 8,     // int32 window id, int32 index
    TabClosed = 16,                 // int32 tab id, int64 time
    WindowClosed = 17,              // int32 window id, int64 time
    SetActiveWindow = 20,           // int32 window id
};

// Bounds against a file that claims absurd numbers: more windows, tabs or history entries than
// any browser keeps are ignored rather than stored.
constexpr int kMaxWindows = 1000;
constexpr int kMaxTabs = 20000;
constexpr qint32 kMaxNavigationIndex = 100000;
constexpr int kMaxUrlBytes = 2 * 1024 * 1024;
constexpr int kMaxEntriesPerTab = 1000;

class Reader
{
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}

    bool int32(qint32& value)
    {
        if (m_bytes.size() - m_pos < 4)
            return false;
        std::uint32_t raw = 0;
        for (int i = 3; i >= 0; --i)
            raw = (raw << 8) | static_cast<std::uint8_t>(m_bytes[m_pos + i]);
        value = static_cast<qint32>(raw);
        m_pos += 4;
        return true;
    }

    // A pickled string: int32 length, the bytes, padding to four.
    bool string(QByteArrayView& value, qsizetype unitSize)
    {
        qint32 length = 0;
        if (!int32(length) || length < 0)
            return false;
        const qsizetype bytes = qsizetype(length) * unitSize;
        if (bytes > m_bytes.size() - m_pos)
            return false;
        value = m_bytes.sliced(m_pos, bytes);
        m_pos += std::min<qsizetype>((bytes + 3) & ~qsizetype(3), m_bytes.size() - m_pos);
        return true;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
};

struct Tab
{
    qint32 window = 0;
    bool hasWindow = false;
    qint32 index = 0;
    qint32 selected = -1; // -1: not told, the newest entry
    int order = 0;
    QMap<qint32, QString> entries;

    QString address() const
    {
        if (entries.isEmpty())
            return {};
        if (selected < 0)
            return entries.last();
        // Entries outside the persisted range are not in the file: take the nearest one before.
        auto it = entries.upperBound(selected);
        if (it == entries.begin())
            return it.value();
        return std::prev(it).value();
    }
};

struct Window
{
    qint32 selected = 0;
    int order = 0;
    bool closed = false;
};

class Session
{
public:
    void apply(quint8 id, QByteArrayView payload)
    {
        Reader in(payload);
        qint32 a = 0, b = 0;
        switch (id) {
        case SetTabWindow:
            if (in.int32(a) && in.int32(b) && window(a))
                if (Tab* t = tab(b)) {
                    t->window = a;
                    t->hasWindow = true;
                }
            break;
        case SetTabIndexInWindow:
            if (in.int32(a) && in.int32(b))
                if (Tab* t = tab(a))
                    t->index = b;
            break;
        case SetSelectedNavigationIndex:
            if (in.int32(a) && in.int32(b))
                if (Tab* t = tab(a))
                    t->selected = b;
            break;
        case SetSelectedTabInWindow:
            if (in.int32(a) && in.int32(b))
                if (Window* w = window(a))
                    w->selected = b;
            break;
        case TabClosed:
            if (in.int32(a))
                m_tabs.remove(a);
            break;
        case WindowClosed:
            if (in.int32(a))
                if (Window* w = window(a))
                    w->closed = true;
            break;
        case SetActiveWindow:
            if (in.int32(a) && window(a))
                m_active = a;
            break;
        case UpdateTabNavigation:
            navigation(payload);
            break;
        default:
            break; // window bounds, pinning, groups, extra data...: nothing an address needs
        }
    }

    QStringList windows() const
    {
        QList<std::pair<qint32, const Window*>> open;
        for (auto it = m_windows.cbegin(); it != m_windows.cend(); ++it)
            if (!it->closed)
                open.append({it.key(), &it.value()});
        // The active window first; the rest as the file first named them (a rewritten file
        // names the active window first, with no separate command).
        std::sort(open.begin(), open.end(), [this](const auto& x, const auto& y) {
            const bool xActive = m_active && *m_active == x.first;
            const bool yActive = m_active && *m_active == y.first;
            if (xActive != yActive)
                return xActive;
            return x.second->order < y.second->order;
        });
        QStringList addresses;
        for (const auto& [id, w] : open) {
            QList<const Tab*> tabs;
            for (const Tab& t : m_tabs)
                if (t.hasWindow && t.window == id)
                    tabs.append(&t);
            // A window that shows no address keeps its place as an empty one: skipping it
            // would pass another window's page off as the front one.
            if (tabs.isEmpty()) {
                addresses.append(QString());
                continue;
            }
            std::sort(tabs.begin(), tabs.end(), [](const Tab* x, const Tab* y) {
                return x->index != y->index ? x->index < y->index : x->order < y->order;
            });
            const qsizetype selected = std::clamp<qsizetype>(w->selected, 0, tabs.size() - 1);
            addresses.append(tabs[selected]->address());
        }
        return addresses;
    }

private:
    Window* window(qint32 id)
    {
        auto it = m_windows.find(id);
        if (it != m_windows.end())
            return &it.value();
        if (m_windows.size() >= kMaxWindows)
            return nullptr;
        Window w;
        w.order = m_nextOrder++;
        return &m_windows.insert(id, w).value();
    }

    Tab* tab(qint32 id)
    {
        auto it = m_tabs.find(id);
        if (it != m_tabs.end())
            return &it.value();
        if (m_tabs.size() >= kMaxTabs)
            return nullptr;
        Tab t;
        t.order = m_nextOrder++;
        return &m_tabs.insert(id, t).value();
    }

    void navigation(QByteArrayView payload)
    {
        Reader header(payload);
        qint32 pickled = 0;
        if (!header.int32(pickled) || pickled < 0 || pickled > payload.size() - 4)
            return;
        Reader in(payload.sliced(4, pickled));
        qint32 tabId = 0, index = 0;
        QByteArrayView url;
        if (!in.int32(tabId) || !in.int32(index) || !in.string(url, 1))
            return;
        if (index < 0 || index > kMaxNavigationIndex || url.size() > kMaxUrlBytes)
            return;
        Tab* t = tab(tabId);
        if (!t)
            return;
        // A tab's history is bounded as well: a file can name any index.
        if (t->entries.size() >= kMaxEntriesPerTab && !t->entries.contains(index))
            return;
        t->entries.insert(index, QString::fromUtf8(url));
    }

    QHash<qint32, Window> m_windows;
    QHash<qint32, Tab> m_tabs;
    std::optional<qint32> m_active;
    int m_nextOrder = 0;
};

} // namespace

std::optional<QStringList> parseChromiumSession(QByteArrayView file)
{
    if (file.size() < 8 || std::memcmp(file.data(), "SNSS", 4) != 0)
        return std::nullopt;
    qint32 version = 0;
    Reader(file.sliced(4, 4)).int32(version);
    // 1 is the original layout, 3 today's; the commands read here are the same in both.
    if (version < 1 || version > 3)
        return std::nullopt;

    Session session;
    qsizetype pos = 8;
    while (file.size() - pos >= 2) {
        const auto size = static_cast<qsizetype>(static_cast<quint8>(file[pos]) |
                                                 (static_cast<quint8>(file[pos + 1]) << 8));
        pos += 2;
        // A command that runs past the end is one still being written: the state so far holds.
        if (size == 0 || size > file.size() - pos)
            break;
        session.apply(static_cast<quint8>(file[pos]), file.sliced(pos + 1, size - 1));
        pos += size;
    }
    return session.windows();
}

} // namespace bridge
