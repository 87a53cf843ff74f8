// GIO before any Qt header: glib uses "signals" as a name.
// clang-format off
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include "gioapps.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
// clang-format on

namespace gioapps {

namespace {

// What GIO itself would make of the file: its name, and its first bytes where the name
// leaves it open.
QString contentTypeOf(const QString& path)
{
    GFile* file = g_file_new_for_path(QFile::encodeName(path).constData());
    GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                        G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
    QString type;
    if (info) {
        type = QString::fromUtf8(
            g_file_info_get_attribute_string(info, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE));
        g_object_unref(info);
    }
    g_object_unref(file);
    return type;
}

} // namespace

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

QList<Group> groupByDefaultApplication(const QStringList& paths, QStringList* unknown)
{
    QList<Group> groups;
    QHash<QString, QString> applicationOfType;
    QHash<QString, qsizetype> groupOfApplication;
    for (const QString& path : paths) {
        const QString type = contentTypeOf(path);
        auto known = applicationOfType.constFind(type);
        if (known == applicationOfType.cend())
            known = applicationOfType.insert(type, type.isEmpty() ? QString()
                                                                  : defaultApplicationFor(type));
        if (known->isEmpty()) {
            unknown->append(path);
            continue;
        }
        auto group = groupOfApplication.constFind(*known);
        if (group == groupOfApplication.cend()) {
            group = groupOfApplication.insert(*known, groups.size());
            groups.append({*known, {}});
        }
        groups[*group].paths.append(path);
    }
    return groups;
}

bool launch(const QString& applicationId, const QStringList& paths)
{
    const QByteArray id = applicationId.toUtf8();
    GDesktopAppInfo* app = g_desktop_app_info_new(id.constData());
    if (!app)
        return false;
    GList* files = nullptr;
    for (const QString& path : paths)
        files = g_list_prepend(files, g_file_new_for_path(QFile::encodeName(path).constData()));
    files = g_list_reverse(files);
    GError* error = nullptr;
    const gboolean ok = g_app_info_launch(G_APP_INFO(app), files, nullptr, &error);
    if (error)
        g_error_free(error);
    g_list_free_full(files, g_object_unref);
    g_object_unref(app);
    return ok;
}

} // namespace gioapps
