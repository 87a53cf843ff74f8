#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>

namespace folder {

// The folder the runs write into, or under: an output directory emptied in the preferences
// stands for the home folder.
QString outputFolder(const QString& directory);

// "2004-03-15 14:05:09 +0900": the moment in its own time zone, offset as sign and four digits.
QString datedFolderName(const QDateTime& moment);

// A folder a run writes into, held open for as long as the run needs it: every file is
// made relative to the descriptor, so renaming the folder, or putting a symbolic link in
// place of its name, while the run goes on changes nothing about where the files land.
// Immutable once made, so the main thread and a worker may share one.
class RunFolder
{
public:
    // An existing folder, as the user named it: the user's own output folder may itself be
    // a symbolic link, which is followed. Null and *reason (in the user's words) when it
    // cannot be opened; errno then tells why.
    static std::shared_ptr<const RunFolder> open(const QString& path, QString* reason);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    int fd() const { return mFd; }
    const QString& path() const { return mPath; }

private:
    RunFolder(int fd, const QString& path) : mFd(fd), mPath(path) {}

    friend std::shared_ptr<const RunFolder> createDatedFolder(const QString&, const QDateTime&,
                                                              QString*);
    int mFd;
    QString mPath;
};

// Makes (or finds) the dated folder inside base. One that exists already (two runs in the
// same second) is taken only when it is a real directory of this user's: anyone who can
// write into base could have put a link or a folder of their own under the name ahead of
// the run. Null with *reason empty when no folder could be made there; null with *reason
// when something under the name cannot be the run's folder.
std::shared_ptr<const RunFolder> createDatedFolder(const QString& base, const QDateTime& moment,
                                                   QString* reason);

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
