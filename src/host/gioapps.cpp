// GIO before any Qt header: glib uses "signals" as a name.
// clang-format off
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "gioapps.h"

#include <QByteArray>
// clang-format on

namespace gioapps {

QString defaultApplicationFor(const QString& mimeType)
{
    const QByteArray type = mimeType.toUtf8();
    GAppInfo* app = g_app_info_get_default_for_type(type.constData(), FALSE);
    if (!app)
        return {};
    const QString id = QString::fromUtf8(g_app_info_get_id(app));
    g_object_unref(app);
    return id;
}

bool launch(const QString& applicationId, const QStringList& paths)
{
    const QByteArray id = applicationId.toUtf8();
    GDesktopAppInfo* app = g_desktop_app_info_new(id.constData());
    if (!app)
        return false;
    GList* files = nullptr;
    for (const QString& path : paths)
        files = g_list_append(files, g_file_new_for_path(path.toUtf8().constData()));
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch(G_APP_INFO(app), files, nullptr, &error);
    if (error)
        g_error_free(error);
    g_list_free_full(files, g_object_unref);
    g_object_unref(app);
    return ok;
}

} // namespace gioapps
