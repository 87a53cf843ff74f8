// Scans arbitrary bytes as a page for its links and works out its charset.

#include "linksearch/linkscan.h"
#include "require.h"

#include <QStringDecoder>
#include <cstdint>

namespace {

qsizetype anchorOpenings(const QByteArray& page)
{
    return page.toLower().count("<a");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray charset = linksearch::pageCharset(page, page.left(40));
    require(!charset.isEmpty() && QStringDecoder(charset.constData()).isValid(),
            "the page charset is one the decoder knows");

    // Scanned as bytes in a charset that keeps ASCII as it is, the markup decides where
    // the links are; the charset only decides their text.
    const QStringList links = linksearch::scanLinks(page, "UTF-8");
    require(links.size() <= anchorOpenings(page), "no more links than \"<a\" openings");
    require(linksearch::scanLinks("Links:\n" + page, "UTF-8") == links,
            "plain text before the page changes nothing");
    require(linksearch::scanLinks(page, "ISO-8859-1").size() == links.size() &&
                linksearch::scanLinks(page, "Shift_JIS").size() == links.size(),
            "the charset does not move the links");
    linksearch::scanLinks(page, charset, u'\'');

    for (const QString& link : links) {
        require(link.isEmpty() || (link.front().unicode() > 0x20 && link.back().unicode() > 0x20),
                "a link has no blank at either end");
        require(linksearch::isOfKind(link, linksearch::Kind::All), "every link is of Kind::All");
        linksearch::isOfKind(link, linksearch::Kind::Image);
        linksearch::baseAddress(link);
    }
    return 0;
}
