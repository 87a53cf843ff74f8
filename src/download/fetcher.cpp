#include "fetcher.h"

#include "htmlcheck.h"
#include "partfile.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <atomic>

namespace {

std::atomic<int> gInactivityTimeout{60000};
constexpr qint64 kReadBufferSize = 1024 * 1024;
constexpr int kMaxRedirects = 10;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

Fetcher::Fetcher(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent), mManager(manager)
{
    qRegisterMetaType<Fetcher::Result>();
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

void Fetcher::setInactivityTimeout(int milliseconds)
{
    gInactivityTimeout = milliseconds;
}

int Fetcher::inactivityTimeout()
{
    return gInactivityTimeout;
}

void Fetcher::start(const QUrl& url, const QString& path, bool testForHtml)
{
    Q_ASSERT(!isRunning());
    mPath = path;
    mTestForHtml = testForHtml;
    mRedirects = 0;
    mResult = {};
    issue(url);
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
    request.setTransferTimeout(gInactivityTimeout);
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
}

void Fetcher::abort()
{
    if (isRunning())
        finish(Outcome::Aborted, QStringLiteral("aborted"));
}

void Fetcher::onMetaData()
{
    const int status = mReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    mResult.status = status;
    mRedirecting = isRedirect(status) && mReply->hasRawHeader("Location");
    if (status >= 400)
        finish(Outcome::HttpError,
               mReply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString());
}

void Fetcher::onReadyRead()
{
    if (!mReply)
        return;
    if (mRedirecting) {
        mReply->readAll();
        return;
    }
    consume(mReply->readAll());
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
        finish(Outcome::HtmlPage);
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
    if (mReply->error() != QNetworkReply::NoError) {
        // Our own aborts never get here, so a cancel is the inactivity bound firing.
        const bool timedOut = mReply->error() == QNetworkReply::OperationCanceledError ||
                              mReply->error() == QNetworkReply::TimeoutError;
        finish(
            Outcome::NetworkError,
            timedOut
                ? QStringLiteral("No data received for %1 seconds").arg(gInactivityTimeout / 1000.0)
                : mReply->errorString());
        return;
    }
    const int status = mReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400) {
        finish(Outcome::HttpError);
        return;
    }
    if (mRedirecting) {
        const QUrl target = mUrl.resolved(QUrl::fromEncoded(mReply->rawHeader("Location")));
        if (++mRedirects > kMaxRedirects) {
            finish(Outcome::NetworkError, QStringLiteral("Too many redirects"));
            return;
        }
        if (mUrl.scheme() == u"https" && target.scheme() != u"https") {
            finish(Outcome::NetworkError,
                   QStringLiteral("Redirect from https to %1 refused").arg(target.scheme()));
            return;
        }
        if (target.scheme() != u"http" && target.scheme() != u"https") {
            finish(Outcome::NetworkError,
                   QStringLiteral("Redirect to unsupported address refused"));
            return;
        }
        QNetworkReply* old = mReply;
        mReply = nullptr;
        old->disconnect(this);
        old->deleteLater();
        issue(target);
        return;
    }
    if (!consume(mReply->readAll()))
        return;
    if (!mDecided && !decideAndOpen())
        return;
    // Qt can report a connection closed mid-body as a complete reply; bodies are never
    // unpacked here, so an announced length is that of the bytes read.
    const QVariant announced = mReply->header(QNetworkRequest::ContentLengthHeader);
    if (announced.isValid() && announced.toLongLong() != mResult.bytes) {
        finish(Outcome::NetworkError, QStringLiteral("The connection closed after %1 of %2 bytes")
                                          .arg(mResult.bytes)
                                          .arg(announced.toLongLong()));
        return;
    }
    if (!mFile->commit()) {
        finish(Outcome::WriteError, mFile->errorString());
        return;
    }
    mFile.reset();
    finish(Outcome::Written);
}

void Fetcher::finish(Outcome outcome, const QString& reason)
{
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
    mResult.outcome = outcome;
    mResult.reason = reason;
    emit finished(mResult);
}

namespace download {

QUrl urlOf(const QString& address)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != u"http" && url.scheme() != u"https"))
        return {};
    return url;
}

} // namespace download
