#pragma once

#include <QByteArray>
#include <QDateTime>

namespace download {

// The longest wait a server's Retry-After can ask for, so that it cannot hold a run for long.
constexpr int kMaxRetryAfterMs = 60000;

// A Retry-After header, as delta-seconds or as an HTTP date, in milliseconds from `now`
// (0 to kMaxRetryAfterMs); -1 when absent or unreadable.
int retryAfterMs(const QByteArray& header, const QDateTime& now);

} // namespace download
