#include "soundfolders.h"

#include "address/fileelement.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

namespace sounds {

namespace {

// Folders of a hundred thousand files (or themes) are not read to their end: the pop-up
// would be useless long before. The bound is on entries read, over all folders together.
constexpr int kMaxEntries = 8000;

struct Sound
{
    QString name;
    QString path;
};

// Names sorted, so the list is the same on every file system; each entry read costs budget.
QFileInfoList listing(const QString& folder, QDir::Filters filters, int& budget)
{
    QFileInfoList entries;
    QDirIterator it(folder, filters | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext() && budget > 0) {
        --budget;
        it.next();
        entries << it.fileInfo();
    }
    std::sort(entries.begin(), entries.end(),
              [](const QFileInfo& a, const QFileInfo& b) { return a.fileName() < b.fileName(); });
    return entries;
}

// Reads one folder and one level of theme folders below it and no deeper, so a link that
// points back up cannot make the search go round.
template <class Visit> bool visitSounds(Visit&& visit)
{
    int budget = kMaxEntries;
    for (const QString& folder : soundFolders()) {
        QFileInfoList files = listing(folder, QDir::Files, budget);
        for (const QFileInfo& theme : listing(folder, QDir::Dirs, budget))
            files += listing(theme.filePath() + QStringLiteral("/stereo"), QDir::Files, budget);
        for (const QFileInfo& file : files) {
            if (visit(Sound{address::deletingPathExtension(file.fileName()), file.filePath()}))
                return true;
        }
    }
    return false;
}

} // namespace

QStringList soundFolders()
{
    // Relative entries are not data folders: they would depend on the working directory.
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (!QDir::isAbsolutePath(home))
        home = QDir::homePath() + QStringLiteral("/.local/share");
    QStringList folders{home + QStringLiteral("/sounds")};
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(dir))
            folders << dir + QStringLiteral("/sounds");
    return folders;
}

QStringList soundNames()
{
    QStringList names;
    visitSounds([&](const Sound& sound) {
        names << sound.name;
        return false;
    });
    return names;
}

QString soundFile(const QString& name)
{
    QString path;
    if (!name.isEmpty())
        visitSounds([&](const Sound& sound) {
            if (sound.name != name)
                return false;
            path = sound.path;
            return true;
        });
    return path;
}

QStringList oneItemPerTitle(const QStringList& titles)
{
    QSet<QString> seen;
    QStringList items;
    for (auto it = titles.crbegin(); it != titles.crend(); ++it)
        if (!seen.contains(*it)) {
            seen.insert(*it);
            items.prepend(*it);
        }
    return items;
}

} // namespace sounds
