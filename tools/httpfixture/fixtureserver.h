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
    explicit FixtureServer(int port = 0);
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
    void addRedirect(const QString& path, const QString& location, int status = 302);
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
    // Announces `size` bytes of the largeChunk() pattern and sends one byte every intervalMs.
    void addDrip(const QString& path, qint64 size, int intervalMs);
    // A port on 127.0.0.1 that is bound but not listening while the server lives: connecting
    // to it is refused.
    int refusingPort() const;
    // Serves the regular files below localDir under "/", after the routes and series.
    void serveDirectory(const QString& localDir);

    // Counts every request (GET and HEAD), keyed by the decoded path without query.
    int hits(const QString& path) const;
    QStringList requestLog() const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};
