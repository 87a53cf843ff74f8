#include "sources/profilecookies.h"

#include "host/localized.h"
#include "readers/browserreader.h"
#include "readers/firefox.h"

#include <QFileInfo>

namespace cookies {

Jar readProfile(const profiles::Profile& profile)
{
    if (profile.family == profiles::Family::Chromium)
        return readChromium(profile.path, profile.browser);
    Jar jar = readFirefox(profile.path);
    // A Firefox that has ended holds no session cookies, whatever its last store kept for a
    // restore; a fresh one writes its store a few seconds after it starts.
    const QString store = profile.path + QStringLiteral("/sessionstore-backups/recovery.jsonlz4");
    if (!profile.inUse || !QFileInfo::exists(store))
        return jar;
    const auto file = bridge::readBounded(store, bridge::firefox::kMaxSessionSize);
    const auto json = file ? bridge::firefox::inflateMozLz4(*file) : std::nullopt;
    const auto session = json ? parseFirefoxSessionCookies(*json) : std::nullopt;
    if (!session) {
        const QString problem = localizedFormat("CookiesNotSessionStore", store);
        jar.problem = jar.problem.isEmpty() ? problem : jar.problem + u' ' + problem;
        return jar;
    }
    jar.lines += session->lines;
    return jar;
}

} // namespace cookies
