#include "readers/browserreader.h"

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

} // namespace bridge
