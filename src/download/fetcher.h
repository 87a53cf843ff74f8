#pragma once

#include "policy.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <QUrl>
#include <map>
#include <memory>

class PartFile;
class QSocketNotifier;
namespace download {
struct Target;
}
namespace folder {
class RunFolder;
}
namespace http {
class ResponseHead;
}

// Fetches one address straight into a file, on libcurl driven by the event loop of the thread
// that owns the fetcher. The body is streamed into an unnamed file beside the target and put in
// place only when the transfer says it is complete (the announced length reached, the last chunk
// read, or a clean close where no length was given) and the body is accepted, so a failed,
// refused or abandoned fetch never leaves a file. A transient failure (a busy or failing server,
// a refused, cut or reset connection) is retried after a wait; a cut one continues where it
// stopped when the server serves ranges of an unchanged file. A failure's Result says why in the
// user's words.
class Fetcher : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Written,      // the file is complete at its path
        Unchanged,    // the file kept at its path is the server's as it is now (a 304 to a
                      // conditional request), and was left as it was
        HtmlPage,     // the body was a page where a file was expected
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
        int status = 0;      // of the last response; 0 when no server answered
        qint64 bytes = 0;    // in the file (of a kept one: its size)
        qint64 received = 0; // body bytes received over all tries
        int retries = 0;
        QByteArray contentType; // of the accepted body
        int writeErrno = 0;     // of a WriteError the file system gave
    };

    // What kind of body is wanted.
    struct Options
    {
        // Refuse a page where a file was expected (every file after a series' first). Text where
        // the name's own extension promises a binary file is refused in any case.
        bool pageRule = false;
        // A page to read rather than a file to keep: no page check, file: addresses allowed,
        // no retries, at most maxBytes, the whole fetch within totalMs.
        bool page = false;
        qint64 maxBytes = -1;
        int totalMs = 0;
    };

    explicit Fetcher(const download::Policy& policy = {}, QObject* parent = nullptr);
    ~Fetcher() override;

    // A file of a run: written by name into the target's open folder.
    void start(const download::Target& target, bool pageRule);
    void start(const QUrl& url, const QString& path, bool pageRule);
    void start(const QUrl& url, const QString& path, const Options& options);
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
    // The try now under way continues the file at `offset` bytes.
    void resumed(qint64 offset);
    // The file's bytes so far and in all (-1 when no length was given), at most ten times a
    // second while a body arrives.
    void progress(qint64 bytes, qint64 total);

private:
    friend struct CurlGlue;
    struct Watch;
    // What a callback decided while libcurl was still transferring.
    enum class Stop { None, Fail, Retry, Restart, Follow };

    void begin(const QUrl& url, const QString& path, const QString& name,
               std::shared_ptr<const folder::RunFolder> folder, const Options& options);
    void askIfChanged();
    bool notModified();
    void watch(int fd, int what);
    void drive(int fd, int events);
    void takeDone();
    bool canResume() const;
    void attempt();
    void send(const QUrl& url);
    bool headLine(const char* data, qsizetype size);
    void reportProgress(qint64 now);
    bool headDone();
    bool body(const char* data, qsizetype size);
    bool decide();
    bool keep(const char* data, qsizetype size);
    void transferDone(int code);
    void followRedirect();
    void checkActivity();
    void stopWith(Stop stop, Outcome outcome, const QString& reason, int retryAfterMs = -1);
    void retryOrFail(const QString& reason, int retryAfterMs = -1);
    void restartFromZero();
    void finish(Outcome outcome, const QString& reason = {});
    void detach();
    void discardFile();
    void joinJar();
    void leaveJar();

    download::Policy mPolicy;
    // The jar the easy handle is joined to, held until it has left.
    std::shared_ptr<download::CookieJar> mJoinedJar;
    Options mOptions;
    void* mMulti = nullptr;
    void* mEasy = nullptr;
    void* mHeaders = nullptr;
    std::map<int, std::unique_ptr<Watch>> mWatches;
    QTimer mCurlTimer;
    QTimer mRetryWait;
    QTimer mActivity;
    QElapsedTimer mSinceByte;
    QElapsedTimer mSinceStart;
    QElapsedTimer mSinceProgress;
    std::unique_ptr<http::ResponseHead> mHead;
    std::unique_ptr<PartFile> mFile;
    QByteArray mSniff;
    QByteArray mError;
    QUrl mUrl;
    QUrl mHopUrl;   // of the request under way: mUrl, or where a redirect led
    QUrl mRedirect; // where the answer under way sends the next request
    int mRedirects = 0;
    QString mPath;
    QString mName;
    std::shared_ptr<const folder::RunFolder> mFolder;
    Result mResult;
    bool mRunning = false;
    bool mAttached = false;
    bool mDecided = false;
    bool mExcess = false;
    Stop mStop = Stop::None;
    Outcome mStopOutcome = Outcome::NetworkError;
    QString mStopReason;
    int mStopRetryAfterMs = -1;
    qint64 mSkipped = 0; // body bytes of the current answer passed over unread
    // Resuming: where the current try asked to start, and what the file must still be.
    qint64 mRangeFrom = -1;
    qint64 mTotal = -1;
    QByteArray mValidator;
    qint64 mWritten = 0;
    bool mResumable = false;
    bool mNoResume = false;
    // A file kept under the name is asked for only if it changed: the conditions sent with
    // every try that starts from the first byte, empty when the request is not conditional.
    QByteArray mIfModifiedSince;
    QByteArray mIfNoneMatch;
    qint64 mKeptSize = 0;
    // What the written file keeps for the next such question.
    QByteArray mEntityTag;
    QDateTime mLastModified;
};

Q_DECLARE_METATYPE(Fetcher::Result)

namespace download {

// Once per process, before any thread uses libcurl.
void initCurl();

// The URL of a full address, or an invalid URL when the text cannot be fetched
// (malformed, no host, or a scheme other than http and https).
QUrl urlOf(const QString& address);

// The text with every control character shown as U+FFFD, so that nothing a server sent can
// end a log line or forge one.
QString printable(QString text);

} // namespace download
