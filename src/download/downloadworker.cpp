#include "downloadworker.h"

#include "address/fileelement.h"
#include "downloadfolder.h"
#include "host/localized.h"
#include "rungate.h"
#include "stepverdict.h"
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

DownloadWorker::DownloadWorker(RunGate* gate, quint64 run, FileElementStore* element, Folder folder,
                               const download::Policy& policy)
    : mGate(gate), mRun(run), mElement(element), mFolder(std::move(folder)), mPolicy(policy)
{
}

DownloadWorker::DownloadWorker(RunGate* gate, quint64 run, const QStringList& addresses,
                               Folder folder, const download::Policy& policy)
    : mGate(gate), mRun(run), mAddresses(addresses), mFolder(std::move(folder)), mPolicy(policy)
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
    runSteps(download::RunKind::Series, [this]() -> std::optional<download::Target> {
        const FileElement element = mElement->countUp();
        emit numberChanged(mRun, element.number);
        return download::targetOf(address::fullAddress(element), mFolder);
    });
}

// Every address in turn; a page with a success status is the file asked for, unless its name
// promises a binary file. The first failure ends the run, and says why.
void DownloadWorker::downloadTextStep()
{
    auto names = std::make_shared<urllist::NameBook>();
    const qsizetype nameLimit = mFolder ? download::nameLimitOf(*mFolder) : 255;
    qsizetype next = 0;
    runSteps(download::RunKind::List,
             [this, names, nameLimit, next]() mutable -> std::optional<download::Target> {
                 if (next >= mAddresses.size())
                     return std::nullopt;
                 download::Target target = download::targetOf(mAddresses.at(next++), mFolder);
                 if (!target.refusal.isEmpty())
                     return target;
                 const QString name = names->take(target.name, nameLimit);
                 if (name.isEmpty()) {
                     target.refusal = localized("ReasonNameTooLong");
                 } else if (name != target.name) {
                     emit logLine(mRun,
                                  localizedFormat("RenamedDownload", target.name, name) + u'\n');
                     target.name = name;
                     target.path = folder::filePathIn(mFolder->path(), name);
                 }
                 return target;
             });
}

// The one shape of every run: take the next address, fetch it, report it, judge it, pause.
void DownloadWorker::runSteps(download::RunKind kind,
                              const std::function<std::optional<download::Target>()>& next)
{
    Fetcher fetcher(mPolicy);
    mFetcher = &fetcher;
    connect(&fetcher, &Fetcher::resumed, this, [this](qint64 offset) {
        emit logLine(mRun,
                     localizedFormat("ResumedDownload", mCurrentName, QString::number(offset)) +
                         u'\n');
    });
    bool failed = false;
    while (!mAborted && mGate->isActive(mRun)) {
        const std::optional<download::Target> target = next();
        if (!target)
            break;
        mCurrentName = target->name;
        Fetcher::Result result;
        if (target->refusal.isEmpty()) {
            result = fetch(*target, kind == download::RunKind::Series);
        } else {
            result.outcome = Fetcher::Outcome::WriteError;
            result.reason = target->refusal;
        }
        if (result.outcome == Fetcher::Outcome::Written)
            emit fileWritten(mRun, target->name);
        if (result.outcome == Fetcher::Outcome::Unchanged)
            emit fileKept(mRun, target->name);
        // A stopped run says nothing more: its end was already written.
        if (mAborted || !mGate->isActive(mRun))
            break;
        const download::StepVerdict verdict =
            download::verdictOf(kind, false, target->name, result);
        if (!verdict.line.isEmpty())
            emit logLine(mRun, verdict.line);
        if (!verdict.goOn) {
            failed = verdict.failed;
            mGate->endIf(mRun);
            if (failed)
                emit runFailed(mRun);
        }
        // The pause spares a server the load of a transfer; a file it did not send took none.
        if (result.outcome != Fetcher::Outcome::Unchanged)
            pause();
    }
    mFetcher = nullptr;
    emit finished(mRun, failed);
}

Fetcher::Result DownloadWorker::fetch(const download::Target& target, bool pageRule)
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
    mFetcher->start(target, pageRule);
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
