#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <memory>

class PartFile;
class QNetworkAccessManager;
class QNetworkReply;

// Fetches one address straight into a file. The body is streamed into an
// unnamed file beside the target and put in place only when the transfer is
// complete and accepted, so a failed, refused or abandoned fetch never leaves a file.
class Fetcher : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Written,      // the file is complete at its path
        HtmlPage,     // the body was an HTML page (only tested when asked to)
        HttpError,    // the server answered 400 or above
        NetworkError, // nothing usable came back: refused, cut, timed out, bad redirect
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

    explicit Fetcher(QNetworkAccessManager* manager, QObject* parent = nullptr);
    ~Fetcher() override;

    void start(const QUrl& url, const QString& path, bool testForHtml);
    void abort();
    bool isRunning() const { return !mReply.isNull(); }

    // Inactivity bound of a transfer; tests shorten it.
    static void setInactivityTimeout(int milliseconds);
    static int inactivityTimeout();

signals:
    void finished(const Fetcher::Result& result);

private:
    void issue(const QUrl& url);
    void onMetaData();
    void onReadyRead();
    void onFinished();
    bool consume(const QByteArray& data);
    bool decideAndOpen();
    void finish(Outcome outcome, const QString& reason = {});

    QNetworkAccessManager* mManager;
    QPointer<QNetworkReply> mReply;
    std::unique_ptr<PartFile> mFile;
    QUrl mUrl;
    QString mPath;
    QByteArray mSniff;
    Result mResult;
    bool mTestForHtml = false;
    bool mDecided = false;
    bool mRedirecting = false;
    int mRedirects = 0;
};

Q_DECLARE_METATYPE(Fetcher::Result)

namespace download {

// The URL of a full address, or an invalid URL when the text cannot be fetched
// (malformed, no host, or a scheme other than http and https).
QUrl urlOf(const QString& address);

} // namespace download
