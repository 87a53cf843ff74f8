#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace gioapps {

// The id of the default application for a MIME type ("org.gnome.eog.desktop"), or empty.
QString defaultApplicationFor(const QString& mimeType);

struct Group
{
    QString applicationId;
    QStringList paths;
};

// The files grouped by the default application of each one's content type, the groups in
// the order of their first files. Files that no application opens go to unknown.
QList<Group> groupByDefaultApplication(const QStringList& paths, QStringList* unknown);

// Launches that application once with all files; GIO starts one process per
// file itself when the application takes only one. False when it cannot launch.
bool launch(const QString& applicationId, const QStringList& paths);

} // namespace gioapps
