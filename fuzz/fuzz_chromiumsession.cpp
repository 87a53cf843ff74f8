// Replays arbitrary bytes as a Chromium session file.

#include "readers/chromium.h"
#include "require.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView file(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<QStringList> windows = bridge::parseChromiumSession(file);
    // Only the header decides whether the bytes are a session file at all: a file cut short
    // while the browser writes it still is one.
    const bool header = size >= 8 && std::memcmp(data, "SNSS", 4) == 0 && data[5] == 0 &&
                        data[6] == 0 && data[7] == 0 && data[4] >= 1 && data[4] <= 3;
    require(windows.has_value() == header, "the header alone decides a session file");
    if (header && size > 8)
        require(bridge::parseChromiumSession(file.first(8 + (size - 8) / 2)).has_value(),
                "a cut file still reads");
    return 0;
}
