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
    connect(&fetcher, &Fetcher::progress, this, [this](qint64 bytes, qint64 total) {
        emit fileProgress(mRun, mCurrentName, bytes, total);
    });
    bool failed = false;
    download::SeriesGap gap;
    QString firstMissing; // the number of the first missing file of the gap in hand
    if (kind == download::RunKind::Series) {
        gap.allowance = mPolicy.missingInRow;
        // The worker takes over after the first file, which its run has written.
        gap.lastFound = download::targetOf(address::fullAddress(mElement->get()), mFolder).name;
    }
    qsizetype listFailures = 0;
    bool listDone = false;
    while (!mAborted && mGate->isActive(mRun)) {
        const std::optional<download::Target> target = next();
        if (!target) {
            listDone = true;
            break;
        }
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
        download::StepVerdict verdict = download::verdictOf(kind, false, target->name, result, gap);
        if (!verdict.line.isEmpty())
            emit logLine(mRun, verdict.line);
        if (kind == download::RunKind::Series) {
            if (verdict.missing && gap.missingBefore++ == 0)
                firstMissing = mElement->get().number;
            else if (!verdict.missing && verdict.goOn)
                gap = {gap.allowance, 0, target->name};
            // Past the holes the series ended where they began: a later Start or Continue
            // picks up at the first missing number, not after the last one looked at.
            if (verdict.missing && !verdict.goOn && gap.allowance > 0) {
                mElement->setNumber(firstMissing);
                emit numberChanged(mRun, firstMissing);
            }
        } else if (verdict.failed && mPolicy.listGoesOn && !download::isFolderFault(result)) {
            // A folder that refuses one file refuses the rest: going on would only log the
            // same failure once a second to the end of the list.
            ++listFailures;
            verdict.goOn = true;
        }
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
    // A list that went on past its failures says at its end how many there were; a Stop or a
    // later run has had its end written already.
    if (listDone && mPolicy.listGoesOn && kind == download::RunKind::List &&
        mGate->isActive(mRun)) {
        emit logLine(mRun, localizedFormat("ListFailures", QString::number(listFailures),
                                           QString::number(mAddresses.size())) +
                               u'\n');
        if (listFailures > 0) {
            failed = true;
            emit runFailed(mRun);
        }
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
