#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>
#include <string_view>

namespace folder {
class RunFolder;
}

// A file that appears under its name only when commit() succeeds, complete; until
// then it is an unnamed file in the same folder, so a failed or abandoned
// transfer leaves nothing behind, not even after a crash. Unlike QSaveFile it
// does not sync each file to disk: a downloader writes many files in a row, and
// a lost file can be fetched again.
//
// Where the file system has no unnamed files (vfat, NFS, CIFS) the file is a
// hidden ".stepgrab-<random>.part" in the folder instead, removed on every
// failure; after a crash removeStale() clears what is left. Both kinds hold an
// exclusive flock() for as long as they are in use, so that removeStale() in
// another Stepgrab never takes a file that is still being written.
//
// Every step is taken relative to the folder's descriptor, so the file lands in the folder
// that was opened, whatever happens to the folder's name meanwhile.
class PartFile
{
public:
    PartFile(std::shared_ptr<const folder::RunFolder> folder, const QString& name);
    // The folder of path is opened by open().
    explicit PartFile(const QString& path);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool open();
    bool write(const QByteArray& data);
    bool commit();
    void discard();
    // Bytes written since open() or the last rewind().
    qint64 size() const { return mSize; }
    // Empties the file to write it from the start again (a server that ignored a resume).
    bool rewind();
    // Before commit(), so the file never shows without them; best effort, since a file system
    // without user attributes, or a date it cannot hold, costs only a later conditional fetch.
    // origin goes under the freedesktop name, etag (when not empty) under Stepgrab's own.
    void setOrigin(const QByteArray& origin, const QByteArray& etag);
    void setModified(const QDateTime& time);

    // A file already under `name` in the folder, as a later run finds it.
    struct Kept
    {
        QDateTime modified;
        qint64 size = 0;
        QByteArray origin; // empty when none was kept
        QByteArray etag;
    };
    // Only a plain file counts: a link, a folder or a device under the name is no download of
    // ours, and is replaced like any missing file.
    static std::optional<Kept> kept(const folder::RunFolder& folder, const QString& name);
    static constexpr char kOriginAttribute[] = "user.xdg.origin.url";
    static constexpr char kETagAttribute[] = "user.stepgrab.etag";

    // Why the last call failed, in the user's words and without the path.
    QString errorString() const { return mError; }
    // The errno behind errorString(); 0 while nothing failed.
    int errorCode() const { return mErrorCode; }

    // The reason shown for an errno of a file operation.
    static QString reason(int errorCode);
    // Whether fileName (a name, not a path) is one of the temporary names this class makes.
    static bool isTemporaryName(std::string_view fileName);
    static bool isTemporaryName(const QString& fileName);
    // Removes the temporaries in folder that no process holds, and only those; returns how
    // many. Symbolic links, directories and all other names are left alone.
    static int removeStale(const folder::RunFolder& folder);
    // Makes open() act as on a file system without unnamed files, so the named kind can be
    // tried where the test machine's file systems have them.
    static void setUnnamedFilesForTesting(bool allowed);

private:
    void setError(int code);
    bool fail(int code);
    bool notOpen();
    bool openNamed();
    bool folderDeleted() const;
    void closeFile();

    int folderFd() const;

    std::shared_ptr<const folder::RunFolder> mFolder;
    QString mFolderPath; // to open, when made from a path
    QByteArray mName;
    QByteArray mTemporary; // the hidden name while the file has one
    int mFd = -1;
    qint64 mSize = 0;
    QString mError;
    int mErrorCode = 0;
};
