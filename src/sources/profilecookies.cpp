#include "sources/profilecookies.h"

#include "host/localized.h"
#include "readers/firefox.h"

namespace cookies {

Jar readProfile(const profiles::Profile& profile)
{
    if (profile.family == profiles::Family::Chromium)
        return readChromium(profile.path, profile.browser);
    Jar jar = readFirefox(profile.path);
    // A Firefox that has ended holds no session cookies, whatever its last store kept for a
    // restore. A running one keeps them in its store, rewritten every 15 s.
    const std::optional<bridge::firefox::Lock> lock = bridge::firefox::heldLock(profile.path);
    if (!lock)
        return jar;
    std::optional<Jar> session;
    bridge::firefox::takeLiveSessionStore(profile.path, *lock, [&](const QByteArray& json) {
        session = parseFirefoxSessionCookies(json);
        return session.has_value();
    });
    if (!session) {
        // Just started, it has not written one yet: its session cookies cannot be had.
        const QString problem = localizedFormat(
            "CookiesNotSessionStore", profile.path + QStringLiteral("/sessionstore-backups"));
        jar.problem = jar.problem.isEmpty() ? problem : jar.problem + u' ' + problem;
        return jar;
    }
    // The database's lines last: libcurl keeps the later of two cookies of one name, host and
    // path, and the database is written at once where the store lags up to its interval.
    jar.lines = session->lines + jar.lines;
    return jar;
}

} // namespace cookies
