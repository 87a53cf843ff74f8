#include "readers/browserreader.h"

#include <QFile>
#include <cerrno>
#include <csignal>

namespace bridge {

bool isProcessAlive(qint64 pid)
{
    if (pid <= 0 || pid > 0x7fffffff)
        return false;
    // EPERM: the process exists but belongs to someone else.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

std::optional<QByteArray> readBounded(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte more than allowed tells a file at the limit from a larger one, also for a
    // file that grows while it is read.
    QByteArray content = file.read(limit + 1);
    if (content.size() > limit)
        return std::nullopt;
    return content;
}

} // namespace bridge
