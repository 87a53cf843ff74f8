#include "partfile.h"

#include "downloadfolder.h"
#include "host/localized.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <utility>

namespace {

std::atomic<bool> gUnnamedFiles{true};

// The files this process has open, by inode. On NFS flock() is carried out as a POSIX
// lock, which never conflicts within one process; removeStale() asks this list first.
std::mutex gInUseMutex;
std::set<std::pair<dev_t, ino_t>> gInUse;

constexpr char kPrefix[] = ".stepgrab-";
constexpr char kSuffix[] = ".part";
constexpr int kRandomLength = 13; // 2^64 written in base 36

QByteArray hiddenName()
{
    // Of a fixed length, so a target name near the file system's limit still has a sibling.
    const QByteArray random = QByteArray::number(QRandomGenerator::global()->generate64(), 36)
                                  .rightJustified(kRandomLength, '0');
    return kPrefix + random + kSuffix;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void markInUse(int fd, bool inUse)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return;
    const std::lock_guard lock(gInUseMutex);
    if (inUse)
        gInUse.insert({st.st_dev, st.st_ino});
    else
        gInUse.erase({st.st_dev, st.st_ino});
}

// One entry of the folder: the name is never a way into another one.
bool isPlainName(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/');
}

// An entity tag or an address longer than this is no longer worth asking with; one is not
// written that could not be read back whole.
constexpr qsizetype kAttributeLimit = 8192;

QByteArray attribute(int fd, const char* name)
{
    char value[kAttributeLimit];
    const ssize_t n = ::fgetxattr(fd, name, value, sizeof value);
    return n > 0 ? QByteArray(value, n) : QByteArray();
}

bool lockExclusive(int fd)
{
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

PartFile::PartFile(std::shared_ptr<const folder::RunFolder> folder, const QString& name)
    : mFolder(std::move(folder)), mName(QFile::encodeName(name))
{
}

PartFile::PartFile(const QString& path)
    : mFolderPath(QFileInfo(path).absolutePath()),
      mName(QFile::encodeName(QFileInfo(path).fileName()))
{
}

int PartFile::folderFd() const
{
    return mFolder->fd();
}

PartFile::~PartFile()
{
    discard();
}

void PartFile::setUnnamedFilesForTesting(bool allowed)
{
    gUnnamedFiles = allowed;
}

QString PartFile::reason(int errorCode)
{
    switch (errorCode) {
    case EACCES:
    case EPERM:
    case EROFS:
        return localized("ReasonPermissionDenied");
    case ENOSPC:
    case EDQUOT:
        return localized("ReasonDiskFull");
    // Every path used here is the folder plus a name that is ours or the target's, so a
    // missing entry is the folder (or one above it).
    case ENOENT:
    case ENOTDIR:
        return localized("ReasonFolderMissing");
    case ENAMETOOLONG:
        return localized("ReasonNameTooLong");
    default:
        return qt_error_string(errorCode);
    }
}

bool PartFile::isTemporaryName(std::string_view fileName)
{
    const std::string_view prefix = kPrefix, suffix = kSuffix;
    if (fileName.size() <= prefix.size() + suffix.size() ||
        fileName.size() > prefix.size() + kRandomLength + suffix.size() ||
        !fileName.starts_with(prefix) || !fileName.ends_with(suffix))
        return false;
    const std::string_view random =
        fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
    return std::all_of(random.begin(), random.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

bool PartFile::isTemporaryName(const QString& fileName)
{
    const QByteArray bytes = QFile::encodeName(fileName);
    return isTemporaryName(std::string_view(bytes.constData(), size_t(bytes.size())));
}

void PartFile::setError(int code)
{
    mErrorCode = code;
    mError = reason(code);
}

bool PartFile::fail(int code)
{
    setError(code);
    discard();
    return false;
}

// Used without a successful open(): the failure that ended the file, if any, stands.
bool PartFile::notOpen()
{
    if (mErrorCode == 0)
        setError(EBADF);
    return false;
}

bool PartFile::open()
{
    discard();
    mError.clear();
    mErrorCode = 0;
    mSize = 0;
    if (!isPlainName(mName))
        return fail(EINVAL);
    if (!mFolder) {
        mFolder = folder::RunFolder::open(mFolderPath, nullptr);
        if (!mFolder)
            return fail(errno);
    }
    if (gUnnamedFiles) {
        mFd = ::openat(folderFd(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (mFd >= 0) {
            // Unnamed, nobody else can reach it yet; the lock is for the hidden name that
            // commit() links to it.
            markInUse(mFd, true);
            if (!lockExclusive(mFd))
                return fail(errno);
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return fail(folderDeleted() ? ENOENT : errno);
    }
    return openNamed();
}

// A folder deleted while held open still answers by its descriptor, with errors (EPERM for an
// unnamed file) that do not say it is gone.
bool PartFile::folderDeleted() const
{
    const int errorCode = errno;
    struct stat st;
    const bool gone = ::fstat(folderFd(), &st) == 0 && st.st_nlink == 0;
    errno = errorCode;
    return gone;
}

// A removeStale() elsewhere may open, lock and unlink a file made here in the moment before
// it is locked; so once locked, the name must still lead to this file, else try another.
bool PartFile::openNamed()
{
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name = hiddenName();
        const int fd = ::openat(folderFd(), name.constData(),
                                O_CREAT | O_EXCL | O_WRONLY | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return fail(errno);
        }
        mFd = fd;
        mTemporary = name;
        markInUse(fd, true);
        if (!lockExclusive(fd))
            return fail(errno);
        struct stat opened, named;
        if (::fstat(fd, &opened) != 0)
            return fail(errno);
        const bool stillNamed =
            ::fstatat(folderFd(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0;
        if (!stillNamed && errno != ENOENT)
            return fail(errno);
        if (stillNamed && sameFile(opened, named))
            return true;
        // Its name is gone, or was taken by another file: not ours to remove.
        mTemporary.clear();
        closeFile();
    }
    return fail(EEXIST);
}

bool PartFile::write(const QByteArray& data)
{
    if (mFd < 0)
        return notOpen();
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(mFd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        p += n;
        left -= n;
        mSize += n;
    }
    return true;
}

bool PartFile::rewind()
{
    if (mFd < 0)
        return notOpen();
    if (::ftruncate(mFd, 0) != 0 || ::lseek(mFd, 0, SEEK_SET) != 0)
        return fail(errno);
    mSize = 0;
    return true;
}

void PartFile::setOrigin(const QByteArray& origin, const QByteArray& etag)
{
    if (mFd < 0)
        return;
    if (origin.size() <= kAttributeLimit)
        ::fsetxattr(mFd, kOriginAttribute, origin.constData(), size_t(origin.size()), 0);
    if (!etag.isEmpty() && etag.size() <= kAttributeLimit)
        ::fsetxattr(mFd, kETagAttribute, etag.constData(), size_t(etag.size()), 0);
}

void PartFile::setModified(const QDateTime& time)
{
    if (mFd < 0 || !time.isValid())
        return;
    const qint64 ms = time.toMSecsSinceEpoch();
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {time_t(ms / 1000), long(ms % 1000) * 1000000}};
    ::futimens(mFd, times);
}

std::optional<PartFile::Kept> PartFile::kept(const folder::RunFolder& folder, const QString& name)
{
    const QByteArray encoded = QFile::encodeName(name);
    struct stat named;
    if (!isPlainName(encoded) ||
        ::fstatat(folder.fd(), encoded.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(named.st_mode))
        return std::nullopt;
    Kept kept;
    kept.size = named.st_size;
    kept.modified = QDateTime::fromMSecsSinceEpoch(
        qint64(named.st_mtim.tv_sec) * 1000 + named.st_mtim.tv_nsec / 1000000, Qt::UTC);
    // Its attributes are read from the same file: a file that cannot be opened (not readable
    // to us) is asked for by its date alone.
    const int fd = ::openat(folder.fd(), encoded.constData(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        struct stat opened;
        if (::fstat(fd, &opened) == 0 && sameFile(opened, named)) {
            kept.origin = attribute(fd, kOriginAttribute);
            kept.etag = attribute(fd, kETagAttribute);
        }
        ::close(fd);
    }
    return kept;
}

bool PartFile::commit()
{
    if (mFd < 0)
        return notOpen();
    if (mTemporary.isEmpty()) {
        // Give the unnamed file a hidden name first: the rename then replaces the target in one
        // step.
        const QByteArray link = hiddenName();
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(mFd);
        if (::linkat(AT_FDCWD, self.constData(), folderFd(), link.constData(), AT_SYMLINK_FOLLOW) !=
            0)
            return fail(errno);
        mTemporary = link;
    }
    // Renamed while still locked: once the lock is let go, the hidden name may be taken
    // for a stale one.
    if (::renameat(folderFd(), mTemporary.constData(), folderFd(), mName.constData()) != 0)
        return fail(errno);
    mTemporary.clear();
    markInUse(mFd, false);
    if (::close(std::exchange(mFd, -1)) != 0) {
        // Network file systems report a failed write only here; the file may be short, and
        // a short file under the target's name would pass for the download.
        const int code = errno;
        ::unlinkat(folderFd(), mName.constData(), 0);
        setError(code);
        return false;
    }
    return true;
}

void PartFile::closeFile()
{
    if (mFd < 0)
        return;
    markInUse(mFd, false);
    ::close(std::exchange(mFd, -1));
}

void PartFile::discard()
{
    // The name goes before the lock does, so nobody else can remove a file of the same name.
    if (!mTemporary.isEmpty()) {
        ::unlinkat(folderFd(), mTemporary.constData(), 0);
        mTemporary.clear();
    }
    closeFile();
}

int PartFile::removeStale(const folder::RunFolder& folder)
{
    // A description of its own: the listing moves its offset, and closedir() closes it.
    const int dirFd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0)
        return 0;
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (!isTemporaryName(std::string_view(name)))
            continue;
        struct stat before;
        if (::fstatat(dirFd, name, &before, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(before.st_mode))
            continue;
        {
            const std::lock_guard lock(gInUseMutex);
            if (gInUse.count({before.st_dev, before.st_ino}))
                continue;
        }
        // Opened for writing where allowed: NFS grants an exclusive lock only to a writer.
        int fd = ::openat(dirFd, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            fd = ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat opened;
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && sameFile(before, opened) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            // Under the lock the name cannot change hands; it must still be this file.
            struct stat now;
            const std::lock_guard lock(gInUseMutex);
            if (::fstatat(dirFd, name, &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, opened) &&
                !gInUse.count({now.st_dev, now.st_ino}) && ::unlinkat(dirFd, name, 0) == 0)
                ++removed;
        }
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}
