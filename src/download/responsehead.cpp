#include "responsehead.h"

#include <algorithm>

namespace http {

namespace {

// The longest decimal length taken: 18 digits always fit in a qint64.
constexpr qsizetype kMaxLengthDigits = 18;

QByteArrayView trimmed(QByteArrayView v)
{
    while (!v.isEmpty() && (v.front() == ' ' || v.front() == '\t'))
        v = v.sliced(1);
    while (!v.isEmpty() &&
           (v.back() == ' ' || v.back() == '\t' || v.back() == '\r' || v.back() == '\n'))
        v.chop(1);
    return v;
}

bool isDigits(QByteArrayView v)
{
    return !v.isEmpty() &&
           std::all_of(v.begin(), v.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal of at most kMaxLengthDigits digits and nothing else; -1 otherwise.
qint64 decimal(QByteArrayView v)
{
    if (!isDigits(v) || v.size() > kMaxLengthDigits)
        return -1;
    qint64 n = 0;
    for (char c : v)
        n = n * 10 + (c - '0');
    return n;
}

bool nameIs(QByteArrayView name, QByteArrayView wanted)
{
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

std::optional<ResponseHead::Range> parseRange(QByteArrayView v)
{
    if (!v.startsWith("bytes "))
        return std::nullopt;
    v = trimmed(v.sliced(6));
    const qsizetype dash = v.indexOf('-');
    const qsizetype slash = v.indexOf('/');
    if (dash <= 0 || slash <= dash + 1)
        return std::nullopt;
    ResponseHead::Range r;
    r.first = decimal(v.first(dash));
    r.last = decimal(v.sliced(dash + 1, slash - dash - 1));
    const QByteArrayView total = v.sliced(slash + 1);
    r.total = total == "*" ? -1 : decimal(total);
    if (r.first < 0 || r.last < r.first || (total != "*" && (r.total < 0 || r.last >= r.total)))
        return std::nullopt;
    return r;
}

} // namespace

bool ResponseHead::addLine(QByteArrayView line)
{
    mBytes += line.size();
    if (mBytes > kMaxHeadBytes)
        return false;
    if (mComplete)
        return true;
    if (!mStatusRead) {
        // "HTTP/1.1 200 OK", "HTTP/2 200"
        mStatusRead = true;
        const QByteArrayView rest = trimmed(line);
        const qsizetype space = rest.indexOf(' ');
        if (rest.startsWith("HTTP/") && space > 0) {
            const QByteArrayView code =
                rest.sliced(space + 1).first(qMin<qsizetype>(3, rest.size() - space - 1));
            if (code.size() == 3 && isDigits(code))
                mStatus = int(decimal(code));
        }
        return true;
    }
    const QByteArrayView text = trimmed(line);
    if (text.isEmpty()) {
        mComplete = true;
        return true;
    }
    const qsizetype colon = text.indexOf(':');
    if (colon <= 0)
        return true;
    const QByteArrayView name = text.first(colon);
    const QByteArrayView value = trimmed(text.sliced(colon + 1));
    if (nameIs(name, "Content-Length")) {
        // One header with one plain number: "N, N", "12abc" or a second header are each a
        // server that cannot say where its body ends, and the body is not trusted.
        ++mLengthHeaders;
        const qint64 n = decimal(value);
        if (n < 0 || mLengthHeaders > 1)
            mLengthBad = true;
        mLength = n;
    } else if (nameIs(name, "Transfer-Encoding")) {
        mChunked = value.toByteArray().toLower().contains("chunked");
    } else if (nameIs(name, "Content-Encoding")) {
        mEncoded = !value.isEmpty() && value.compare("identity", Qt::CaseInsensitive) != 0;
    } else if (nameIs(name, "Accept-Ranges")) {
        mAcceptsRanges = value.compare("bytes", Qt::CaseInsensitive) == 0;
    } else if (nameIs(name, "ETag")) {
        mETag = value.startsWith("\"") && value.endsWith("\"") && value.size() >= 2
                    ? value.toByteArray()
                    : QByteArray();
        mAnyETag = value.toByteArray();
    } else if (nameIs(name, "Last-Modified")) {
        mLastModified = value.toByteArray();
    } else if (nameIs(name, "Location")) {
        mLocation = value.toByteArray();
    } else if (nameIs(name, "Content-Type")) {
        mContentType = value.toByteArray();
    } else if (nameIs(name, "Content-Range")) {
        mRange = mRangeSeen ? std::nullopt : parseRange(value);
        mRangeSeen = true;
    }
    return true;
}

std::optional<qint64> ResponseHead::contentLength() const
{
    if (mLengthHeaders == 0)
        return std::nullopt;
    return mLengthBad ? -1 : mLength;
}

QString framingFault(const ResponseHead& head, qint64 rangeFrom, qint64 expectedTotal)
{
    const std::optional<qint64> length = head.contentLength();
    // A length beside chunked framing is how requests are smuggled; neither can be believed.
    if ((length && *length < 0) || (length && head.isChunked()))
        return QStringLiteral("ReasonBadLength");
    if (head.status() != 206)
        return {};
    if (rangeFrom < 0)
        return QStringLiteral("ReasonUnaskedRange");
    const std::optional<ResponseHead::Range> range = head.contentRange();
    if (!range || range->first != rangeFrom ||
        (range->total >= 0 && range->last != range->total - 1) ||
        (expectedTotal >= 0 && range->total != expectedTotal) ||
        (length && *length != range->last - range->first + 1))
        return QStringLiteral("ReasonBadRange");
    return {};
}

} // namespace http
