#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>

// HTTP server on 127.0.0.1 for tests, the demo and the benchmark. Requests are answered on a
// pool of worker threads; routes may be added while it runs.
class FixtureServer
{
public:
    // Port 0 picks a free port. Throws std::runtime_error when the port cannot be bound.
    // Another loopback address (127.0.0.2) is another host to a client: not "localhost",
    // which libcurl counts as secure as https.
    explicit FixtureServer(int port = 0, const QString& host = QStringLiteral("127.0.0.1"));
    ~FixtureServer();

    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    int port() const;
    QString baseUrl() const;

    enum class End {
        HtmlPage,          // 200 text/html, body starts with "<html>"
        NotFound404Binary, // 404 image/png, PNG-like bytes
        SoftDoctype,       // 200 text/html, body starts with "<!DOCTYPE html>\n<html>"
        UpperHtml,         // 200 text/html, body starts with "<HTML>"
        NotFound404Html,   // 404 text/html, body starts with "<html>"
    };

    // GET /<dir>/<prefix><NNN>.<ext> for first..last, NNN zero-padded to `width`, answers 200 with
    // seriesBody("<prefix><NNN>.<ext>", bytesPerFile). Any other digit string in that place
    // (other number or other padding) answers according to `end`.
    void addSeries(const QString& dir, const QString& prefix, int first, int last, int width,
                   const QString& ext, End end, qint64 bytesPerFile = 100 * 1024);
    // File name without directory, e.g. "pic012.jpg". The first bytes are the magic number of
    // the extension (png, jpg/jpeg, gif), the rest is pseudo-random and differs per name.
    static QByteArray seriesBody(const QString& fileName, qint64 size);

    // A contentEncoding ("gzip") is announced as is: the body is sent as given.
    void addFile(const QString& path, const QByteArray& body, int status = 200,
                 const QByteArray& contentType = "application/octet-stream",
                 const QByteArray& contentEncoding = {});
    // With bodySize, the redirect comes with that many bytes of a page of its own.
    void addRedirect(const QString& path, const QString& location, int status = 302,
                     qint64 bodySize = 0);
    // Announces Content-Length bytesBeforeStall + 1 MiB, sends bytesBeforeStall bytes of the
    // largeChunk() pattern, then nothing until the client hangs up or the server stops.
    void addStall(const QString& path, qint64 bytesBeforeStall);
    // Announces announcedLength, sends bytesBeforeCut bytes of the largeChunk() pattern, then
    // closes the connection.
    void addCut(const QString& path, qint64 bytesBeforeCut, qint64 announcedLength);
    // Streams `size` bytes of the largeChunk() pattern, generated 1 MiB at a time.
    void addLarge(const QString& path, qint64 size);
    static QByteArray largeChunk(qint64 offset, qint64 length);
    void addDelayed(const QString& path, const QByteArray& body, int delayMs);

    struct Answer
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // sent as given, e.g. {"Retry-After", "1"}
    };
    // The n-th request to `path` gets answers[n]; once the list is spent, its last answer
    // repeats. The body goes out with its Content-Length, also when it is empty.
    void addSequence(const QString& path, const QList<Answer>& answers);

    enum class Framing {
        CloseDelimited, // no Content-Length, "Connection: close": the close ends the body
        Chunked,        // Transfer-Encoding: chunked, the last chunk never sent
    };
    enum class Hangup {
        Close, // an orderly close (FIN)
        Reset, // SO_LINGER 0 and close: a TCP reset (RST)
    };
    // Sends `bytesBeforeHangup` bytes of the largeChunk() pattern without announcing a length,
    // then hangs up as told.
    void addHangup(const QString& path, qint64 bytesBeforeHangup, Framing framing, Hangup hangup);

    // The routes below answer with bytes written straight to the socket, head and all, where
    // httplib would mend the framing; then they hang up as told, also on a connection kept
    // alive from earlier requests. A reset waits 50 ms first, so the client reads what was
    // sent before its kernel drops it. All bodies are of the largeChunk() pattern.
    //
    // A cut on a reused connection: fetch any other route of this server (addFile(), say) and
    // then the cut route with one client, within 5 s; httplib keeps the first connection open
    // and reusedHits() shows the second request came on it.
    enum class ChunkCut {
        MidChunk,   // the third chunk's size line and half its data
        AtBoundary, // two whole chunks with their CRLF, before the third size line
        AfterData,  // the third chunk's size line and data, before the CRLF that ends it
    };
    // Transfer-Encoding: chunked, two chunks of 16 KiB, then the third is cut as told; the last
    // chunk never comes.
    void addChunkedCut(const QString& path, ChunkCut cut, Hangup hangup);

    enum class BadLength {
        Doubled,             // "Content-Length: N, N", N/2 bytes
        TrailingLetters,     // "Content-Length: 12abc", N bytes
        TwentyThreeDigits,   // a 23-digit Content-Length, N bytes
        TwoDifferent,        // "Content-Length: N" and "Content-Length: N/2", N bytes
        UnaskedRange,        // 206 with "Content-Range: bytes N/2-(N-1)/N" to any request, the
                             // N - N/2 bytes from N/2 with their Content-Length
        LongerThanAnnounced, // "Content-Length: N", N + 100 bytes in one write
    };
    // A 200 (206 for UnaskedRange) whose length cannot be trusted, a body as listed, then an
    // orderly close.
    void addBadLength(const QString& path, BadLength kind, qint64 size);
    // A 200 status line, then "X-Filler: …" header lines for `bytes` bytes without the blank
    // line that would end them; then an orderly close, or earlier when the client hangs up.
    void addEndlessHeaders(const QString& path, qint64 bytes = 10 * 1024 * 1024);

    enum class RangeLie {
        None,        // honest: 206 with a correct Content-Range when If-Range matches
        WholeAs200,  // a range request gets 200 and the whole file
        WrongStart,  // a range request for N- gets 206 "bytes N/2-…" and the bytes from N/2
        ChangedETag, // from the second request on, the file is another one (changedChunk(),
                     // ETag "\"sg-2\""), and a range request gets 206 whatever If-Range says
    };
    // `size` bytes of the largeChunk() pattern with "Accept-Ranges: bytes", ETag "\"sg-1\"" and
    // a fixed Last-Modified. "Range: bytes=N-" (or N-M) is answered 206 when If-Range is absent
    // or matches the ETag or the date, else 200 whole; a start at or past the end gets 416.
    // The n-th request (from 0) stops at the absolute offset cutAt[n] and the connection is
    // closed; requests past the list are not cut. Every answer ends with "Connection: close".
    void addResumable(const QString& path, qint64 size, const QList<qint64>& cutAt,
                      RangeLie lie = RangeLie::None);
    // The file addResumable() serves after its ETag changed.
    static QByteArray changedChunk(qint64 offset, qint64 length);
    // The Range header of each request to `path`, in order; empty for a request without one.
    QList<QByteArray> rangeHeaders(const QString& path) const;
    // The value of the header `name` (any letter case) in each request to `path`, in order;
    // empty for a request without one.
    QList<QByteArray> headerValues(const QString& path, const QByteArray& name) const;
    // The requests to `path` that came on a connection which had carried an earlier request.
    int reusedHits(const QString& path) const;
    // Announces `size` bytes of the largeChunk() pattern and sends one byte every intervalMs.
    void addDrip(const QString& path, qint64 size, int intervalMs);
    // Announces `size` bytes of the largeChunk() pattern (or, with announceLength false, sends
    // them chunked without a length) in `pieces` pieces of equal size, the first at once and
    // each next one intervalMs later.
    void addPaced(const QString& path, qint64 size, int pieces, int intervalMs,
                  bool announceLength = true);
    // The body bytes a paced route has handed to its connection so far, over all requests.
    qint64 sentBytes(const QString& path) const;
    // A port on 127.0.0.1 that is bound but not listening while the server lives: connecting
    // to it is refused.
    int refusingPort() const;
    // Serves the regular files below localDir under "/", after the routes and series.
    void serveDirectory(const QString& localDir);

    // Requests below `dir` ("/members") that do not send the cookie `pair` ("sid=abc") in their
    // Cookie header get a 200 login page instead, whatever route or series would answer.
    void requireCookie(const QString& dir, const QByteArray& pair);

    // Counts every request (GET and HEAD), keyed by the decoded path without query.
    int hits(const QString& path) const;
    QStringList requestLog() const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};
