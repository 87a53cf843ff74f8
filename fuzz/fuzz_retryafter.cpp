// Reads arbitrary Retry-After headers, the one wait a server can ask of a run.

#include "download/retryafter.h"
#include "require.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray header(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QDateTime now(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    const int wait = download::retryAfterMs(header, now);
    require(wait == -1 || (wait >= 0 && wait <= download::kMaxRetryAfterMs),
            "a wait is unreadable (-1) or within the cap");
    require(wait == download::retryAfterMs(" \t" + header + "\r\n ", now),
            "white space around the value does not decide");
    // Whether a header is readable does not depend on the clock, and a later clock never
    // asks for a longer wait (a delay stays as it is, a date comes nearer).
    const int later = download::retryAfterMs(header, now.addSecs(30));
    require((later < 0) == (wait < 0) && later <= wait, "a wait only shrinks as time passes");
    return 0;
}
