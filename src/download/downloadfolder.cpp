#include "downloadfolder.h"

#include "address/fileelement.h"
#include "host/localized.h"
#include "partfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <numeric>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace folder {

QString outputFolder(const QString& directory)
{
    return directory.isEmpty() ? QDir::homePath() : directory;
}

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Appends the sort key of a name, so that comparing keys byte by byte orders names with
// digit runs compared by value: each run becomes '0', its length without leading zeros
// (a name has at most 255 bytes) and those digits. A NUL and the name itself follow, so
// that names equal in value (pic7, pic07) still have one order; the NUL is below every
// byte that can follow a shorter key's end. '0' stands for a run before a letter just as
// the run's own first digit would.
void appendKey(QByteArray& keys, std::string_view name)
{
    const qsizetype at = keys.size();
    // The longest key: one-digit runs between single other bytes ("1a1" takes 3n + 2).
    keys.resize(at + 3 * qsizetype(name.size()) + 2);
    char* out = keys.data() + at;
    for (size_t i = 0; i < name.size();) {
        if (!isDigit(name[i])) {
            *out++ = name[i++];
            continue;
        }
        size_t end = i;
        while (end < name.size() && isDigit(name[end]))
            ++end;
        while (i < end - 1 && name[i] == '0')
            ++i;
        *out++ = '0';
        *out++ = char(end - i);
        out = std::copy(name.data() + i, name.data() + end, out);
        i = end;
    }
    *out++ = '\0';
    out = std::copy(name.begin(), name.end(), out);
    keys.resize(out - keys.data());
}

// A key's place in the sort, with its first bytes past what all keys share as one number,
// so that most comparisons need not look at the bytes themselves.
struct SortEntry
{
    quint64 head;
    quint32 start; // of the key
    quint32 name;  // where the name begins, inside the key
    quint32 end;
};

} // namespace

QString datedFolderName(const QDateTime& moment)
{
    const int offset = moment.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) + (offset < 0 ? u'-' : u'+') +
           QStringLiteral("%1%2")
               .arg(minutes / 60, 2, 10, QChar(u'0'))
               .arg(minutes % 60, 2, 10, QChar(u'0'));
}

namespace {

// O_PATH: a folder that may be written into but not listed (a drop box) is still a folder
// to download into.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

QString joined(const QString& dir, const QString& name)
{
    return dir.endsWith(u'/') ? dir + name : dir + u'/' + name;
}

} // namespace

std::shared_ptr<const RunFolder> RunFolder::open(const QString& path, QString* reason)
{
    const int fd = path.isEmpty() ? (errno = ENOENT, -1)
                                  : ::open(QFile::encodeName(path).constData(), kFolderFlags);
    if (fd < 0) {
        const int code = errno;
        if (reason)
            *reason = PartFile::reason(code);
        errno = code;
        return nullptr;
    }
    return std::shared_ptr<const RunFolder>(new RunFolder(fd, path));
}

RunFolder::~RunFolder()
{
    ::close(mFd);
}

std::shared_ptr<const RunFolder> createDatedFolder(const QString& base, const QDateTime& moment,
                                                   QString* reason)
{
    if (reason)
        reason->clear();
    const std::shared_ptr<const RunFolder> parent = RunFolder::open(base, nullptr);
    if (!parent)
        return nullptr;
    const QString name = datedFolderName(moment);
    const QByteArray encoded = QFile::encodeName(name);
    if (::mkdirat(parent->fd(), encoded.constData(), 0777) != 0 && errno != EEXIST)
        return nullptr;
    // Whatever is under the name now is judged by the descriptor itself, so it cannot be
    // swapped between the check and its use.
    const int fd = ::openat(parent->fd(), encoded.constData(), kFolderFlags | O_NOFOLLOW);
    struct stat info;
    const bool opened = fd >= 0 && ::fstat(fd, &info) == 0;
    if (opened && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid())
        return std::shared_ptr<const RunFolder>(new RunFolder(fd, joined(base, name)));
    const int code = errno;
    if (fd >= 0)
        ::close(fd);
    if (reason)
        *reason = opened || code == ELOOP || code == ENOTDIR ? localized("ReasonFolderRefused")
                                                             : PartFile::reason(code);
    return nullptr;
}

// One pass over the directory: the entry's type comes with its name, and only links and
// file systems that do not give it cost a stat.
Listing::Listing(const QString& dir)
{
    if (dir.isEmpty())
        return;
    DIR* stream = ::opendir(QFile::encodeName(dir).constData());
    if (!stream)
        return;
    QByteArray keys;
    std::vector<SortEntry> entries;
    // The folder's own size tells roughly how much its names take, where the file system
    // says: a guess that spares copying the keys as they grow.
    struct stat folderInfo;
    if (::fstat(::dirfd(stream), &folderInfo) == 0 && folderInfo.st_size > 0)
        keys.reserve(qsizetype(std::min<off_t>(folderInfo.st_size, 64 << 20)) * 2);
    qsizetype nameBytes = 0;
    while (const dirent* entry = ::readdir(stream)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool plain = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info;
            plain =
                ::fstatat(::dirfd(stream), entry->d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
        }
        // What a run is still writing, where the file system has no unnamed temporary files.
        if (!plain || PartFile::isTemporaryName(name))
            continue;
        const quint32 start = quint32(keys.size());
        appendKey(keys, name);
        const quint32 end = quint32(keys.size());
        entries.push_back({0, start, quint32(end - name.size()), end});
        nameBytes += qsizetype(name.size());
    }
    ::closedir(stream);
    if (entries.empty())
        return;

    const std::string_view all(keys.constData(), size_t(keys.size()));
    const auto key = [&](const SortEntry& e) { return all.substr(e.start, e.end - e.start); };
    size_t shared = key(entries.front()).size();
    for (const SortEntry& e : entries) {
        const std::string_view k = key(e), first = key(entries.front());
        shared =
            std::mismatch(k.begin(), k.begin() + std::min(shared, k.size()), first.begin()).first -
            k.begin();
    }
    for (SortEntry& e : entries) {
        const std::string_view rest = key(e).substr(shared);
        for (size_t i = 0; i < 8; ++i)
            e.head = e.head << 8 | (i < rest.size() ? quint8(rest[i]) : 0);
    }
    std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
        return a.head != b.head ? a.head < b.head : key(a) < key(b);
    });

    mDir = dir;
    mNames.reserve(nameBytes);
    mEnds.reserve(qsizetype(entries.size()));
    for (const SortEntry& e : entries) {
        mNames.append(keys.constData() + e.name, e.end - e.name);
        mEnds.append(quint32(mNames.size()));
    }
}

QByteArrayView Listing::rawName(qsizetype i) const
{
    const quint32 start = i ? mEnds[i - 1] : 0;
    return QByteArrayView(mNames).sliced(start, mEnds[i] - start);
}

QString Listing::name(qsizetype i) const
{
    return QFile::decodeName(rawName(i).toByteArray());
}

QString Listing::path(qsizetype i) const
{
    return mDir.endsWith(u'/') ? mDir + name(i) : mDir + u'/' + name(i);
}

QStringList Listing::paths() const
{
    QStringList out;
    out.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        out.append(path(i));
    return out;
}

QStringList listFiles(const QString& dir)
{
    return Listing(dir).paths();
}

QString filePathIn(const QString& dir, const QString& name)
{
    // The file system's own length limit is its to report.
    if (dir.isEmpty() ||
        !address::unsafeNameReason(name, std::numeric_limits<qsizetype>::max()).isEmpty())
        return {};
    return joined(dir, name);
}

bool isValidFileName(const QString& name)
{
    return !name.startsWith(u'.');
}

bool isValidFileName(QByteArrayView name)
{
    return !name.startsWith('.');
}

QString menuTitle(const QString& path)
{
    return address::deletingPathExtension(address::lastPathComponent(path));
}

QList<std::pair<qsizetype, qsizetype>> menuSections(qsizetype first, qsizetype last, qsizetype page)
{
    QList<std::pair<qsizetype, qsizetype>> sections;
    const qsizetype count = last - first;
    if (page < 2 || count <= page)
        return sections;
    qsizetype step = page;
    while ((count + step - 1) / step > page)
        step *= page;
    for (qsizetype at = first; at < last; at += step)
        sections.append({at, std::min(at + step, last)});
    return sections;
}

} // namespace folder
