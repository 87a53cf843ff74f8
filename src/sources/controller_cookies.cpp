#include "app/controller.h"
#include "download/cookiejar.h"
#include "host/localized.h"
#include "readers/browserchoice.h"
#include "readers/browserprofiles.h"
#include "sources/browsercookies.h"
#include "sources/profilecookies.h"

#include <QByteArrayList>
#include <QFile>
#include <QThreadPool>

using namespace Qt::StringLiterals;

namespace {

// Far more than any browser's export; a file larger than this is no cookie file.
constexpr qint64 kLargestCookieFile = 16 << 20;

cookies::Jar readCookieFile(const QString& path)
{
    cookies::Jar jar;
    QFile file(path);
    const auto refuse = [&](const QString& cause) {
        jar.problem = localizedFormat("CookieFileUnreadable", path, cause);
        return jar;
    };
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const QByteArray text = file.read(kLargestCookieFile + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());
    if (text.size() > kLargestCookieFile)
        return refuse(
            localizedFormat("ReasonCookieFileTooLarge", QString::number(kLargestCookieFile >> 20)));
    // Lines that are no cookie are counted, and the log says so once.
    return cookies::parseNetscape(text);
}

// The families a choice may stand for, most likely first: a default browser of no known
// family may still keep its cookies where one of them does, as its session is found.
QList<profiles::Family> familiesOf(WebBrowser browser, QString& problem)
{
    using enum profiles::Family;
    switch (browser) {
    case WebBrowser::Firefox:
        return {Firefox};
    case WebBrowser::Chromium:
        return {Chromium};
    case WebBrowser::Default:
        switch (bridge::browserFamilyOfDesktopFile(bridge::defaultBrowserDesktopFile())) {
        case bridge::BrowserFamily::Firefox:
            return {Firefox};
        case bridge::BrowserFamily::Chromium:
            return {Chromium};
        case bridge::BrowserFamily::Unknown:
            return {Firefox, Chromium};
        }
        break;
    case WebBrowser::Script:
        break;
    }
    problem = localized("CookiesNoBrowser");
    return {};
}

// The cookies of the profile the browser query would read: the one in use first.
cookies::Jar readBrowser(WebBrowser browser)
{
    cookies::Jar jar;
    const QList<profiles::Family> families = familiesOf(browser, jar.problem);
    std::optional<profiles::Profile> chosen;
    for (const profiles::Family family : families) {
        const std::optional<profiles::Profile> profile = profiles::chosenProfile(family);
        if (profile && (!chosen || (profile->inUse && !chosen->inUse)))
            chosen = profile;
    }
    if (!chosen) {
        if (jar.problem.isEmpty())
            jar.problem = localizedFormat(
                "CookiesNoBrowserProfile",
                families.value(0) == profiles::Family::Chromium ? u"Chromium"_s : u"Firefox"_s);
        return jar;
    }
    jar = cookies::readProfile(*chosen);
    if (!jar.problem.isEmpty())
        jar.problem = chosen->browser + u": "_s + jar.problem;
    return jar;
}

} // namespace

bool Controller::wantsCookies() const
{
    return !mCookieFileForLaunch.isEmpty() || mCookieBrowserForLaunch || mUseBrowserCookies;
}

void Controller::openCookieJar(CookiesRead then)
{
    if (!wantsCookies()) {
        then({}, {});
        return;
    }
    const QString file = mCookieFileForLaunch;
    const WebBrowser browser = mCookieBrowserForLaunch.value_or(mWebBrowser);
    // The default browser is named by a helper program and Chromium's keyring password comes
    // over the session bus: neither may hold the window, which Stop must still reach. The
    // pool is joined before the Controller goes, so the answer always finds it.
    mCookieThread->start([this, file, browser, then = std::move(then)] {
        cookies::Jar jar = file.isEmpty() ? readBrowser(browser) : readCookieFile(file);
        // Never the cookies themselves: only where they were to come from, and why they did
        // not. Some that could not be read leave the others to be sent.
        const bool none = jar.unreadable == 0 && jar.lines.isEmpty() && !jar.problem.isEmpty();
        QString problem;
        if (jar.unreadable > 0)
            problem =
                localizedFormat("CookiesUnreadable", QString::number(jar.unreadable), jar.problem)
                    .trimmed();
        else if (!jar.problem.isEmpty())
            problem =
                localizedFormat(none ? "CookiesUnavailable" : "CookiesPartlyRead", jar.problem);
        QMetaObject::invokeMethod(
            this,
            [lines = std::move(jar.lines), none, problem, then] {
                then(none ? nullptr : std::make_shared<download::CookieJar>(lines), problem);
            },
            Qt::QueuedConnection);
    });
}
