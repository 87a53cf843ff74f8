#pragma once

#include <QString>
#include <QStringList>

namespace gioapps {

// The id of the default application for a MIME type ("org.gnome.eog.desktop"), or empty.
QString defaultApplicationFor(const QString& mimeType);

// Launches that application once with all files; GIO starts one process per
// file itself when the application takes only one. False when it cannot launch.
bool launch(const QString& applicationId, const QStringList& paths);

} // namespace gioapps
