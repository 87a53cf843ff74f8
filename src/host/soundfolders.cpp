#include "soundfolders.h"

#include "address/fileelement.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sounds {

QStringList soundFolders()
{
    QStringList folders;
    folders << QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                   QStringLiteral("/sounds");
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts))
        folders << dir + QStringLiteral("/sounds/freedesktop/stereo");
    return folders;
}

QStringList soundNames()
{
    QStringList names;
    for (const QString& folder : soundFolders()) {
        const QStringList entries = QDir(folder).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QString& entry : entries)
            names << address::deletingPathExtension(entry);
    }
    return names;
}

QString soundFile(const QString& name)
{
    if (name.isEmpty())
        return {};
    for (const QString& folder : soundFolders()) {
        const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        for (const QString& entry : entries) {
            if (address::deletingPathExtension(entry) == name)
                return QDir(folder).filePath(entry);
        }
    }
    return {};
}

} // namespace sounds
