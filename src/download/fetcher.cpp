#include "fetcher.h"

#include "cookiejar.h"
#include "downloadfolder.h"
#include "host/localized.h"
#include "pagecheck.h"
#include "partfile.h"
#include "referrer.h"
#include "responsehead.h"
#include "target.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>
#include <QSocketNotifier>
#include <algorithm>
#include <curl/curl.h>
#include <sys/socket.h>

namespace {

constexpr int kMaxRedirects = 10;
constexpr qint64 kSkippedBodyLimit = 64 * 1024;
// Larger reads than libcurl's 16 KiB cut the per-call cost of a fast transfer; the bound on
// memory stays a fixed buffer.
constexpr long kReadBuffer = 256 * 1024;

QString seconds(int milliseconds)
{
    return QString::number(milliseconds / 1000.0);
}

// Asked again later, these may well succeed.
bool isTransient(int status)
{
    return status == 408 || status == 429 || status == 500 || status == 502 || status == 503 ||
           status == 504;
}

QString statusReason(int status)
{
    if (status == 408)
        return localized("ReasonRequestTimeout");
    if (status == 429)
        return localized("ReasonTooManyRequests");
    return localizedFormat("ReasonServerError", QString::number(status));
}

// A name whose own extension is a gzip archive is kept as the server sends it, encoded or not:
// decoding would store the contents under the archive's name.
bool keepsEncoding(const QString& name)
{
    const QString lower = name.toLower();
    return lower.endsWith(u".gz") || lower.endsWith(u".tgz");
}

// As a server writes Last-Modified: "Sun, 06 Nov 1994 08:49:37 GMT", in English whatever the
// user's language.
QByteArray httpDate(const QDateTime& time)
{
    return QLocale::c()
        .toString(time.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"))
        .toLatin1();
}

QDateTime fromHttpDate(const QByteArray& date)
{
    const time_t t = date.isEmpty() ? -1 : curl_getdate(date.constData(), nullptr);
    return t == -1 ? QDateTime() : QDateTime::fromSecsSinceEpoch(qint64(t), Qt::UTC);
}

// Sent back in a header line, so it must be one: a quoted tag, weak or not, and nothing a
// server could use to add a line of its own.
bool isEntityTag(QByteArrayView tag)
{
    if (tag.startsWith("W/"))
        tag = tag.sliced(2);
    if (tag.size() < 2 || !tag.startsWith('"') || !tag.endsWith('"'))
        return false;
    return std::none_of(tag.begin(), tag.end(),
                        [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

// Where a file came from, as the desktop keeps it beside a download: never a password.
QByteArray originOf(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveUserInfo).toEncoded();
}

} // namespace

struct Fetcher::Watch
{
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
};

// libcurl's C callbacks, forwarded to the fetcher they were registered with.
struct CurlGlue
{
    static int socket(CURL*, curl_socket_t fd, int what, void* self, void*)
    {
        static_cast<Fetcher*>(self)->watch(fd, what);
        return 0;
    }
    static int timer(CURLM*, long timeoutMs, void* self)
    {
        auto* f = static_cast<Fetcher*>(self);
        // Never driven from inside libcurl: a timeout of 0 runs from the event loop.
        if (timeoutMs < 0)
            f->mCurlTimer.stop();
        else
            f->mCurlTimer.start(int(qMin<long>(timeoutMs, 1 << 30)));
        return 0;
    }
    static size_t header(char* data, size_t size, size_t count, void* self)
    {
        const size_t n = size * count;
        return static_cast<Fetcher*>(self)->headLine(data, qsizetype(n)) ? n : 0;
    }
    static size_t body(char* data, size_t size, size_t count, void* self)
    {
        const size_t n = size * count;
        return static_cast<Fetcher*>(self)->body(data, qsizetype(n)) ? n : 0;
    }
    static int progress(void* self, curl_off_t, curl_off_t now, curl_off_t, curl_off_t)
    {
        static_cast<Fetcher*>(self)->reportProgress(qint64(now));
        return 0;
    }
    // libcurl reads a body of the announced length and drops what a server sent beyond it,
    // telling only its debug stream.
    static int debug(CURL*, curl_infotype type, char* data, size_t size, void* self)
    {
        if (type == CURLINFO_TEXT &&
            QByteArrayView(data, qsizetype(size)).startsWith("Excess found"))
            static_cast<Fetcher*>(self)->mExcess = true;
        return 0;
    }
};

Fetcher::Fetcher(const download::Policy& policy, QObject* parent)
    : QObject(parent), mPolicy(policy), mCurlTimer(this), mRetryWait(this), mActivity(this)
{
    qRegisterMetaType<Fetcher::Result>();
    download::initCurl();
    mCurlTimer.setSingleShot(true);
    connect(&mCurlTimer, &QTimer::timeout, this, [this] { drive(CURL_SOCKET_TIMEOUT, 0); });
    mRetryWait.setSingleShot(true);
    // A coarse timer may end early, and a server that asked for a wait may refuse us then.
    mRetryWait.setTimerType(Qt::PreciseTimer);
    connect(&mRetryWait, &QTimer::timeout, this, &Fetcher::attempt);
    connect(&mActivity, &QTimer::timeout, this, &Fetcher::checkActivity);

    mMulti = curl_multi_init();
    curl_multi_setopt(mMulti, CURLMOPT_SOCKETFUNCTION, &CurlGlue::socket);
    curl_multi_setopt(mMulti, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(mMulti, CURLMOPT_TIMERFUNCTION, &CurlGlue::timer);
    curl_multi_setopt(mMulti, CURLMOPT_TIMERDATA, this);

    mEasy = curl_easy_init();
    mError.fill('\0', CURL_ERROR_SIZE + 1);
    curl_easy_setopt(mEasy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(mEasy, CURLOPT_ERRORBUFFER, mError.data());
    curl_easy_setopt(mEasy, CURLOPT_HEADERFUNCTION, &CurlGlue::header);
    curl_easy_setopt(mEasy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_WRITEFUNCTION, &CurlGlue::body);
    curl_easy_setopt(mEasy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_DEBUGFUNCTION, &CurlGlue::debug);
    curl_easy_setopt(mEasy, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(mEasy, CURLOPT_VERBOSE, 1L);
    // Followed here, one request at a time: the Referer is worked out again for each address.
    curl_easy_setopt(mEasy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(mEasy, CURLOPT_BUFFERSIZE, kReadBuffer);
    curl_easy_setopt(mEasy, CURLOPT_XFERINFOFUNCTION, &CurlGlue::progress);
    curl_easy_setopt(mEasy, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(mEasy, CURLOPT_NOPROGRESS, 0L);
    const QByteArray agent =
        QStringLiteral("Stepgrab/%1").arg(QCoreApplication::applicationVersion()).toUtf8();
    curl_easy_setopt(mEasy, CURLOPT_USERAGENT, agent.constData()); // copied by libcurl
}

Fetcher::~Fetcher()
{
    detach();
    discardFile();
    curl_easy_cleanup(mEasy);
    // Closing the cached connections may report their sockets; nothing is watched any more.
    curl_multi_setopt(mMulti, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(mMulti, CURLMOPT_TIMERFUNCTION, nullptr);
    curl_multi_cleanup(mMulti);
    curl_slist_free_all(static_cast<curl_slist*>(mHeaders));
}

void Fetcher::watch(int fd, int what)
{
    if (what == CURL_POLL_REMOVE) {
        const auto it = mWatches.find(fd);
        if (it == mWatches.end())
            return;
        // libcurl may drop a socket while its notifier is being delivered.
        for (QSocketNotifier* n : {it->second->read.release(), it->second->write.release()})
            if (n) {
                n->setEnabled(false);
                n->deleteLater();
            }
        mWatches.erase(it);
        return;
    }
    auto& w = mWatches[fd];
    if (!w)
        w = std::make_unique<Watch>();
    auto want = [&](std::unique_ptr<QSocketNotifier>& n, QSocketNotifier::Type type, bool on,
                    int event) {
        if (!n && on) {
            n = std::make_unique<QSocketNotifier>(fd, type);
            connect(n.get(), &QSocketNotifier::activated, this,
                    [this, fd, event] { drive(fd, event); });
        }
        if (n)
            n->setEnabled(on);
    };
    want(w->read, QSocketNotifier::Read, what == CURL_POLL_IN || what == CURL_POLL_INOUT,
         CURL_CSELECT_IN);
    want(w->write, QSocketNotifier::Write, what == CURL_POLL_OUT || what == CURL_POLL_INOUT,
         CURL_CSELECT_OUT);
}

void Fetcher::drive(int fd, int events)
{
    if (!mAttached)
        return;
    int running = 0;
    curl_multi_socket_action(mMulti, fd, events, &running);
    takeDone();
}

void Fetcher::takeDone()
{
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(mMulti, &left)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == mEasy && mAttached) {
            transferDone(msg->data.result);
            return;
        }
    }
}

void Fetcher::start(const download::Target& target, bool pageRule)
{
    Options options;
    options.pageRule = pageRule;
    begin(target.url, target.path, target.name, target.folder, options);
}

void Fetcher::start(const QUrl& url, const QString& path, bool pageRule)
{
    Options options;
    options.pageRule = pageRule;
    start(url, path, options);
}

void Fetcher::start(const QUrl& url, const QString& path, const Options& options)
{
    begin(url, path, QFileInfo(path).fileName(), nullptr, options);
}

void Fetcher::begin(const QUrl& url, const QString& path, const QString& name,
                    std::shared_ptr<const folder::RunFolder> folder, const Options& options)
{
    Q_ASSERT(!isRunning());
    mRunning = true;
    mUrl = url;
    mPath = path;
    mName = name;
    mFolder = std::move(folder);
    mOptions = options;
    mResult = {};
    mResumable = false;
    mNoResume = false;
    mTotal = -1;
    mValidator.clear();
    mEntityTag.clear();
    mLastModified = {};
    discardFile();
    askIfChanged();

    const bool raw = !options.page && keepsEncoding(mName);
    // The file as the server holds it; one that encodes it anyway is decoded, but for an
    // archive of that very encoding.
    curl_easy_setopt(mEasy, CURLOPT_ACCEPT_ENCODING, raw ? nullptr : "identity");
    curl_easy_setopt(mEasy, CURLOPT_PROTOCOLS_STR, options.page ? "http,https,file" : "http,https");
    curl_easy_setopt(mEasy, CURLOPT_LOW_SPEED_LIMIT, long(mPolicy.minBytesPerSecond));
    curl_easy_setopt(mEasy, CURLOPT_LOW_SPEED_TIME, long((mPolicy.speedWindowMs + 999) / 1000));
    // The activity check reports a silent connect in the same words as a silent transfer.
    curl_easy_setopt(mEasy, CURLOPT_CONNECTTIMEOUT_MS, long(mPolicy.inactivityMs + 1000));
    joinJar();
    attempt();
}

// A file already under the name stays unless the server's has changed since: the request says
// the kept file's date, and its entity tag when that was kept for this same address (another
// address's tag says nothing of this one, and a file known to be from elsewhere is replaced).
void Fetcher::askIfChanged()
{
    mIfModifiedSince.clear();
    mIfNoneMatch.clear();
    mKeptSize = 0;
    if (!mPolicy.keepExisting || mOptions.page)
        return;
    const std::shared_ptr<const folder::RunFolder> dir =
        mFolder ? mFolder : folder::RunFolder::open(QFileInfo(mPath).absolutePath(), nullptr);
    const std::optional<PartFile::Kept> kept = dir ? PartFile::kept(*dir, mName) : std::nullopt;
    if (!kept || (!kept->origin.isEmpty() && kept->origin != originOf(mUrl)))
        return;
    mIfModifiedSince = httpDate(kept->modified);
    if (!kept->origin.isEmpty() && isEntityTag(kept->etag))
        mIfNoneMatch = kept->etag;
    mKeptSize = kept->size;
}

// What arrived of a file that can be asked for again from where it stopped is kept.
bool Fetcher::canResume() const
{
    return mFile && mResumable && !mNoResume && mWritten > 0;
}

void Fetcher::attempt()
{
    const bool resume = canResume();
    if (!resume) {
        discardFile();
        mRangeFrom = -1;
        mDecided = false;
        mSniff.clear();
    } else {
        mRangeFrom = mWritten;
    }
    curl_slist_free_all(static_cast<curl_slist*>(mHeaders));
    curl_slist* headers = nullptr;
    if (keepsEncoding(mName) && !mOptions.page)
        headers = curl_slist_append(headers, "Accept-Encoding: identity");
    if (resume)
        headers = curl_slist_append(headers, ("If-Range: " + mValidator).constData());
    // Once a new body has begun, only the rest of it is asked for.
    if (!resume && !mIfModifiedSince.isEmpty())
        headers =
            curl_slist_append(headers, ("If-Modified-Since: " + mIfModifiedSince).constData());
    if (!resume && !mIfNoneMatch.isEmpty())
        headers = curl_slist_append(headers, ("If-None-Match: " + mIfNoneMatch).constData());
    mHeaders = headers;
    curl_easy_setopt(mEasy, CURLOPT_HTTPHEADER, headers);
    const QByteArray range = resume ? QByteArray::number(mRangeFrom) + '-' : QByteArray();
    curl_easy_setopt(mEasy, CURLOPT_RANGE, resume ? range.constData() : nullptr);
    mSinceStart.start();
    mRedirects = 0;
    send(mUrl);
}

// One request of the current try: to the address asked for, or to where a redirect sent it.
void Fetcher::send(const QUrl& url)
{
    mHopUrl = url;
    mRedirect.clear();
    mSkipped = 0;
    const QByteArray encoded = mHopUrl.toEncoded();
    curl_easy_setopt(mEasy, CURLOPT_URL, encoded.constData());
    // A page read for its links is the user's own look, not a request from a page.
    const QByteArray referer =
        mOptions.page ? QByteArray() : download::referrerFor(mPolicy.referrer, mHopUrl);
    curl_easy_setopt(mEasy, CURLOPT_REFERER, referer.isEmpty() ? nullptr : referer.constData());
    // A page's time bound is for the whole fetch, its redirects included.
    const qint64 left = mOptions.totalMs > 0 ? mOptions.totalMs - mSinceStart.elapsed() : 0;
    curl_easy_setopt(mEasy, CURLOPT_TIMEOUT_MS,
                     long(mOptions.page && mOptions.totalMs > 0 ? qMax<qint64>(left, 1) : 0));

    mHead = std::make_unique<http::ResponseHead>();
    mExcess = false;
    mStop = Stop::None;
    mError.fill('\0');
    mSinceByte.start();
    mSinceProgress.invalidate();
    mActivity.start(qBound(10, mPolicy.inactivityMs / 4, 250));
    mAttached = true;
    curl_multi_add_handle(mMulti, mEasy);
}

bool Fetcher::headLine(const char* data, qsizetype size)
{
    mSinceByte.start();
    const QByteArrayView line(data, size);
    // Each response of a redirect chain (and each interim 1xx) has a head of its own.
    if (line.startsWith("HTTP/"))
        mHead = std::make_unique<http::ResponseHead>();
    if (!mHead->addLine(line)) {
        stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonHeadersTooLarge"));
        return false;
    }
    return !mHead->isComplete() || headDone();
}

bool Fetcher::headDone()
{
    const int status = mHead->status();
    mResult.status = status;
    if (status >= 100 && status < 200)
        return true;
    if (status == 304)
        return notModified();
    if (status >= 300 && status < 400) {
        const QByteArray location = mHead->location();
        if (location.isEmpty())
            return true; // the body comes, and the end of the transfer says there was no target
        const QUrl relative = QUrl::fromEncoded(location, QUrl::StrictMode);
        const QUrl& from = mHopUrl;
        const QUrl target = from.resolved(relative);
        if (!relative.isValid() || !target.isValid()) {
            stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonRedirectNoTarget"));
            return false;
        }
        // libcurl would follow https to http; a file asked for privately stays private.
        if (!download::isFetchable(target) ||
            (from.scheme() == u"https" && target.scheme() != u"https")) {
            stopWith(Stop::Fail, Outcome::NetworkError,
                     localizedFormat("ReasonRedirectRefused",
                                     download::printable(target.toDisplayString())));
            return false;
        }
        if (mRedirects >= kMaxRedirects) {
            stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonTooManyRedirects"));
            return false;
        }
        // Followed once this answer's body has gone by, so the connection can serve the next.
        mRedirect = target;
        return true;
    }
    if (status >= 400) {
        if (mOptions.page)
            stopWith(Stop::Fail, Outcome::HttpError, statusReason(status));
        else if (status == 401 || status == 407)
            stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonAuthentication"));
        else if (isTransient(status))
            stopWith(Stop::Retry, Outcome::NetworkError, statusReason(status));
        else if (status < 500)
            stopWith(Stop::Fail, Outcome::HttpError,
                     localizedFormat("ReasonMissing", QString::number(status)));
        else
            stopWith(Stop::Fail, Outcome::NetworkError, statusReason(status));
        return false;
    }

    const QString fault = http::framingFault(*mHead, mRangeFrom, mTotal);
    if (fault == u"ReasonBadRange" ||
        (status == 206 && mRangeFrom >= 0 && !mHead->strongETag().isEmpty() &&
         mValidator.startsWith('"') && mHead->strongETag() != mValidator)) {
        stopWith(Stop::Restart, Outcome::NetworkError, localized("ReasonBadRange"));
        return false;
    }
    if (!fault.isEmpty()) {
        stopWith(Stop::Retry, Outcome::NetworkError, localized(fault.toLatin1().constData()));
        return false;
    }
    const std::optional<qint64> length = mHead->contentLength();
    if (mOptions.maxBytes >= 0 && length && *length > mOptions.maxBytes) {
        stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonTooLarge"));
        return false;
    }
    if (mRangeFrom >= 0 && status == 206) {
        emit resumed(mRangeFrom);
        return true;
    }
    if (mRangeFrom >= 0) {
        // The whole file again, changed or not: it starts over from its first byte.
        discardFile();
        mRangeFrom = -1;
        mDecided = false;
        mSniff.clear();
    }
    mResult.contentType = mHead->contentType();
    mEntityTag = mHead->entityTag();
    mLastModified = fromHttpDate(mHead->lastModified());
    // What a cut of this body may later resume from: only an unchanged file, byte for byte.
    mValidator = !mHead->strongETag().isEmpty() ? mHead->strongETag() : mHead->lastModified();
    mResumable = status == 200 && mHead->acceptsRanges() && !mValidator.isEmpty() &&
                 !mHead->hasContentEncoding() && length.has_value();
    mTotal = length.value_or(-1);
    return true;
}

// Nothing comes after the head; the end of the transfer keeps the file. Not Modified to a
// request that compared nothing is a server answering someone else's question.
bool Fetcher::notModified()
{
    if (mRangeFrom < 0 && !mIfModifiedSince.isEmpty())
        return true;
    stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonUnaskedNotModified"));
    return false;
}

bool Fetcher::body(const char* data, qsizetype size)
{
    mSinceByte.start();
    if (mHead->isComplete() && (mHead->status() < 200 || mHead->status() >= 300)) {
        // A redirect's own page goes by unread, but not for ever: a server that goes on
        // sending it holds the fetch where neither the inactivity nor the speed bound sees it.
        mSkipped += size;
        if (!mRedirect.isEmpty() && mSkipped > kSkippedBodyLimit) {
            mStop = Stop::Follow;
            return false;
        }
        return true;
    }
    mResult.received += size;
    if (mOptions.maxBytes >= 0 && mWritten + mSniff.size() + size > mOptions.maxBytes) {
        stopWith(Stop::Fail, Outcome::NetworkError, localized("ReasonTooLarge"));
        return false;
    }
    if (mDecided)
        return keep(data, size);
    mSniff.append(data, size);
    return mSniff.size() < pages::kSniffLength || decide();
}

// Called once enough of the body is known (or all of it): refuse a page, or open the file
// and write what was held back.
bool Fetcher::decide()
{
    mDecided = true;
    // Only the first bytes count, so the verdict does not depend on how the body was cut up.
    const QByteArray head = mSniff.first(qMin(mSniff.size(), pages::kSniffLength));
    if (!mOptions.page && pages::judge(mName, head, mOptions.pageRule) == pages::Verdict::Page) {
        stopWith(Stop::Fail, Outcome::HtmlPage, localized("ReasonHtmlPage"));
        return false;
    }
    mFile =
        mFolder ? std::make_unique<PartFile>(mFolder, mName) : std::make_unique<PartFile>(mPath);
    mWritten = 0;
    if (!mFile->open()) {
        stopWith(Stop::Fail, Outcome::WriteError, mFile->errorString());
        return false;
    }
    const QByteArray held = std::exchange(mSniff, {});
    return keep(held.constData(), held.size());
}

bool Fetcher::keep(const char* data, qsizetype size)
{
    if (size == 0)
        return true;
    if (!mFile->write(QByteArray::fromRawData(data, size))) {
        stopWith(Stop::Fail, Outcome::WriteError, mFile->errorString());
        return false;
    }
    mWritten += size;
    return true;
}

// libcurl calls this for every read; a window or a terminal wants a figure it can show.
void Fetcher::reportProgress(qint64 now)
{
    constexpr qint64 kInterval = 100; // milliseconds
    if (!mDecided && mSniff.isEmpty())
        return;
    if (mSinceProgress.isValid() && mSinceProgress.elapsed() < kInterval)
        return;
    mSinceProgress.start();
    emit progress((mRangeFrom > 0 ? mRangeFrom : 0) + now, mTotal);
}

void Fetcher::stopWith(Stop stop, Outcome outcome, const QString& reason, int retryAfterMs)
{
    mStop = stop;
    mStopOutcome = outcome;
    mStopReason = reason;
    mStopRetryAfterMs = retryAfterMs;
}

void Fetcher::followRedirect()
{
    ++mRedirects;
    send(std::exchange(mRedirect, QUrl()));
}

void Fetcher::transferDone(int code)
{
    curl_off_t retryAfter = 0;
    curl_easy_getinfo(mEasy, CURLINFO_RETRY_AFTER, &retryAfter);
    const QString curlText =
        download::printable(QString::fromUtf8(mError.constData()).trimmed().isEmpty()
                                ? QString::fromUtf8(curl_easy_strerror(CURLcode(code)))
                                : QString::fromUtf8(mError.constData()).trimmed());
    const bool headIncomplete = !mHead->isComplete();
    // libcurl reads no further than the announced length, so bytes a server sent beyond it
    // wait on the kept connection. Over TLS a close alert may wait there as well.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (code == CURLE_OK && mStop == Stop::None && mHead->contentLength() &&
        mHopUrl.scheme() == u"http" &&
        curl_easy_getinfo(mEasy, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
        socket != CURL_SOCKET_BAD) {
        char byte;
        if (::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT) > 0) {
            mExcess = true;
            // libcurl counts a readable idle connection as alive and would read those bytes as
            // the next answer; shut, it is found dead and dropped from the cache.
            ::shutdown(socket, SHUT_RDWR);
        }
    }
    detach();

    switch (mStop) {
    case Stop::Fail:
        finish(mStopOutcome, mStopReason);
        return;
    case Stop::Retry:
        retryOrFail(mStopReason, retryAfter > 0 ? int(qMin<curl_off_t>(retryAfter * 1000,
                                                                       mPolicy.maxRetryAfterMs))
                                                : -1);
        return;
    case Stop::Restart:
        restartFromZero();
        return;
    case Stop::Follow:
        followRedirect();
        return;
    case Stop::None:
        break;
    }

    switch (CURLcode(code)) {
    case CURLE_OK:
        break;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        if (headIncomplete && mHead->bytes() > 0 &&
            curlText.contains(u"header", Qt::CaseInsensitive))
            finish(Outcome::NetworkError, localized("ReasonHeadersTooLarge"));
        else
            retryOrFail(localized("ReasonConnectionReset"));
        return;
    case CURLE_COULDNT_CONNECT:
        retryOrFail(localized("ReasonConnectionRefused"));
        return;
    case CURLE_COULDNT_RESOLVE_HOST:
        finish(Outcome::NetworkError, localizedFormat("ReasonHostNotFound", mHopUrl.host()));
        return;
    case CURLE_OPERATION_TIMEDOUT:
        if (mOptions.page)
            finish(Outcome::NetworkError,
                   localizedFormat("ReasonNoDataFor", seconds(mOptions.totalMs)));
        else
            finish(Outcome::NetworkError,
                   localizedFormat("ReasonTooSlow",
                                   QString::number(mPolicy.minBytesPerSecond / 1024.0),
                                   seconds((mPolicy.speedWindowMs + 999) / 1000 * 1000)));
        return;
    case CURLE_TOO_MANY_REDIRECTS:
        finish(Outcome::NetworkError, localized("ReasonTooManyRedirects"));
        return;
    case CURLE_UNSUPPORTED_PROTOCOL:
        finish(Outcome::NetworkError, mResult.status >= 300 && mResult.status < 400
                                          ? localizedFormat("ReasonRedirectRefused", curlText)
                                          : localizedFormat("ReasonNetwork", curlText));
        return;
    default:
        finish(Outcome::NetworkError, localizedFormat("ReasonNetwork", curlText));
        return;
    }

    if (!mRedirect.isEmpty()) {
        followRedirect();
        return;
    }
    if (mResult.status == 304) {
        mResult.bytes = mKeptSize;
        finish(Outcome::Unchanged);
        return;
    }
    if (mResult.status >= 300 && mResult.status < 400) {
        finish(Outcome::NetworkError, localized("ReasonRedirectNoTarget"));
        return;
    }
    // More body than announced: the length was not the file's, so neither is what was read.
    if (mExcess) {
        retryOrFail(localized("ReasonBadLength"));
        return;
    }
    if (!mDecided) {
        // An empty answer is no file, whatever its status says.
        if (mSniff.isEmpty()) {
            finish(Outcome::NetworkError, localized("ReasonNoData"));
            return;
        }
        if (!decide()) {
            finish(mStopOutcome, mStopReason);
            return;
        }
    }
    mFile->setOrigin(originOf(mUrl), isEntityTag(mEntityTag) ? mEntityTag : QByteArray());
    mFile->setModified(mLastModified);
    if (!mFile->commit()) {
        finish(Outcome::WriteError, mFile->errorString());
        return;
    }
    mFile.reset();
    mResult.bytes = mWritten;
    finish(Outcome::Written);
}

void Fetcher::checkActivity()
{
    if (!mAttached || mSinceByte.elapsed() < mPolicy.inactivityMs)
        return;
    detach();
    finish(Outcome::NetworkError,
           localizedFormat("ReasonNoDataFor", seconds(mPolicy.inactivityMs)));
}

void Fetcher::retryOrFail(const QString& reason, int retryAfterMs)
{
    const QList<int>& delays = mPolicy.retryDelaysMs;
    if (mOptions.page || mResult.retries >= delays.size()) {
        finish(Outcome::NetworkError, mResult.retries == 0
                                          ? reason
                                          : localizedFormat("ReasonAfterRetries", reason,
                                                            QString::number(mResult.retries)));
        return;
    }
    if (!canResume())
        discardFile();
    const int delay = retryAfterMs >= 0 ? retryAfterMs : delays.at(mResult.retries);
    ++mResult.retries;
    // Started first, so that a receiver's abort() ends the wait.
    mRetryWait.start(delay);
    emit retrying(reason, mResult.retries, delay);
}

// A server that answered a range with something other than the rest of the same file: the
// file is fetched whole, once more, and not resumed again.
void Fetcher::restartFromZero()
{
    discardFile();
    mNoResume = true;
    attempt();
}

void Fetcher::abort()
{
    if (isRunning())
        finish(Outcome::Aborted, localized("ReasonStopped"));
}

void Fetcher::detach()
{
    mActivity.stop();
    mCurlTimer.stop();
    if (!mAttached)
        return;
    mAttached = false;
    curl_multi_remove_handle(mMulti, mEasy);
}

void Fetcher::discardFile()
{
    if (mFile) {
        mFile->discard();
        mFile.reset();
    }
    mWritten = 0;
}

// A run's cookies are its own: the handle joins the run's jar for a fetch and leaves it after,
// and without a jar its cookie engine is off, so that nothing a server set in one run goes
// with the next.
void Fetcher::joinJar()
{
    leaveJar();
    if (!mPolicy.cookies || !mPolicy.cookies->share())
        return;
    mJoinedJar = mPolicy.cookies;
    curl_easy_setopt(mEasy, CURLOPT_SHARE, mJoinedJar->share());
    // Reads no file: the empty name only turns the engine on for this handle.
    curl_easy_setopt(mEasy, CURLOPT_COOKIEFILE, "");
}

void Fetcher::leaveJar()
{
    if (!mJoinedJar)
        return;
    curl_easy_setopt(mEasy, CURLOPT_SHARE, nullptr);
    // Else the next fetch would start an engine of its own, and keep what servers set.
    curl_easy_setopt(mEasy, CURLOPT_COOKIEFILE, nullptr);
    mJoinedJar.reset();
}

void Fetcher::finish(Outcome outcome, const QString& reason)
{
    mRetryWait.stop();
    detach();
    leaveJar();
    mResult.writeErrno = outcome == Outcome::WriteError && mFile ? mFile->errorCode() : 0;
    if (outcome != Outcome::Written)
        discardFile();
    mRunning = false;
    mResult.outcome = outcome;
    mResult.reason = reason;
    emit finished(mResult);
}

namespace download {

void initCurl()
{
    // Before any thread uses libcurl; a function-local static is initialised once.
    static const bool done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    Q_UNUSED(done);
}

QUrl urlOf(const QString& address)
{
    const QUrl url(address, QUrl::TolerantMode);
    return isFetchable(url) ? url : QUrl();
}

QString printable(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = QChar::ReplacementCharacter;
    return text;
}

} // namespace download
