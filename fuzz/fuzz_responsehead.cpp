// A response head as a server may send it, line by line: the length and range rules never
// accept a length they cannot read, and never let a range that was not asked for through.
#include "download/responsehead.h"
#include "require.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));
    http::ResponseHead head;
    qsizetype fed = 0;
    bool within = true;
    for (qsizetype from = 0; from < input.size();) {
        qsizetype end = input.indexOf('\n', from);
        end = end < 0 ? input.size() : end + 1;
        const bool took = head.addLine(input.sliced(from, end - from));
        fed += end - from;
        require(!(took && !within), "a head past the bound is never taken again");
        within = took;
        require(took == (fed <= http::kMaxHeadBytes), "the bound is the bytes fed");
        from = end;
    }
    require(head.status() >= 0 && head.status() <= 999, "a status has three digits");
    if (const auto length = head.contentLength())
        require(*length >= -1 && *length < 1000000000000000000LL, "a length fits 18 digits");
    if (const auto range = head.contentRange())
        require(range->first >= 0 && range->first <= range->last &&
                    (range->total < 0 || range->last < range->total),
                "a range lies within its file");

    const QString unasked = http::framingFault(head, -1, -1);
    require(head.status() != 206 || !unasked.isEmpty(), "an unasked 206 is never trusted");
    const auto length = head.contentLength();
    if (length && *length < 0)
        require(!unasked.isEmpty(), "an unreadable length is never trusted");
    // A range the head says it holds is accepted only from where it was asked.
    if (const auto range = head.contentRange(); range && head.status() == 206) {
        require(!http::framingFault(head, range->first + 1, -1).isEmpty(),
                "a range from elsewhere is refused");
    }
    return 0;
}
