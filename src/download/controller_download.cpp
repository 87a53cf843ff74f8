#include "app/controller.h"
#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "download/htmlcheck.h"
#include "download/partfile.h"
#include "download/stepverdict.h"
#include "download/target.h"
#include "host/host.h"
#include "host/localized.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QTextCursor>
#include <cstdio>

void Controller::setupHTMLHeader()
{
    htmlHeader = html::header();
}

bool Controller::isHTMLFile(const QByteArray& data) const
{
    return html::isHTMLFile(data);
}

void Controller::setPolicy(const download::Policy& policy)
{
    mPolicy = policy;
    mFirstFetch->setPolicy(policy);
}

download::Policy Controller::runPolicy() const
{
    download::Policy policy = mPolicy;
    policy.missingInRow = mMissingInRow;
    policy.keepExisting = mKeepDownloaded;
    policy.listGoesOn = mListGoOn;
    policy.referrer = mSendReferer ? mRefererPage : QUrl();
    policy.cookies = mRunCookies;
    return policy;
}

void Controller::start_download()
{
    // A sheet up on the window (the list or the preferences) holds values a run would read,
    // or would start a run of its own: a run handed over by a later launch waits for Start.
    if (!allows(Command::Start))
        return;
    retireWorker();
    // That worker may have counted on after the field last heard from it; the run
    // starts from the number the element holds, so the field shows that one.
    showNumber(mElement.get().number);
    beginRun({}, [this] { downloadOneStep(); });
}

void Controller::retireWorker()
{
    // A stopped run's worker is told to end; it holds nothing worth waiting long for.
    mWorker.reset();
    takeWorkerNews();
}

void Controller::beginRun(const QString& firstLine, std::function<void()> then)
{
    mDrawer_Text->clear();
    if (mDrawer->state() == LogDrawer::Closed)
        mDrawer->open();
    mRun = mRunGate.begin();
    mRunActive = true;
    mRunFailed = false;
    mProgressBar->setRange(0, 0);
    mProgressBar->show();
    if (!firstLine.isEmpty())
        writeLogView(firstLine);
    writeLogView(localized("StartedDownload") + u'\n');
    mRunFolder.reset();
    mRunFolderRefusal.clear();
    // Opened once for the whole run: the files land in this folder, whatever becomes of its
    // name meanwhile.
    if (mCreateNewFolder) {
        if (createDownloadFolder())
            writeLogView(localized("CreateNewFolder") + u'\n');
    } else if (!currentDownloadFolder().isEmpty()) {
        mRunFolder = folder::RunFolder::open(currentDownloadFolder(), &mRunFolderRefusal);
    }
    // What an earlier Stepgrab left half written where files have no unnamed form.
    if (mRunFolder)
        PartFile::removeStale(*mRunFolder);
    controllButtonCondition();
    setEditableInfoString(false);
    resetCounter();
    showRunProgress(true);
    // Read afresh for each run; the run goes on without them when they cannot be had. A run
    // stopped while they are read, or followed by another, takes no more steps.
    const quint64 run = mRun;
    openCookieJar([this, run, then = std::move(then)](std::shared_ptr<download::CookieJar> jar,
                                                      const QString& problem) {
        if (run != mRun || !mRunActive)
            return;
        if (!problem.isEmpty())
            writeLogView(problem + u'\n');
        mRunCookies = std::move(jar);
        then();
    });
}

bool Controller::endRunWithoutFolder(const QString& name)
{
    if (mRunFolder || mRunFolderRefusal.isEmpty())
        return false;
    writeLogView(download::failureLine(name, mRunFolderRefusal));
    endRun(true);
    return true;
}

void Controller::downloadOneStep()
{
    const download::Target target =
        download::targetOf(address::fullAddress(mElement.get()), mRunFolder);
    mFirstFileName = target.name;
    if (endRunWithoutFolder(target.name))
        return;
    if (!target.refusal.isEmpty()) {
        // No folder to write into, or nothing that can be fetched: the run cannot begin.
        Fetcher::Result result;
        result.outcome = Fetcher::Outcome::WriteError;
        result.reason = target.refusal;
        URLHandle(result);
        return;
    }
    disconnect(mFirstFetch, nullptr, this, nullptr);
    mFirstFetch->setPolicy(runPolicy());
    const quint64 run = mRun;
    connect(mFirstFetch, &Fetcher::retrying, this,
            [this, run](const QString& reason, int retry, int delay) {
                if (run == mRun && mRunActive)
                    writeLogView(download::retryLine(mFirstFileName, reason, retry, delay));
            });
    connect(mFirstFetch, &Fetcher::resumed, this, [this, run](qint64 offset) {
        if (run == mRun && mRunActive)
            writeLogView(
                localizedFormat("ResumedDownload", mFirstFileName, QString::number(offset)) +
                u'\n');
    });
    connect(mFirstFetch, &Fetcher::progress, this, [this, run](qint64 bytes, qint64 total) {
        if (run == mRun && mRunActive)
            showFileProgress(mFirstFileName, bytes, total);
    });
    connect(mFirstFetch, &Fetcher::finished, this, [this, run](const Fetcher::Result& result) {
        if (run != mRun || !mRunActive || result.outcome == Fetcher::Outcome::Aborted)
            return;
        if (result.outcome == Fetcher::Outcome::Written ||
            result.outcome == Fetcher::Outcome::Unchanged)
            URLResourceDidFinishLoading(result);
        else
            URLHandle(result);
    });
    mFirstFetch->start(target, false);
}

void Controller::URLResourceDidFinishLoading(const Fetcher::Result& result)
{
    const bool kept = result.outcome == Fetcher::Outcome::Unchanged;
    writeLogView(localizedFormat(kept ? "AlreadyHere" : "DownloadComleted", mFirstFileName) +
                 u'\n');
    updateCounter();
    startWorker();
}

// The first file did not arrive, or was refused: the run ends with what the step means.
void Controller::URLHandle(const Fetcher::Result& result)
{
    const download::StepVerdict verdict =
        download::verdictOf(download::RunKind::Series, true, mFirstFileName, result);
    writeLogView(verdict.line);
    endRun(verdict.failed);
}

void Controller::startWorker()
{
    auto* worker = new DownloadWorker(&mRunGate, mRun, &mElement, mRunFolder, runPolicy());
    connect(worker, &DownloadWorker::numberChanged, this, &Controller::onWorkerNumber);
    connect(worker, &DownloadWorker::logLine, this, &Controller::onWorkerLog);
    connect(worker, &DownloadWorker::fileWritten, this, &Controller::onWorkerFile);
    connect(worker, &DownloadWorker::fileKept, this, &Controller::onWorkerKept);
    connect(worker, &DownloadWorker::fileProgress, this, &Controller::onWorkerProgress);
    connect(worker, &DownloadWorker::runFailed, this, &Controller::onWorkerFailed);
    connect(worker, &DownloadWorker::finished, this, &Controller::onWorkerFinished);
    mWorker = std::make_unique<WorkerThread>(worker);
}

// Signals of a worker whose run is over (stopped, or followed by a new run) are dropped,
// except news of its number: the field shows what the element holds, which after a stop
// may be a count the worker made or a number the user has typed since.
void Controller::onWorkerNumber(quint64 run, const QString&)
{
    if (run == mRun)
        showNumber(mElement.get().number);
}

void Controller::onWorkerLog(quint64 run, const QString& text)
{
    if (run == mRun && mRunActive)
        writeLogView(text);
}

// A file put in place while Stop was under way is still the run's: it is logged after the
// end of the run, counted, and the listing taken at the end is taken again to show it.
void Controller::onWorkerFile(quint64 run, const QString& name)
{
    if (run != mRun)
        return;
    writeLogView(localizedFormat("DownloadComleted", name) + u'\n');
    updateCounter();
    if (!mRunActive) {
        updateOutputDirectoryInfo();
        updateOpenDownloadMenu();
    }
}

// Found, and left as it was: nothing new in the folder, so a stopped run has nothing to add.
void Controller::onWorkerKept(quint64 run, const QString& name)
{
    if (run != mRun || !mRunActive)
        return;
    writeLogView(localizedFormat("AlreadyHere", name) + u'\n');
    updateCounter();
}

// The last queued news of a worker that has just been joined, taken in before anything
// else changes the run, so that a file it wrote is not lost from the log and the count.
void Controller::takeWorkerNews()
{
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void Controller::onWorkerProgress(quint64 run, const QString& name, qint64 bytes, qint64 total)
{
    if (run == mRun && mRunActive)
        showFileProgress(name, bytes, total);
}

void Controller::onWorkerFailed(quint64 run)
{
    if (run == mRun && mRunActive)
        mRunFailed = true;
}

void Controller::onWorkerFinished(quint64 run, bool failed)
{
    if (run == mRun && mRunActive)
        endRun(failed);
}

void Controller::endRun(bool failed)
{
    mRunFailed = mRunFailed || failed;
    stop_download();
}

void Controller::stop_download()
{
    // A run ends once, however many ways its end arrives.
    if (!mRunActive || !allows(Command::Stop))
        return;
    mRunActive = false;
    mRunGate.end();
    // A file still being put in place holds the folder through its own reference.
    mRunFolder.reset();
    if (mFirstFetch->isRunning())
        mFirstFetch->abort();
    // The worker lets go of its share of the cookies as it ends.
    mRunCookies.reset();
    mFirstFetch->setPolicy(mPolicy);
    if (mWorker)
        mWorker->abort();
    writeLogView(u'\n' + localized("FinishedDownload") + u'\n');
    mProgressBar->setRange(0, 1);
    mProgressBar->setValue(0);
    mProgressBar->hide();
    showRunProgress(false);
    controllButtonCondition();
    setEditableInfoString(true);
    updateOutputDirectoryInfo();
    updateOpenDownloadMenu();
    finishDownload();
    emit downloadFinished(mRunFailed);
}

void Controller::finishDownload()
{
    if (mNoticeSoundAlert && !mNoticeSound.isEmpty())
        mHost->playSound(mNoticeSound);
    if (mNoticeDockingAction)
        mHost->requestAttention(
            QStringLiteral("Stepgrab"),
            localized("FinishedDownload") + u' ' +
                localizedFormat("LabelCounter", QString::number(download_counter)));
    if (mOpenFolder)
        openOutputDirectory();
}

void Controller::showFileProgress(const QString& name, qint64 bytes, qint64 total)
{
    constexpr int kBarSteps = 1000;
    if (name != mFileRateName) {
        mFileRate.clear();
        mFileRateName = name;
    }
    mFileRate.add(mProgressClock.elapsed(), bytes, total);
    const double fraction = mFileRate.fraction();
    if (fraction < 0) {
        mProgressBar->setRange(0, 0);
    } else {
        mProgressBar->setRange(0, kBarSteps);
        mProgressBar->setValue(int(fraction * kBarSteps));
    }
    const QString text = download::progressText(name, mFileRate);
    mMainWindow->setProgressLine(text);
    // A quick file would only flash a line over the log.
    if (mLogMirror && mFileRate.elapsedMs() > 1000)
        mTerminalLine.draw(text, fraction);
    showRunProgress(true);
}

// Each file's progress ends with its line in the log (done, failed, retried), and the next
// file starts afresh.
void Controller::clearFileProgress()
{
    mFileRate.clear();
    mFileRateName.clear();
    mMainWindow->setProgressLine({});
    mTerminalLine.erase();
    if (mRunActive)
        mProgressBar->setRange(0, 0);
}

// The task bar is told a few times a second at most, always with the latest figures; the end
// of the run goes out at once.
void Controller::showRunProgress(bool visible)
{
    constexpr qint64 kTaskbarMs = 250;
    if (!visible) {
        mTaskbarTimer->stop();
        mTaskbarShown.invalidate();
        mHost->showRunProgress(-1, download_counter, false);
        return;
    }
    if (mTaskbarShown.isValid() && mTaskbarShown.elapsed() < kTaskbarMs) {
        if (!mTaskbarTimer->isActive())
            mTaskbarTimer->start(int(kTaskbarMs - mTaskbarShown.elapsed()));
        return;
    }
    mTaskbarTimer->stop();
    mTaskbarShown.start();
    mHost->showRunProgress(mFileRate.fraction(), download_counter, true);
}

void Controller::writeLogView(const QString& text)
{
    // The terminal's progress line goes before the log line is printed beside it.
    clearFileProgress();
    QScrollBar* bar = mDrawer_Text->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    QTextCursor cursor(mDrawer_Text->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);
    if (following)
        bar->setValue(bar->maximum());
    if (mLogMirror) {
        std::fputs(text.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
}
