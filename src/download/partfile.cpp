#include "partfile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PartFile::PartFile(const QString& path)
    : mPath(path), mFolder(QFile::encodeName(QFileInfo(path).absolutePath())),
      mTarget(QFile::encodeName(QFileInfo(path).absoluteFilePath()))
{
}

PartFile::~PartFile()
{
    discard();
}

bool PartFile::fail()
{
    mError = QStringLiteral("Cannot write %1: %2")
                 .arg(mPath, QString::fromLocal8Bit(std::strerror(errno)));
    discard();
    return false;
}

namespace {

// Of a fixed length, so a target name near the file system's limit still has a sibling.
QByteArray hiddenSibling(const QByteArray& folder)
{
    return folder + "/.stepgrab-" +
           QByteArray::number(QRandomGenerator::global()->generate64(), 36) + ".part";
}

} // namespace

bool PartFile::open()
{
    discard();
    mError.clear();
    mFd = ::open(mFolder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (mFd >= 0)
        return true;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return fail();
    mTemporary = hiddenSibling(mFolder);
    mFd = ::open(mTemporary.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    if (mFd < 0) {
        mTemporary.clear();
        return fail();
    }
    return true;
}

bool PartFile::write(const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(mFd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail();
        }
        p += n;
        left -= n;
    }
    return true;
}

bool PartFile::commit()
{
    if (mFd < 0)
        return false;
    if (mTemporary.isEmpty()) {
        // Give the unnamed file a hidden name first: rename() then replaces the target in one step.
        const QByteArray link = hiddenSibling(mFolder);
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(mFd);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, link.constData(), AT_SYMLINK_FOLLOW) !=
            0)
            return fail();
        mTemporary = link;
    }
    if (::close(std::exchange(mFd, -1)) != 0)
        return fail();
    if (::rename(mTemporary.constData(), mTarget.constData()) != 0)
        return fail();
    mTemporary.clear();
    return true;
}

void PartFile::discard()
{
    if (mFd >= 0)
        ::close(std::exchange(mFd, -1));
    if (!mTemporary.isEmpty()) {
        ::unlink(mTemporary.constData());
        mTemporary.clear();
    }
}
