// A line another launch sent to the running window, read as the window reads it.
#include "app/launchmessage.h"
#include "require.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView line(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto message = launchmessage::decode(line);
    if (!message)
        return 0;
    const auto again = launchmessage::encode(*message);
    require(again.has_value(), "what was read can be sent");
    require(*again == line.toByteArray() + '\n', "a line reads to what sends back as it");
    return 0;
}
