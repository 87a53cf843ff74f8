#include "fixtureserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <httplib.h>
#include <map>
#include <memory>
#include <limits>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kChunk = 1024 * 1024;
constexpr int kWorkerThreads = 16;
constexpr quint64 kLargeSeed = 0x5374657067726162ULL;

using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

// The socket of the request the current worker thread is answering, so that a stalled
// response can notice the client hanging up.
thread_local socket_t currentSocket = INVALID_SOCKET;
// Set by a route that wants its connection ended once its response stops.
thread_local std::optional<FixtureServer::Hangup> currentHangup;
// How many requests the current connection carried before the one being answered.
thread_local int currentRequestIndex = 0;

constexpr std::chrono::milliseconds kResetGrace(50);
constexpr quint64 kChangedSeed = 0x6368616E67656432ULL;
const std::string kLastModified = "Tue, 01 Dec 2026 10:00:00 GMT";

quint64 splitmix64(quint64 x)
{
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    return x ^ (x >> 31);
}

quint64 fnv1a(const QByteArray& data)
{
    quint64 h = 0xCBF29CE484222325ULL;
    for (char c : data) {
        h ^= quint8(c);
        h *= 0x100000001B3ULL;
    }
    return h;
}

// Random access into an endless pseudo-random stream: byte i is byte (i % 8) of word i / 8.
QByteArray pattern(quint64 seed, qint64 offset, qint64 length)
{
    QByteArray out(std::max<qint64>(length, 0), Qt::Uninitialized);
    char* dst = out.data();
    qint64 pos = offset;
    const qint64 end = offset + out.size();
    while (pos < end) {
        const quint64 word = splitmix64(seed + quint64(pos / 8) * 0x2545F4914F6CDD1DULL);
        unsigned char bytes[8];
        for (int i = 0; i < 8; ++i)
            bytes[i] = static_cast<unsigned char>(word >> (8 * i));
        const qint64 skip = pos % 8;
        const qint64 n = std::min<qint64>(8 - skip, end - pos);
        std::memcpy(dst, bytes + skip, size_t(n));
        dst += n;
        pos += n;
    }
    return out;
}

QByteArray magicFor(const QString& fileName)
{
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == QLatin1String("png"))
        return QByteArray("\x89PNG\r\n\x1a\n", 8);
    if (ext == QLatin1String("jpg") || ext == QLatin1String("jpeg"))
        return QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11);
    if (ext == QLatin1String("gif"))
        return QByteArray("GIF89a");
    return QByteArray("\x00\xffSG", 4);
}

QByteArray seriesChunk(const QString& fileName, qint64 offset, qint64 length)
{
    QByteArray out = pattern(fnv1a(fileName.toUtf8()), offset, length);
    const QByteArray magic = magicFor(fileName);
    for (qint64 i = offset; i < std::min<qint64>(magic.size(), offset + length); ++i)
        out[i - offset] = magic[i];
    return out;
}

std::string contentTypeFor(const QString& fileName)
{
    static const QHash<QString, const char*> types{
        {"png", "image/png"},     {"jpg", "image/jpeg"},  {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},     {"webp", "image/webp"}, {"bmp", "image/bmp"},
        {"svg", "image/svg+xml"}, {"html", "text/html"},  {"htm", "text/html"},
        {"txt", "text/plain"},    {"css", "text/css"},    {"json", "application/json"},
    };
    return types.value(QFileInfo(fileName).suffix().toLower(), "application/octet-stream");
}

// Serves through a content provider even for small bodies: httplib would otherwise gzip text
// bodies for clients that accept it, and tests want the exact bytes and Content-Length.
void serveGenerated(httplib::Response& res, int status, qint64 size, const std::string& type,
                    std::function<QByteArray(qint64 offset, qint64 length)> generate)
{
    // Leaving 200 unset lets httplib answer Range requests with 206.
    if (status != 200)
        res.status = status;
    if (size <= 0) {
        res.set_content(std::string(), type);
        return;
    }
    res.set_content_provider(
        size_t(size), type,
        [generate = std::move(generate)](size_t offset, size_t length, httplib::DataSink& sink) {
            const QByteArray chunk = generate(qint64(offset), std::min<qint64>(length, kChunk));
            return sink.write(chunk.constData(), size_t(chunk.size()));
        });
}

void serveBytes(httplib::Response& res, int status, const QByteArray& body, const std::string& type)
{
    serveGenerated(res, status, body.size(), type,
                   [body](qint64 offset, qint64 length) { return body.mid(offset, length); });
}

void serveEnd(httplib::Response& res, FixtureServer::End end)
{
    switch (end) {
    case FixtureServer::End::HtmlPage:
        serveBytes(res, 200,
                   "<html><head><title>Missing</title></head>"
                   "<body><p>This picture does not exist.</p></body></html>\n",
                   "text/html");
        return;
    case FixtureServer::End::NotFound404Binary:
        serveBytes(res, 404, QByteArray("\x89PNG\r\n\x1a\n", 8) + pattern(404, 0, 56), "image/png");
        return;
    case FixtureServer::End::SoftDoctype:
        serveBytes(res, 200,
                   "<!DOCTYPE html>\n<html><head><title>Missing</title></head>"
                   "<body><p>This picture does not exist.</p></body></html>\n",
                   "text/html");
        return;
    case FixtureServer::End::UpperHtml:
        serveBytes(res, 200,
                   "<HTML><HEAD><TITLE>Missing</TITLE></HEAD>"
                   "<BODY><P>This picture does not exist.</P></BODY></HTML>\n",
                   "text/html");
        return;
    case FixtureServer::End::NotFound404Html:
        serveBytes(res, 404,
                   "<html><head><title>404 Not Found</title></head>"
                   "<body><h1>Not Found</h1></body></html>\n",
                   "text/html");
        return;
    }
}

// httplib 0.11 cuts a Range out of any body, error pages included, and neither clamps ranges
// to the body nor refuses unsatisfiable ones. Do what real servers do, so that resuming
// downloads meet the same answers here as on the net.
void fitRanges(httplib::Request& req, httplib::Response& res)
{
    if (req.ranges.empty())
        return;
    if (res.status != -1) {
        req.ranges.clear();
        return;
    }
    const auto size = ssize_t(res.content_provider_ ? res.content_length_ : res.body.size());
    httplib::Ranges fitted;
    for (auto [first, last] : req.ranges) {
        if (first < 0) {
            first = std::max<ssize_t>(size - last, 0);
            last = size - 1;
        } else if (last < 0 || last >= size) {
            last = size - 1;
        }
        if (first <= last)
            fitted.emplace_back(first, last);
    }
    // httplib's multipart/byteranges answers carry a wrong total, and downloaders ask for one
    // range only anyway.
    if (fitted.size() > 1)
        fitted.resize(1);
    req.ranges = fitted;
    if (fitted.empty()) {
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        res.content_provider_ = nullptr;
        res.content_length_ = 0;
        res.set_content(std::string(), "text/plain");
    }
}

bool peerHungUp(socket_t sock)
{
    if (sock == INVALID_SOCKET)
        return false;
    pollfd p{sock, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

// Writes all of `data` to the socket; false once the client is gone or the write timed out.
bool sendAll(socket_t sock, const QByteArray& data)
{
    const char* p = data.constData();
    qint64 left = data.size();
    while (left > 0) {
        const ssize_t n = ::send(sock, p, size_t(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Ends a connection whose answer went out raw. The descriptor number stays valid but now names
// /dev/null, where httplib's own response and its close fail harmlessly; the socket itself is
// closed by dup2(), with a reset when its linger time is zero.
void hangUpRaw(socket_t sock, FixtureServer::Hangup hangup)
{
    if (hangup == FixtureServer::Hangup::Reset) {
        const linger abortive{1, 0};
        ::setsockopt(sock, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
    } else {
        ::shutdown(sock, SHUT_WR);
    }
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, sock);
        ::close(null);
    }
}

// httplib's own connection loop waits up to the keep-alive timeout for the next request and
// cannot be woken, so an idle keep-alive client would hold up stop(). This loop does the same
// work but can be interrupted by shutting the sockets down.
class InterruptibleServer : public httplib::Server
{
public:
    void interrupt()
    {
        std::lock_guard lock(socketsMutex_);
        interrupted_ = true;
        for (socket_t s : sockets_)
            ::shutdown(s, SHUT_RDWR);
    }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        bool ok = false;
        bool tracked = false;
        {
            std::lock_guard lock(socketsMutex_);
            if (!interrupted_)
                tracked = sockets_.insert(sock).second;
        }
        if (tracked) {
            currentSocket = sock;
            currentRequestIndex = 0;
            for (size_t left = keep_alive_max_count_; left > 0; --left, ++currentRequestIndex) {
                if (!waitForRequest(sock) || svr_sock_ == INVALID_SOCKET)
                    break;
                const bool closeConnection = left == 1;
                bool closed = false;
                ok = httplib::detail::process_client_socket(
                    sock, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_,
                    write_timeout_usec_, [&](httplib::Stream& strm) {
                        return process_request(strm, closeConnection, closed, {});
                    });
                if (!ok || closed || currentHangup)
                    break;
            }
            currentSocket = INVALID_SOCKET;
            std::lock_guard lock(socketsMutex_);
            sockets_.erase(sock);
        }
        if (std::exchange(currentHangup, std::nullopt) == FixtureServer::Hangup::Reset) {
            // Closing with a zero linger and without a shutdown first sends a reset, no FIN.
            const linger abortive{1, 0};
            ::setsockopt(sock, SOL_SOCKET, SO_LINGER, &abortive, sizeof(abortive));
        } else {
            ::shutdown(sock, SHUT_RDWR);
        }
        httplib::detail::close_socket(sock);
        return ok;
    }

    bool waitForRequest(socket_t sock) const
    {
        pollfd p{sock, POLLIN, 0};
        const int r = ::poll(&p, 1, int(keep_alive_timeout_sec_ * 1000));
        return r > 0;
    }

    std::mutex socketsMutex_;
    std::set<socket_t> sockets_;
    bool interrupted_ = false;
};

struct Series
{
    QString dirPrefix; // "/dir/" or "/"
    QString prefix;
    int first = 0;
    int last = 0;
    int width = 1;
    QString suffix; // ".ext"
    FixtureServer::End end = FixtureServer::End::NotFound404Html;
    qint64 bytes = 0;
};

} // namespace

class FixtureServer::Impl
{
public:
    InterruptibleServer http;
    std::thread thread;
    std::atomic<bool> listenReturned{false};
    int port = 0;
    QString host;

    mutable std::mutex mutex;
    std::map<QString, Handler> routes;
    std::vector<Series> series;
    QString directory;
    QStringList log;
    QHash<QString, int> hitCount;
    QHash<QString, int> reusedCount;
    QHash<QString, QList<httplib::Headers>> headers;
    QHash<QString, qint64> sent;
    std::vector<std::pair<QString, QByteArray>> guards; // directory with its slash, cookie

    socket_t refusing = INVALID_SOCKET;
    int refusingPort = 0;

    std::mutex stopMutex;
    std::condition_variable stopCv;
    bool stopping = false;

    void addRoute(const QString& path, Handler handler)
    {
        std::lock_guard lock(mutex);
        routes[path] = std::move(handler);
    }

    // Returns true when the server is stopping.
    bool sleepFor(std::chrono::milliseconds duration)
    {
        std::unique_lock lock(stopMutex);
        return stopCv.wait_for(lock, duration, [this] { return stopping; });
    }

    // Sends `head`, then the body in pieces from `body`, then hangs up; stops early when the
    // client is gone or the server stops.
    void answerRaw(const QByteArray& head, qint64 offset, qint64 length,
                   const std::function<QByteArray(qint64, qint64)>& body,
                   FixtureServer::Hangup hangup)
    {
        const socket_t sock = currentSocket;
        bool ok = sendAll(sock, head);
        for (qint64 pos = offset, end = offset + length; ok && pos < end; pos += kChunk) {
            ok = !isStopping() && sendAll(sock, body(pos, std::min(kChunk, end - pos)));
        }
        if (ok && hangup == FixtureServer::Hangup::Reset)
            sleepFor(kResetGrace);
        hangUpRaw(sock, hangup);
    }

    bool isStopping()
    {
        std::lock_guard lock(stopMutex);
        return stopping;
    }

    void stallUntilHangupOrStop()
    {
        const socket_t sock = currentSocket;
        while (!sleepFor(std::chrono::milliseconds(50))) {
            if (peerHungUp(sock))
                return;
        }
    }

    void handle(const httplib::Request& req, httplib::Response& res)
    {
        const QString path = QString::fromStdString(req.path);
        Handler route;
        std::vector<Series> allSeries;
        QString dir;
        {
            std::lock_guard lock(mutex);
            log.append(path);
            ++hitCount[path];
            if (currentRequestIndex > 0)
                ++reusedCount[path];
            headers[path].append(req.headers);
            if (auto it = routes.find(path); it != routes.end())
                route = it->second;
            else
                allSeries = series;
            dir = directory;
            for (const auto& [below, pair] : guards)
                if (path.startsWith(below) && !sendsCookie(req, pair))
                    route = [](const httplib::Request&, httplib::Response& login) {
                        serveBytes(login, 200,
                                   "<html><head><title>Log in</title></head>"
                                   "<body><form method=post>Members only</form></body></html>\n",
                                   "text/html");
                    };
        }
        if (route)
            route(req, res);
        else if (!std::any_of(allSeries.begin(), allSeries.end(),
                              [&](const Series& s) { return serveSeries(s, path, res); }) &&
                 (dir.isEmpty() || !serveFromDirectory(dir, path, res)))
            serveEnd(res, End::NotFound404Html);

        // The request object httplib hands out is not itself const.
        fitRanges(const_cast<httplib::Request&>(req), res);
    }

    static bool sendsCookie(const httplib::Request& req, const QByteArray& pair)
    {
        const QByteArray header = QByteArray::fromStdString(req.get_header_value("Cookie"));
        for (const QByteArray& each : header.split(';'))
            if (each.trimmed() == pair)
                return true;
        return false;
    }

    static bool serveSeries(const Series& s, const QString& path, httplib::Response& res)
    {
        if (!path.startsWith(s.dirPrefix))
            return false;
        const QString fileName = path.mid(s.dirPrefix.size());
        if (fileName.contains(QLatin1Char('/')) || !fileName.startsWith(s.prefix) ||
            !fileName.endsWith(s.suffix) || fileName.size() <= s.prefix.size() + s.suffix.size())
            return false;
        const QString digits =
            fileName.mid(s.prefix.size(), fileName.size() - s.prefix.size() - s.suffix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
            return false;

        bool ok = false;
        const qlonglong n = digits.size() <= 18 ? digits.toLongLong(&ok) : 0;
        const bool served = ok && n >= s.first && n <= s.last &&
                            digits == QStringLiteral("%1").arg(n, s.width, 10, QLatin1Char('0'));
        if (!served) {
            serveEnd(res, s.end);
            return true;
        }
        serveGenerated(res, 200, s.bytes, contentTypeFor(fileName),
                       [fileName](qint64 offset, qint64 length) {
                           return seriesChunk(fileName, offset, length);
                       });
        return true;
    }

    static bool serveFromDirectory(const QString& dir, const QString& path, httplib::Response& res)
    {
        const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (parts.isEmpty() || parts.contains(QStringLiteral("..")))
            return false;
        const QFileInfo info(QDir(dir).filePath(parts.join(QLatin1Char('/'))));
        const QString root = QFileInfo(dir).canonicalFilePath() + QLatin1Char('/');
        if (!info.isFile() || !info.canonicalFilePath().startsWith(root))
            return false;
        auto file = std::make_shared<QFile>(info.canonicalFilePath());
        if (!file->open(QIODevice::ReadOnly))
            return false;
        serveGenerated(res, 200, file->size(), contentTypeFor(info.fileName()),
                       [file](qint64 offset, qint64 length) {
                           return file->seek(offset) ? file->read(length) : QByteArray();
                       });
        return true;
    }
};

FixtureServer::FixtureServer(int port, const QString& host) : d(std::make_unique<Impl>())
{
    d->http.new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
    d->http.set_keep_alive_max_count(100);
    d->http.set_keep_alive_timeout(5);
    // httplib's default adds SO_REUSEPORT, which would let a second server share a fixed port.
    d->http.set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    });
    d->http.Get(".*", [impl = d.get()](const httplib::Request& req, httplib::Response& res) {
        impl->handle(req, res);
    });

    d->host = host;
    const std::string address = host.toStdString();
    d->port = port == 0 ? d->http.bind_to_any_port(address)
                        : (d->http.bind_to_port(address, port) ? port : -1);
    if (d->port <= 0)
        throw std::runtime_error("FixtureServer: cannot bind " + address + ':' +
                                 std::to_string(port));

    d->thread = std::thread([impl = d.get()] {
        impl->http.listen_after_bind();
        impl->listenReturned = true;
    });
    // stop() does nothing until the accept loop runs, so the destructor could hang otherwise.
    while (!d->http.is_running() && !d->listenReturned)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

FixtureServer::~FixtureServer()
{
    if (d->refusing != INVALID_SOCKET)
        httplib::detail::close_socket(d->refusing);
    d->http.stop();
    {
        std::lock_guard lock(d->stopMutex);
        d->stopping = true;
    }
    d->stopCv.notify_all();
    d->http.interrupt();
    d->thread.join();
}

int FixtureServer::port() const
{
    return d->port;
}

QString FixtureServer::baseUrl() const
{
    return QStringLiteral("http://%1:%2").arg(d->host).arg(d->port);
}

void FixtureServer::addSeries(const QString& dir, const QString& prefix, int first, int last,
                              int width, const QString& ext, End end, qint64 bytesPerFile)
{
    Series s;
    const QString trimmed = QDir::cleanPath(QLatin1Char('/') + dir);
    s.dirPrefix = trimmed == QLatin1String("/") ? trimmed : trimmed + QLatin1Char('/');
    s.prefix = prefix;
    s.first = first;
    s.last = last;
    s.width = std::max(width, 1);
    s.suffix = QLatin1Char('.') + ext;
    s.end = end;
    s.bytes = bytesPerFile;
    std::lock_guard lock(d->mutex);
    d->series.push_back(s);
}

QByteArray FixtureServer::seriesBody(const QString& fileName, qint64 size)
{
    return seriesChunk(fileName, 0, size);
}

void FixtureServer::addFile(const QString& path, const QByteArray& body, int status,
                            const QByteArray& contentType, const QByteArray& contentEncoding)
{
    d->addRoute(path, [body, status, type = contentType.toStdString(),
                       encoding = contentEncoding.toStdString()](const httplib::Request&,
                                                                 httplib::Response& res) {
        serveBytes(res, status, body, type);
        if (!encoding.empty())
            res.set_header("Content-Encoding", encoding);
    });
}

void FixtureServer::addRedirect(const QString& path, const QString& location, int status,
                                qint64 bodySize)
{
    d->addRoute(path, [target = location.toStdString(), status, bodySize](const httplib::Request&,
                                                                          httplib::Response& res) {
        if (bodySize == 0) {
            res.set_redirect(target, status);
            return;
        }
        serveGenerated(res, status, bodySize, "text/html", &FixtureServer::largeChunk);
        res.set_header("Location", target);
    });
}

void FixtureServer::addStall(const QString& path, qint64 bytesBeforeStall)
{
    d->addRoute(path, [impl = d.get(), stallAt = bytesBeforeStall](const httplib::Request&,
                                                                   httplib::Response& res) {
        res.set_content_provider(
            size_t(stallAt + kChunk), "application/octet-stream",
            [impl, stallAt](size_t offset, size_t length, httplib::DataSink& sink) {
                const qint64 pos = qint64(offset);
                if (pos < stallAt) {
                    const qint64 n = std::min({qint64(length), stallAt - pos, kChunk});
                    const QByteArray chunk = largeChunk(pos, n);
                    return sink.write(chunk.constData(), size_t(chunk.size()));
                }
                impl->stallUntilHangupOrStop();
                return false;
            });
    });
}

void FixtureServer::addCut(const QString& path, qint64 bytesBeforeCut, qint64 announcedLength)
{
    const qint64 announced = std::max(announcedLength, bytesBeforeCut + 1);
    d->addRoute(
        path, [cutAt = bytesBeforeCut, announced](const httplib::Request&, httplib::Response& res) {
            res.set_content_provider(
                size_t(announced), "application/octet-stream",
                [cutAt](size_t offset, size_t length, httplib::DataSink& sink) {
                    const qint64 pos = qint64(offset);
                    if (pos >= cutAt)
                        return false; // httplib closes the connection when a provider fails
                    const qint64 n = std::min({qint64(length), cutAt - pos, kChunk});
                    const QByteArray chunk = largeChunk(pos, n);
                    return sink.write(chunk.constData(), size_t(chunk.size()));
                });
        });
}

void FixtureServer::addLarge(const QString& path, qint64 size)
{
    d->addRoute(path, [size](const httplib::Request&, httplib::Response& res) {
        serveGenerated(res, 200, size, "application/octet-stream", &FixtureServer::largeChunk);
    });
}

QByteArray FixtureServer::largeChunk(qint64 offset, qint64 length)
{
    return pattern(kLargeSeed, offset, length);
}

void FixtureServer::addDelayed(const QString& path, const QByteArray& body, int delayMs)
{
    d->addRoute(path,
                [impl = d.get(), body, delayMs](const httplib::Request&, httplib::Response& res) {
                    if (impl->sleepFor(std::chrono::milliseconds(delayMs))) {
                        res.status = 503;
                        return;
                    }
                    serveBytes(res, 200, body, "application/octet-stream");
                });
}

void FixtureServer::serveDirectory(const QString& localDir)
{
    std::lock_guard lock(d->mutex);
    d->directory = localDir;
}

int FixtureServer::hits(const QString& path) const
{
    std::lock_guard lock(d->mutex);
    return d->hitCount.value(path);
}

void FixtureServer::requireCookie(const QString& dir, const QByteArray& pair)
{
    const QString below = QDir::cleanPath(QLatin1Char('/') + dir) + QLatin1Char('/');
    std::lock_guard lock(d->mutex);
    d->guards.emplace_back(below, pair);
}

QStringList FixtureServer::requestLog() const
{
    std::lock_guard lock(d->mutex);
    return d->log;
}

void FixtureServer::addSequence(const QString& path, const QList<Answer>& answers)
{
    auto served = std::make_shared<std::atomic<int>>(0);
    d->addRoute(path, [answers, served](const httplib::Request&, httplib::Response& res) {
        if (answers.isEmpty())
            return;
        const Answer& answer = answers.at(std::min<int>((*served)++, answers.size() - 1));
        serveBytes(res, answer.status, answer.body, "application/octet-stream");
        for (const auto& [name, value] : answer.headers)
            res.set_header(name.toStdString(), value.toStdString());
    });
}

void FixtureServer::addHangup(const QString& path, qint64 bytesBeforeHangup, Framing framing,
                              Hangup hangup)
{
    d->addRoute(path, [impl = d.get(), sent = bytesBeforeHangup, framing,
                       hangup](const httplib::Request&, httplib::Response& res) {
        auto provide = [impl, sent, hangup](size_t offset, httplib::DataSink& sink) {
            const qint64 pos = qint64(offset);
            if (pos < sent) {
                const QByteArray chunk = largeChunk(pos, std::min(sent - pos, 64 * 1024LL));
                return sink.write(chunk.constData(), size_t(chunk.size()));
            }
            // A reset makes the client's kernel drop what it has not read yet: give it time
            // to read the bytes sent, so that only the end of the connection differs.
            if (hangup == Hangup::Reset)
                impl->sleepFor(std::chrono::milliseconds(200));
            currentHangup = hangup;
            return false; // httplib gives up the response and hands the socket back
        };
        if (framing == Framing::Chunked) {
            res.set_chunked_content_provider("application/octet-stream", provide);
        } else {
            res.set_header("Connection", "close");
            res.set_content_provider("application/octet-stream", provide);
        }
    });
}

void FixtureServer::addDrip(const QString& path, qint64 size, int intervalMs)
{
    addPaced(path, size, int(qMin<qint64>(size, std::numeric_limits<int>::max())), intervalMs);
}

void FixtureServer::addPaced(const QString& path, qint64 size, int pieces, int intervalMs,
                             bool announceLength)
{
    const qint64 piece = qMax<qint64>(1, (size + pieces - 1) / pieces);
    d->addRoute(path, [impl = d.get(), path, size, piece, intervalMs,
                       announceLength](const httplib::Request&, httplib::Response& res) {
        auto provider = [impl, path, size, piece, intervalMs](size_t offset,
                                                              httplib::DataSink& sink) {
            if (offset > 0 && (impl->sleepFor(std::chrono::milliseconds(intervalMs)) ||
                               peerHungUp(currentSocket)))
                return false;
            const qint64 length = qMin(piece, size - qint64(offset));
            if (length <= 0) {
                sink.done();
                return true;
            }
            const QByteArray bytes = largeChunk(qint64(offset), length);
            if (!sink.write(bytes.constData(), size_t(length)))
                return false;
            std::lock_guard lock(impl->mutex);
            impl->sent[path] += length;
            return true;
        };
        if (announceLength)
            res.set_content_provider(size_t(size), "application/octet-stream",
                                     [provider](size_t offset, size_t, httplib::DataSink& sink) {
                                         return provider(offset, sink);
                                     });
        else
            res.set_chunked_content_provider("application/octet-stream", provider);
    });
}

qint64 FixtureServer::sentBytes(const QString& path) const
{
    std::lock_guard lock(d->mutex);
    return d->sent.value(path);
}

int FixtureServer::refusingPort() const
{
    std::lock_guard lock(d->mutex);
    if (d->refusing == INVALID_SOCKET) {
        // Bound but never listening: the kernel answers a connection with a reset.
        const socket_t sock = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (sock == INVALID_SOCKET)
            throw std::runtime_error("FixtureServer: no socket for a refusing port");
        if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
            ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            httplib::detail::close_socket(sock);
            throw std::runtime_error("FixtureServer: cannot bind a refusing port");
        }
        d->refusing = sock;
        d->refusingPort = ntohs(address.sin_port);
    }
    return d->refusingPort;
}

void FixtureServer::addChunkedCut(const QString& path, ChunkCut cut, Hangup hangup)
{
    constexpr qint64 kPiece = 16 * 1024;
    auto chunk = [](qint64 index, qint64 length) {
        return QByteArray::number(kPiece, 16) + "\r\n" + largeChunk(index * kPiece, length);
    };
    QByteArray raw = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                     "Transfer-Encoding: chunked\r\n\r\n" +
                     chunk(0, kPiece) + "\r\n" + chunk(1, kPiece) + "\r\n";
    if (cut == ChunkCut::MidChunk)
        raw += chunk(2, kPiece / 2);
    else if (cut == ChunkCut::AfterData)
        raw += chunk(2, kPiece);
    d->addRoute(path, [impl = d.get(), raw, hangup](const httplib::Request&, httplib::Response&) {
        impl->answerRaw(raw, 0, 0, {}, hangup);
    });
}

void FixtureServer::addBadLength(const QString& path, BadLength kind, qint64 size)
{
    const QByteArray n = QByteArray::number(size);
    QByteArray status = "200 OK";
    QByteArray lengths;
    qint64 offset = 0;
    qint64 length = size;
    switch (kind) {
    case BadLength::Doubled:
        lengths = "Content-Length: " + n + ", " + n + "\r\n";
        length = size / 2;
        break;
    case BadLength::TrailingLetters:
        lengths = "Content-Length: 12abc\r\n";
        break;
    case BadLength::TwentyThreeDigits:
        lengths = "Content-Length: 12345678901234567890123\r\n";
        break;
    case BadLength::TwoDifferent:
        lengths =
            "Content-Length: " + n + "\r\nContent-Length: " + QByteArray::number(size / 2) + "\r\n";
        break;
    case BadLength::UnaskedRange:
        status = "206 Partial Content";
        offset = size / 2;
        length = size - offset;
        lengths = "Content-Range: bytes " + QByteArray::number(offset) + '-' +
                  QByteArray::number(size - 1) + '/' + n +
                  "\r\nContent-Length: " + QByteArray::number(length) + "\r\n";
        break;
    case BadLength::LongerThanAnnounced:
        lengths = "Content-Length: " + n + "\r\n";
        length = size + 100;
        break;
    }
    const QByteArray raw = "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\n" +
                           lengths + "\r\n" + largeChunk(offset, length);
    d->addRoute(path, [impl = d.get(), raw](const httplib::Request&, httplib::Response&) {
        impl->answerRaw(raw, 0, 0, {}, Hangup::Close);
    });
}

void FixtureServer::addEndlessHeaders(const QString& path, qint64 bytes)
{
    // 1024 lines of 1024 bytes each, so that the pieces join into whole lines.
    QByteArray line = "X-Filler: " + QByteArray(1012, 'f') + "\r\n";
    auto block = std::make_shared<QByteArray>(line.repeated(int(kChunk / line.size())));
    d->addRoute(path, [impl = d.get(), block, bytes](const httplib::Request&, httplib::Response&) {
        impl->answerRaw(
            "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n", 0, bytes,
            [block](qint64, qint64 length) { return block->first(length); }, Hangup::Close);
    });
}

namespace {

// "bytes=N-" or "bytes=N-M"; false for anything else, such as several ranges.
bool parseRange(const std::string& header, qint64 size, qint64& first, qint64& last)
{
    const QByteArray text = QByteArray::fromStdString(header).trimmed();
    if (!text.startsWith("bytes="))
        return false;
    const QList<QByteArray> ends = text.mid(6).split('-');
    bool ok = ends.size() == 2;
    first = ok ? ends[0].trimmed().toLongLong(&ok) : 0;
    if (!ok || first < 0)
        return false;
    last = size - 1;
    if (!ends[1].trimmed().isEmpty()) {
        last = std::min(ends[1].trimmed().toLongLong(&ok), size - 1);
        if (!ok || last < first)
            return false;
    }
    return true;
}

} // namespace

void FixtureServer::addResumable(const QString& path, qint64 size, const QList<qint64>& cutAt,
                                 RangeLie lie)
{
    auto served = std::make_shared<std::atomic<int>>(0);
    d->addRoute(path, [impl = d.get(), size, cutAt, lie, served](const httplib::Request& req,
                                                                 httplib::Response&) {
        const int n = (*served)++;
        const bool changed = lie == RangeLie::ChangedETag && n > 0;
        const std::string etag = changed ? "\"sg-2\"" : "\"sg-1\"";
        qint64 first = 0;
        qint64 last = size - 1;
        bool partial = false;
        if (req.has_header("Range") &&
            parseRange(req.get_header_value("Range"), size, first, last)) {
            const std::string validator = req.get_header_value("If-Range");
            partial = validator.empty() || validator == etag || validator == kLastModified ||
                      lie == RangeLie::ChangedETag;
            if (partial && first >= size) {
                impl->answerRaw("HTTP/1.1 416 Range Not Satisfiable\r\nContent-Range: bytes */" +
                                    QByteArray::number(size) +
                                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                                0, 0, {}, Hangup::Close);
                return;
            }
            if (lie == RangeLie::WholeAs200)
                partial = false;
            else if (lie == RangeLie::WrongStart)
                first /= 2;
        }
        if (!partial) {
            first = 0;
            last = size - 1;
        }
        QByteArray head = partial ? "HTTP/1.1 206 Partial Content\r\n" : "HTTP/1.1 200 OK\r\n";
        head += "Content-Type: application/octet-stream\r\nContent-Length: " +
                QByteArray::number(last - first + 1) +
                "\r\nAccept-Ranges: bytes\r\nETag: " + QByteArray::fromStdString(etag) +
                "\r\nLast-Modified: " + QByteArray::fromStdString(kLastModified) + "\r\n";
        if (partial)
            head += "Content-Range: bytes " + QByteArray::number(first) + '-' +
                    QByteArray::number(last) + '/' + QByteArray::number(size) + "\r\n";
        head += "Connection: close\r\n\r\n";
        qint64 length = last - first + 1;
        if (n < cutAt.size())
            length = std::clamp(cutAt.at(n) - first, qint64(0), length);
        impl->answerRaw(head, first, length, changed ? &changedChunk : &largeChunk, Hangup::Close);
    });
}

QByteArray FixtureServer::changedChunk(qint64 offset, qint64 length)
{
    return pattern(kChangedSeed, offset, length);
}

QList<QByteArray> FixtureServer::headerValues(const QString& path, const QByteArray& name) const
{
    std::lock_guard lock(d->mutex);
    QList<QByteArray> values;
    // httplib compares header names without regard to case.
    for (const httplib::Headers& h : d->headers.value(path)) {
        const auto it = h.find(name.toStdString());
        values.append(it == h.end() ? QByteArray() : QByteArray::fromStdString(it->second));
    }
    return values;
}

QList<QByteArray> FixtureServer::rangeHeaders(const QString& path) const
{
    return headerValues(path, "Range");
}

int FixtureServer::reusedHits(const QString& path) const
{
    std::lock_guard lock(d->mutex);
    return d->reusedCount.value(path);
}
