#include "referrer.h"

#include <algorithm>

namespace {

// Browsers fall back to the origin alone past this length, so a page with a huge query
// still names its site.
constexpr qsizetype kLongestReferrer = 4096;

int defaultPort(const QUrl& url)
{
    return url.scheme() == u"https" ? 443 : 80;
}

bool sameOrigin(const QUrl& a, const QUrl& b)
{
    return a.scheme() == b.scheme() && a.host(QUrl::FullyEncoded) == b.host(QUrl::FullyEncoded) &&
           a.port(defaultPort(a)) == b.port(defaultPort(b));
}

// A header value may hold no blank and no control character; QUrl's encoded form never does,
// but a page address comes from outside.
bool isHeaderSafe(const QByteArray& value)
{
    return !value.isEmpty() &&
           std::all_of(value.begin(), value.end(), [](char c) { return c > 0x20 && c < 0x7f; });
}

} // namespace

namespace download {

bool isFetchable(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == u"http" || url.scheme() == u"https");
}

QByteArray referrerFor(const QUrl& page, const QUrl& request)
{
    if (!isFetchable(page) || !isFetchable(request))
        return {};
    // The page's address as a browser writes it: no credentials, no fragment, no default
    // port, a root path at least.
    QUrl url =
        page.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment | QUrl::NormalizePathSegments);
    if (url.port() == defaultPort(url))
        url.setPort(-1);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    QUrl origin = url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery);
    origin.setPath(QStringLiteral("/"));
    const QByteArray whole = url.toEncoded();
    const QByteArray originOnly = origin.toEncoded();

    QByteArray value;
    if (sameOrigin(url, request))
        value = whole.size() > kLongestReferrer ? originOnly : whole;
    else if (url.scheme() == u"https" && request.scheme() != u"https")
        return {};
    else
        value = originOnly;
    return isHeaderSafe(value) ? value : QByteArray();
}

} // namespace download
