// A bookmark file as any program may have written it, and Stepgrab's own writing read back.
#include "require.h"
#include "sources/bookmark.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const std::optional<QString> address = bookmark::parse(bytes))
        require(!address->contains(u'\r') && !address->contains(u'\n'), "one line's rest");

    // The same bytes as an address typed into the fields.
    const QString typed = QString::fromUtf8(bytes);
    if (typed.contains(u'\r') || typed.contains(u'\n'))
        return 0;
    const std::optional<QByteArray> written = bookmark::format(typed);
    // Control characters may not survive Shift JIS (some converters swap 1A, 1C and 7F).
    bool printable = true;
    for (const QChar c : typed)
        printable = printable && c.unicode() >= 0x20 && c.unicode() < 0x7F;
    require(written.has_value() || !printable, "a printable ASCII address is always written");
    if (written) {
        require(written->startsWith("[InternetShortcut]\r\nURL=") && written->endsWith("\r\n"),
                "the two lines");
        require(bookmark::parse(*written) == typed, "what is written reads back as itself");
    }
    return 0;
}
