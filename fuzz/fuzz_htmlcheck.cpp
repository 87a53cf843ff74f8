// Decides on arbitrary bodies whether the server sent a page instead of the file.

#include "download/htmlcheck.h"
#include "require.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool verdict = html::isHTMLFile(body);
    // The engine decides as soon as it holds kSniffLength bytes; the rest of a body
    // arrives later and must not matter.
    const QByteArray window = body.first(qMin(body.size(), html::kSniffLength));
    require(verdict == html::isHTMLFile(window), "only the first kSniffLength bytes decide");
    if (body.size() >= html::kSniffLength)
        require(verdict == html::isHTMLFile(window + "<html>"),
                "bytes after the window do not decide");
    require(verdict == html::isHTMLFile(body.toUpper()) &&
                verdict == html::isHTMLFile(body.toLower()),
            "letter case does not decide");
    require(html::isHTMLFile(html::header() + body), "the classic header is always a page");
    return 0;
}
