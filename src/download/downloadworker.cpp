#include "downloadworker.h"

#include "address/fileelement.h"
#include "downloadfolder.h"
#include "host/localized.h"
#include "rungate.h"
#include "target.h"
#include "urllist.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <atomic>

namespace {
constexpr int kFinalStretch = 20; // milliseconds
} // namespace

DownloadWorker::DownloadWorker(RunGate* gate, quint64 run, FileElementStore* element,
                               const QString& folder, const download::Policy& policy)
    : mGate(gate), mRun(run), mElement(element), mFolder(folder), mPolicy(policy)
{
}

DownloadWorker::DownloadWorker(RunGate* gate, quint64 run, const QStringList& addresses,
                               const QString& folder, const download::Policy& policy)
    : mGate(gate), mRun(run), mAddresses(addresses), mFolder(folder), mPolicy(policy)
{
}

void DownloadWorker::run()
{
    if (mElement)
        downloadEachStep();
    else
        downloadTextStep();
}

void DownloadWorker::downloadEachStep()
{
    Fetcher fetcher(mPolicy);
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
            result = fetch(target, true);
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
            if (failed)
                emit runFailed(mRun);
        }
        pause();
    }
    mFetcher = nullptr;
    emit finished(mRun, failed);
}

// Every address in turn; a page with a success status is the file asked for. The first
// failure ends the run, and says why.
void DownloadWorker::downloadTextStep()
{
    Fetcher fetcher(mPolicy);
    mFetcher = &fetcher;
    urllist::NameBook names;
    const qsizetype nameLimit = download::nameLimitOf(mFolder);
    bool failed = false;
    for (qsizetype i = 0; i < mAddresses.size() && !mAborted && mGate->isActive(mRun); ++i) {
        download::Target target = download::targetOf(mAddresses.at(i), mFolder);
        Fetcher::Result result;
        result.outcome = Fetcher::Outcome::WriteError;
        result.reason = target.refusal;
        if (target.refusal.isEmpty()) {
            const QString name = names.take(target.name, nameLimit);
            if (name.isEmpty()) {
                result.reason = localized("ReasonNameTooLong");
            } else {
                if (name != target.name) {
                    emit logLine(mRun,
                                 localizedFormat("RenamedDownload", target.name, name) + u'\n');
                    target.name = name;
                    target.path = folder::filePathIn(mFolder, name);
                }
                result = fetch(target, false);
            }
        }
        if (result.outcome == Fetcher::Outcome::Written)
            emit fileWritten(mRun, target.name);
        if (mAborted || !mGate->isActive(mRun))
            break;
        if (result.outcome != Fetcher::Outcome::Written) {
            emit logLine(mRun, download::failureLine(target.name, result.reason));
            failed = true;
            mGate->endIf(mRun);
            emit runFailed(mRun);
        }
        pause();
    }
    mFetcher = nullptr;
    emit finished(mRun, failed);
}

Fetcher::Result DownloadWorker::fetch(const download::Target& target, bool testForHtml)
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
    mFetcher->start(target.url, target.path, testForHtml);
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
    const QDeadlineTimer deadline(mPolicy.pauseMs, Qt::PreciseTimer);
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
    timer.start(int(qMax<qint64>(0, mPolicy.pauseMs - kFinalStretch)));
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
    QObject::connect(mThread, &QThread::started, mWorker, &DownloadWorker::run);
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
