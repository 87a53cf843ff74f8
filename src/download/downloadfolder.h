#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

namespace folder {

// "2004-03-15 14:05:09 +0900": the moment in its own time zone, offset as sign and four digits.
QString datedFolderName(const QDateTime& moment);

// Makes (or finds) the dated folder inside base; answers its path, or an empty
// string when no folder exists there afterwards.
QString createDatedFolder(const QString& base, const QDateTime& moment);

// The plain files of one folder (symbolic links to plain files count, Stepgrab's own
// temporary files do not), ordered by name with digit runs compared as numbers (pic9
// before pic10). A download folder may hold tens of thousands of files, so the names
// are kept in one buffer, as the file system gives them, and paths are made on demand.
class Listing
{
public:
    Listing() = default;
    // An unreadable or empty dir gives an empty listing.
    explicit Listing(const QString& dir);

    qsizetype size() const { return mEnds.size(); }
    bool isEmpty() const { return mEnds.isEmpty(); }
    void clear() { *this = Listing(); }
    QString name(qsizetype i) const;
    QByteArrayView rawName(qsizetype i) const; // as the file system gives it
    QString path(qsizetype i) const;
    QStringList paths() const;

private:
    QString mDir;
    QByteArray mNames;    // the names in order, back to back
    QList<quint32> mEnds; // where each name ends in mNames
};

// Full paths of the files of Listing(dir).
QStringList listFiles(const QString& dir);

// The path of a downloaded file: name must be one plain path component, so an
// edited file name can never write outside dir. Empty when it is not.
QString filePathIn(const QString& dir, const QString& name);

// Hidden files stay in the list but get no menu item.
bool isValidFileName(const QString& name);
bool isValidFileName(QByteArrayView name);

// The menu title of a file: its name without the last extension.
QString menuTitle(const QString& path);

// A menu of more than `page` items is split into sections [first, last) of page,
// page², … items each, as few levels as keep every menu within `page` entries.
// Empty when the items [first, last) fit in one menu.
QList<std::pair<qsizetype, qsizetype>> menuSections(qsizetype first, qsizetype last,
                                                    qsizetype page);

} // namespace folder
