// Takes a page and a request address from arbitrary text (split at the first line end) and
// checks that the Referer worked out from them is one a browser could send and a header can
// carry.

#include "download/referrer.h"
#include "require.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = text.indexOf(u'\n');
    const QUrl page(cut < 0 ? text : text.left(cut));
    const QUrl request(cut < 0 ? QString() : text.mid(cut + 1));

    const QByteArray referer = download::referrerFor(page, request);
    // Whatever the page, the same answer for its user name and fragment gone.
    require(referer == download::referrerFor(
                           page.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment), request),
            "user name, password and fragment play no part");
    if (referer.isEmpty())
        return 0;
    for (const char c : referer)
        require(c > 0x20 && c < 0x7f, "a header value holds no blank and no control character");
    require(!referer.contains('#'), "no fragment is sent");
    const QUrl sent = QUrl::fromEncoded(referer, QUrl::StrictMode);
    require(sent.isValid() && sent.userInfo().isEmpty(), "a valid address without user info");
    require(sent.scheme() == page.scheme() && sent.host() == page.host(),
            "the page's own scheme and host");
    require(!(page.scheme() == u"https" && request.scheme() == u"http"),
            "nothing from https to http");
    require(referer.size() <= 4096 || sent.path() == u"/", "a long page is cut to its origin");
    return 0;
}
