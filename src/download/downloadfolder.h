#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace folder {

// "2004-03-15 14:05:09 +0900": the moment in its own time zone, offset as sign and four digits.
QString datedFolderName(const QDateTime& moment);

// Makes (or finds) the dated folder inside base; answers its path, or an empty
// string when no folder exists there afterwards.
QString createDatedFolder(const QString& base, const QDateTime& moment);

// Full paths of the plain files in dir, ordered by name with digit runs
// compared as numbers (pic9 before pic10); an unreadable dir gives none.
QStringList listFiles(const QString& dir);

// The path of a downloaded file: name must be one plain path component, so an
// edited file name can never write outside dir. Empty when it is not.
QString filePathIn(const QString& dir, const QString& name);

// Hidden files stay in the list but get no menu item.
bool isValidFileName(const QString& name);

// The menu title of a file: its name without the last extension.
QString menuTitle(const QString& path);

} // namespace folder
