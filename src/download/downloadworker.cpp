#include "downloadworker.h"

#include "address/fileelement.h"
#include "host/localized.h"
#include "rungate.h"
#include "target.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QThread>
#include <QTimer>
#include <atomic>

namespace {
std::atomic<int> gPause{1000};
constexpr int kFinalStretch = 20; // milliseconds
} // namespace

DownloadWorker::DownloadWorker(RunGate* gate, quint64 run, FileElementStore* element,
                               const QString& folder)
    : mGate(gate), mRun(run), mElement(element), mFolder(folder)
{
}

void DownloadWorker::setPause(int milliseconds)
{
    gPause = milliseconds;
}

void DownloadWorker::downloadEachStep()
{
    QNetworkAccessManager manager;
    Fetcher fetcher(&manager);
    mFetcher = &fetcher;
    bool failed = false;
    while (!mAborted && mGate->isActive(mRun)) {
        const FileElement element = mElement->countUp();
        emit numberChanged(mRun, element.number);
        const download::Target target = download::targetOf(address::fullAddress(element), mFolder);
        const QString& name = target.name;

        Fetcher::Result result;
        if (!target.refusal.isEmpty()) {
            result.outcome = Fetcher::Outcome::WriteError;
            result.reason = target.refusal;
        } else {
            result = fetch(target);
        }
        if (result.outcome == Fetcher::Outcome::Written)
            emit fileWritten(mRun, name);
        // A stopped run says nothing more: its end was already written.
        if (mAborted || !mGate->isActive(mRun))
            break;

        switch (result.outcome) {
        case Fetcher::Outcome::Written:
            break;
        case Fetcher::Outcome::HtmlPage:
        case Fetcher::Outcome::HttpError:
            emit logLine(mRun, localizedFormat("CantFound", name) + u'\n');
            break;
        default:
            emit logLine(mRun, download::failureLine(name, result.reason));
            break;
        }
        if (result.outcome != Fetcher::Outcome::Written) {
            failed = result.outcome != Fetcher::Outcome::HtmlPage &&
                     result.outcome != Fetcher::Outcome::HttpError;
            mGate->endIf(mRun);
        }
        pause();
    }
    mFetcher = nullptr;
    emit finished(mRun, failed);
}

Fetcher::Result DownloadWorker::fetch(const download::Target& target)
{
    Fetcher::Result result;
    QEventLoop loop;
    connect(mFetcher, &Fetcher::finished, &loop, [&](const Fetcher::Result& r) {
        result = r;
        loop.quit();
    });
    connect(mFetcher, &Fetcher::retrying, &loop, [&](const QString& reason, int retry, int delay) {
        emit logLine(mRun, download::retryLine(target.name, reason, retry, delay));
    });
    mFetcher->start(target.url, target.path, true);
    mLoop = &loop;
    if (mFetcher->isRunning())
        loop.exec();
    mLoop = nullptr;
    // The thread's own end (QThread::quit) also ends this wait, perhaps before the queued
    // abort arrives: a fetch still running then is abandoned, not reported.
    if (mFetcher->isRunning()) {
        mAborted = true;
        mFetcher->abort();
    }
    disconnect(mFetcher, nullptr, &loop, nullptr);
    return result;
}

void DownloadWorker::pause()
{
    if (mAborted)
        return;
    // The kernel lets a long wait run late by a thousandth of its length, a millisecond
    // a file here; so wait most of the pause, then the rest against the deadline.
    const QDeadlineTimer deadline(gPause.load(), Qt::PreciseTimer);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, [&] {
        const qint64 left = deadline.remainingTime();
        if (left > 0)
            timer.start(int(left));
        else
            loop.quit();
    });
    timer.start(int(qMax<qint64>(0, gPause.load() - kFinalStretch)));
    mLoop = &loop;
    loop.exec();
    mLoop = nullptr;
}

void DownloadWorker::abort()
{
    mAborted = true;
    if (mFetcher && mFetcher->isRunning())
        mFetcher->abort();
    if (mLoop)
        mLoop->quit();
}

WorkerThread::WorkerThread(DownloadWorker* worker) : mThread(new QThread), mWorker(worker)
{
    mWorker->moveToThread(mThread);
    QObject::connect(mThread, &QThread::started, mWorker, &DownloadWorker::downloadEachStep);
    mThread->start();
}

WorkerThread::~WorkerThread()
{
    abort();
    mThread->quit();
    mThread->wait();
    delete mWorker;
    delete mThread;
}

void WorkerThread::abort()
{
    QMetaObject::invokeMethod(mWorker, &DownloadWorker::abort, Qt::QueuedConnection);
}
