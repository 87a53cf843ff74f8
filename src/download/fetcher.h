#pragma once

#include "policy.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <memory>

class PartFile;
class QNetworkAccessManager;
class QNetworkReply;

// Fetches one address straight into a file. The body is streamed into an
// unnamed file beside the target and put in place only when the transfer is
// complete and accepted, so a failed, refused or abandoned fetch never leaves a file.
// A transient failure (a busy or failing server, a refused or reset connection) is
// retried on the same address after a wait; a failure's Result says why in the
// user's words.
class Fetcher : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Written,      // the file is complete at its path
        HtmlPage,     // the body was an HTML page (only tested when asked to)
        HttpError,    // the file is missing: 4xx other than 401, 407, 408 and 429
        NetworkError, // nothing usable came back: refused, cut, timed out, bad redirect,
                      // no data, a server error, authentication asked for
        WriteError,   // the file could not be written
        Aborted,      // abort() was called
    };
    Q_ENUM(Outcome)

    struct Result
    {
        Outcome outcome = Outcome::Aborted;
        QString reason;
        int status = 0;
        qint64 bytes = 0;
    };

    explicit Fetcher(const download::Policy& policy = {}, QObject* parent = nullptr);
    ~Fetcher() override;

    void start(const QUrl& url, const QString& path, bool testForHtml);
    void abort();
    // True from start() until finished(), the waits between tries included.
    bool isRunning() const { return mRunning; }

    // Takes effect from the next start().
    void setPolicy(const download::Policy& policy) { mPolicy = policy; }
    const download::Policy& policy() const { return mPolicy; }

signals:
    void finished(const Fetcher::Result& result);
    // A try failed with `reason`; the next one starts after delayMs. retry counts from 1.
    void retrying(const QString& reason, int retry, int delayMs);

private:
    struct Sample
    {
        qint64 at;
        qint64 received;
    };

    void attempt();
    void issue(const QUrl& url);
    void dropTransfer();
    void checkRate();
    void failStatus(int status);
    void retryOrFail(const QString& reason, int retryAfterMs = -1);
    void followRedirect();
    void onMetaData();
    void onReadyRead();
    void onFinished();
    bool consume(const QByteArray& data);
    bool decideAndOpen();
    void finish(Outcome outcome, const QString& reason = {});

    download::Policy mPolicy;
    QNetworkAccessManager* mManager;
    QPointer<QNetworkReply> mReply;
    std::unique_ptr<PartFile> mFile;
    QTimer mRetryWait;
    QTimer mRateCheck;
    QElapsedTimer mClock;
    QList<Sample> mSamples;
    qint64 mReceived = 0;
    QUrl mStartUrl;
    QUrl mUrl;
    QString mPath;
    QByteArray mSniff;
    Result mResult;
    bool mTestForHtml = false;
    bool mDecided = false;
    bool mRedirecting = false;
    int mRedirects = 0;
    int mRetries = 0;
    bool mRunning = false;
};

Q_DECLARE_METATYPE(Fetcher::Result)

namespace download {

// The URL of a full address, or an invalid URL when the text cannot be fetched
// (malformed, no host, or a scheme other than http and https).
QUrl urlOf(const QString& address);

} // namespace download
