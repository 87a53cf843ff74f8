#include "app/controller.h"
#include "download/cookiejar.h"
#include "host/localized.h"
#include "sources/browsercookies.h"

#include <QByteArrayList>
#include <QFile>

namespace {

// Far more than any browser's export; a file larger than this is no cookie file.
constexpr qint64 kLargestCookieFile = 16 << 20;

// The lines of a cookie file that can be cookies: the engine judges each of them again.
QByteArray cookieLines(const QByteArray& text)
{
    QByteArray out;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || (line.startsWith('#') && !line.startsWith("#HttpOnly_")))
            continue;
        out += line + '\n';
    }
    return out;
}

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
    jar.lines = cookieLines(text);
    return jar;
}

} // namespace

bool Controller::wantsCookies() const
{
    return !mCookieFileForLaunch.isEmpty() || mCookieBrowserForLaunch || mUseBrowserCookies;
}

cookies::Jar Controller::runCookies() const
{
    if (!mCookieFileForLaunch.isEmpty())
        return readCookieFile(mCookieFileForLaunch);
    if (!wantsCookies())
        return {};
    const WebBrowser browser = mCookieBrowserForLaunch.value_or(mWebBrowser);
    // The browser's own store: read by cookies::readFirefox / readChromium
    Q_UNUSED(browser);
    return {};
}

std::shared_ptr<download::CookieJar>
Controller::openCookieJar(const std::function<void(const QString&)>& report) const
{
    if (!wantsCookies())
        return {};
    const cookies::Jar jar = runCookies();
    // Never the cookies themselves: only where they were to come from, and why they did not.
    // Some that could not be read leave the others to be sent.
    if (jar.unreadable > 0) {
        report(localizedFormat("CookiesUnreadable", QString::number(jar.unreadable), jar.problem)
                   .trimmed());
    } else if (!jar.problem.isEmpty()) {
        report(localizedFormat("CookiesUnavailable", jar.problem));
        return {};
    }
    return std::make_shared<download::CookieJar>(jar.lines);
}
