#include "sources/profilecookies.h"

#include "host/localized.h"
#include "readers/browserreader.h"
#include "readers/firefox.h"

namespace cookies {

Jar readProfile(const profiles::Profile& profile)
{
    if (profile.family == profiles::Family::Chromium)
        return readChromium(profile.path, profile.browser);
    Jar jar = readFirefox(profile.path);
    if (!profile.inUse)
        return jar;
    // A Firefox that has ended holds no session cookies, whatever its last store kept for a
    // restore. A running one keeps them in its store, rewritten every 15 s.
    const QString store = profile.path + QStringLiteral("/sessionstore-backups/recovery.jsonlz4");
    const auto file = bridge::readBounded(store, bridge::firefox::kMaxSessionSize);
    const auto json = file ? bridge::firefox::inflateMozLz4(*file) : std::nullopt;
    const auto session = json ? parseFirefoxSessionCookies(*json) : std::nullopt;
    if (!session) {
        // Just started, it has not written one yet: its session cookies cannot be had.
        const QString problem = localizedFormat("CookiesNotSessionStore", store);
        jar.problem = jar.problem.isEmpty() ? problem : jar.problem + u' ' + problem;
        return jar;
    }
    // The database's lines last: libcurl keeps the later of two cookies of one name, host and
    // path, and the database is written at once where the store lags up to its interval.
    jar.lines = session->lines + jar.lines;
    return jar;
}

} // namespace cookies
