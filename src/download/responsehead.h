#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

namespace http {

// The most a response's header lines may take; past it a server is talking, not answering.
constexpr qsizetype kMaxHeadBytes = 256 * 1024;

// What one response's head says about its body, read line by line as the transfer delivers it.
// Only what decides whether a body can be trusted and resumed is kept; libcurl reads the rest.
class ResponseHead
{
public:
    // Feeds one line as received, line end included. Answers false once the head has grown past
    // kMaxHeadBytes (and from then on).
    bool addLine(QByteArrayView line);
    // The blank line that ends the head has been read.
    bool isComplete() const { return mComplete; }
    qsizetype bytes() const { return mBytes; }

    int status() const { return mStatus; }
    // The length the body announced: std::nullopt without one; -1 when it was malformed,
    // repeated or contradictory (which fails the body whatever it holds).
    std::optional<qint64> contentLength() const;
    bool isChunked() const { return mChunked; }
    bool hasContentEncoding() const { return mEncoded; }
    bool acceptsRanges() const { return mAcceptsRanges; }
    // A strong entity tag, as sent; empty when none or weak.
    QByteArray strongETag() const { return mETag; }
    // Any entity tag, weak ones too, as sent: what a later If-None-Match may ask with.
    QByteArray entityTag() const { return mAnyETag; }
    QByteArray lastModified() const { return mLastModified; }
    QByteArray location() const { return mLocation; }
    QByteArray contentType() const { return mContentType; }

    struct Range
    {
        qint64 first = -1;
        qint64 last = -1;
        qint64 total = -1; // -1 for "*"
    };
    // "bytes first-last/total"; std::nullopt when absent or unreadable.
    std::optional<Range> contentRange() const { return mRange; }

private:
    qsizetype mBytes = 0;
    bool mComplete = false;
    bool mStatusRead = false;
    int mStatus = 0;
    int mLengthHeaders = 0;
    qint64 mLength = -1;
    bool mLengthBad = false;
    bool mChunked = false;
    bool mEncoded = false;
    bool mAcceptsRanges = false;
    QByteArray mETag;
    QByteArray mAnyETag;
    QByteArray mLastModified;
    QByteArray mLocation;
    QByteArray mContentType;
    std::optional<Range> mRange;
    bool mRangeSeen = false;
};

// Why a body framed by `head` cannot be trusted, as a key of the user's reasons, or empty when
// it can. `rangeFrom` is the byte a request asked to start at (-1: the whole body was asked for);
// `expectedTotal` the whole file's length when known (-1 otherwise).
QString framingFault(const ResponseHead& head, qint64 rangeFrom, qint64 expectedTotal);

} // namespace http
