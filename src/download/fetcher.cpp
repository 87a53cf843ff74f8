#include "fetcher.h"

#include "host/localized.h"
#include "htmlcheck.h"
#include "partfile.h"
#include "retryafter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <atomic>
#include <mutex>

namespace {

constexpr qint64 kReadBufferSize = 1024 * 1024;
constexpr int kMaxRedirects = 10;

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

// What this engine fetches from: http and https addresses that name a host.
bool isFetchable(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == u"http" || url.scheme() == u"https");
}

QString statusReason(int status)
{
    if (status == 408)
        return localized("ReasonRequestTimeout");
    if (status == 429)
        return localized("ReasonTooManyRequests");
    return localizedFormat("ReasonServerError", QString::number(status));
}

} // namespace

Fetcher::Fetcher(const download::Policy& policy, QObject* parent)
    : QObject(parent), mPolicy(policy), mManager(new QNetworkAccessManager(this)), mRetryWait(this),
      mRateCheck(this)
{
    qRegisterMetaType<Fetcher::Result>();
    mRetryWait.setSingleShot(true);
    // A coarse timer may end early, and a server that asked for a wait may refuse us then.
    mRetryWait.setTimerType(Qt::PreciseTimer);
    connect(&mRetryWait, &QTimer::timeout, this, &Fetcher::attempt);
    connect(&mRateCheck, &QTimer::timeout, this, &Fetcher::checkRate);
}

Fetcher::~Fetcher()
{
    if (mReply) {
        mReply->disconnect(this);
        mReply->abort();
        mReply->deleteLater();
    }
    if (mFile)
        mFile->discard();
}

void Fetcher::start(const QUrl& url, const QString& path, bool testForHtml)
{
    Q_ASSERT(!isRunning());
    mRunning = true;
    mStartUrl = url;
    mPath = path;
    mTestForHtml = testForHtml;
    mRetries = 0;
    attempt();
}

void Fetcher::attempt()
{
    mRedirects = 0;
    mResult = {};
    issue(mStartUrl);
}

void Fetcher::issue(const QUrl& url)
{
    mUrl = url;
    mSniff.clear();
    mDecided = false;
    mRedirecting = false;
    mFile.reset();

    QNetworkRequest request(url);
    // Redirects are followed by hand: an automatic one loses the read-buffer bound.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(mPolicy.inactivityMs);
    // The file as the server holds it: Qt would otherwise unpack a .gz that a server
    // labels as gzip-encoded and store the contents under the archive's name.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Stepgrab/%1").arg(QCoreApplication::applicationVersion()));
    QNetworkReply* reply = mManager->get(request);
    reply->setReadBufferSize(kReadBufferSize);
    mReply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &Fetcher::onMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &Fetcher::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &Fetcher::onFinished);

    // The inactivity bound alone lets a server that sends a byte now and then hold a run
    // for hours.
    mClock.start();
    mReceived = 0;
    mSamples = {{0, 0}};
    mRateCheck.start(qMax(mPolicy.speedWindowMs / 8, 10));
}

// Stops the current transfer and throws away what it wrote.
void Fetcher::dropTransfer()
{
    mRateCheck.stop();
    if (QNetworkReply* reply = mReply.data()) {
        mReply = nullptr;
        reply->disconnect(this);
        // Deleting an unfinished reply cancels it quietly; abort() would make Qt report a
        // second error on it when the server's error status is still on its way.
        reply->deleteLater();
    }
    if (mFile) {
        mFile->discard();
        mFile.reset();
    }
}

void Fetcher::abort()
{
    if (isRunning())
        finish(Outcome::Aborted, localized("ReasonStopped"));
}

void Fetcher::checkRate()
{
    const int window = mPolicy.speedWindowMs;
    const qint64 now = mClock.elapsed();
    mSamples.append({now, mReceived});
    while (mSamples.size() > 1 && now - mSamples.at(1).at >= window)
        mSamples.removeFirst();
    const Sample& from = mSamples.first();
    const qint64 span = now - from.at;
    if (span >= window &&
        (mReceived - from.received) * 1000 < qint64(mPolicy.minBytesPerSecond) * span)
        finish(Outcome::NetworkError,
               localizedFormat("ReasonTooSlow", QString::number(mPolicy.minBytesPerSecond / 1024.0),
                               seconds(window)));
}

void Fetcher::onMetaData()
{
    const int status = mReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    mResult.status = status;
    // The body of a redirect is not the file, whether or not it leads anywhere.
    mRedirecting = status >= 300 && status < 400;
    if (status >= 400)
        failStatus(status);
}

void Fetcher::failStatus(int status)
{
    if (status == 401 || status == 407)
        finish(Outcome::NetworkError, localized("ReasonAuthentication"));
    else if (isTransient(status))
        retryOrFail(statusReason(status), download::retryAfterMs(mReply->rawHeader("Retry-After"),
                                                                 QDateTime::currentDateTimeUtc()));
    else if (status < 500)
        finish(Outcome::HttpError, localizedFormat("ReasonMissing", QString::number(status)));
    else
        finish(Outcome::NetworkError, statusReason(status));
}

void Fetcher::retryOrFail(const QString& reason, int retryAfterMs)
{
    const QList<int>& delays = mPolicy.retryDelaysMs;
    if (mRetries >= delays.size()) {
        finish(Outcome::NetworkError, mRetries == 0 ? reason
                                                    : localizedFormat("ReasonAfterRetries", reason,
                                                                      QString::number(mRetries)));
        return;
    }
    dropTransfer();
    const int delay = retryAfterMs >= 0 ? retryAfterMs : delays.at(mRetries);
    ++mRetries;
    // Started first, so that a receiver's abort() ends the wait.
    mRetryWait.start(delay);
    emit retrying(reason, mRetries, delay);
}

void Fetcher::onReadyRead()
{
    if (!mReply)
        return;
    const QByteArray data = mReply->readAll();
    mReceived += data.size();
    if (!mRedirecting)
        consume(data);
}

bool Fetcher::consume(const QByteArray& data)
{
    if (data.isEmpty())
        return true;
    if (!mDecided) {
        mSniff.append(data);
        if (mSniff.size() < html::kSniffLength)
            return true;
        return decideAndOpen();
    }
    if (!mFile->write(data)) {
        finish(Outcome::WriteError, mFile->errorString());
        return false;
    }
    mResult.bytes += data.size();
    return true;
}

// Called once enough of the body is known (or all of it): refuse a page, or
// open the file and write what was held back.
bool Fetcher::decideAndOpen()
{
    mDecided = true;
    // Only the first bytes count, so the verdict does not depend on how the body was chunked.
    if (mTestForHtml && html::isHTMLFile(mSniff.first(qMin(mSniff.size(), html::kSniffLength)))) {
        finish(Outcome::HtmlPage, localized("ReasonHtmlPage"));
        return false;
    }
    mFile = std::make_unique<PartFile>(mPath);
    if (!mFile->open()) {
        finish(Outcome::WriteError, mFile->errorString());
        return false;
    }
    return consume(std::exchange(mSniff, {}));
}

void Fetcher::onFinished()
{
    if (!mReply)
        return;
    const int status = mReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        failStatus(status);
        return;
    }
    switch (mReply->error()) {
    case QNetworkReply::NoError:
        break;
    // Our own aborts never get here, so a cancel is the inactivity bound firing.
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TimeoutError:
        finish(Outcome::NetworkError,
               localizedFormat("ReasonNoDataFor", seconds(mPolicy.inactivityMs)));
        return;
    case QNetworkReply::ConnectionRefusedError:
        retryOrFail(localized("ReasonConnectionRefused"));
        return;
    // Qt's name for a reset as well as for a close before the announced end of the body.
    case QNetworkReply::RemoteHostClosedError:
        retryOrFail(localized("ReasonConnectionReset"));
        return;
    case QNetworkReply::HostNotFoundError:
        finish(Outcome::NetworkError, localizedFormat("ReasonHostNotFound", mUrl.host()));
        return;
    default:
        finish(Outcome::NetworkError, localizedFormat("ReasonNetwork", mReply->errorString()));
        return;
    }
    if (mRedirecting) {
        followRedirect();
        return;
    }
    const QByteArray rest = mReply->readAll();
    mReceived += rest.size();
    if (!consume(rest))
        return;
    if (!mDecided) {
        // An empty answer is no file, whatever its status says.
        if (mSniff.isEmpty()) {
            finish(Outcome::NetworkError, localized("ReasonNoData"));
            return;
        }
        if (!decideAndOpen())
            return;
    }
    // Qt can report a connection closed mid-body as a complete reply; bodies are never
    // unpacked here, so an announced length is that of the bytes read.
    const QVariant announced = mReply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != mResult.bytes) {
        retryOrFail(localized("ReasonConnectionReset"));
        return;
    }
    if (!mFile->commit()) {
        finish(Outcome::WriteError, mFile->errorString());
        return;
    }
    mFile.reset();
    finish(Outcome::Written);
}

void Fetcher::followRedirect()
{
    const QByteArray location = mReply->rawHeader("Location").trimmed();
    const QUrl relative = QUrl::fromEncoded(location, QUrl::StrictMode);
    const QUrl target = mUrl.resolved(relative);
    if (location.isEmpty() || !relative.isValid() || !target.isValid()) {
        finish(Outcome::NetworkError, localized("ReasonRedirectNoTarget"));
        return;
    }
    if (++mRedirects > kMaxRedirects) {
        finish(Outcome::NetworkError, localized("ReasonTooManyRedirects"));
        return;
    }
    if (!isFetchable(target) || (mUrl.scheme() == u"https" && target.scheme() != u"https")) {
        finish(Outcome::NetworkError,
               localizedFormat("ReasonRedirectRefused", target.toDisplayString()));
        return;
    }
    dropTransfer();
    issue(target);
}

void Fetcher::finish(Outcome outcome, const QString& reason)
{
    mRetryWait.stop();
    dropTransfer();
    mRunning = false;
    mResult.outcome = outcome;
    mResult.reason = reason;
    emit finished(mResult);
}

namespace download {

QUrl urlOf(const QString& address)
{
    const QUrl url(address, QUrl::TolerantMode);
    return isFetchable(url) ? url : QUrl();
}

} // namespace download
