// Reads arbitrary bytes as a DevTools /json/list answer.

#include "readers/chromium.h"
#include "require.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView json(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList urls = bridge::parseDevToolsList(json);
    // The shortest page target, {"type":"page"} (no url: kept as an empty one), takes 15 bytes.
    require(std::size_t(urls.size()) * 15 <= size, "no more pages than the text can hold");
    return 0;
}
