#include "app/controller.h"
#include "download/downloadworker.h"
#include "download/target.h"
#include "download/urllist.h"
#include "host/localized.h"

#include <QTextEdit>

void Controller::downloadText()
{
    clearAllHTMLURLArray();
    const QStringList addresses = urllist::splitList(mText_url->toPlainText());
    if (addresses.isEmpty()) {
        showAlertSheet(localized("FailureGrabText"));
        return;
    }
    mHTMLURLArray = addresses;
    start_downloadText();
}

void Controller::start_downloadText()
{
    // Its sheet has closed: a list starts where Start would, on a window that is free.
    if (!allows(Command::AddressList) || mHTMLURLArray.isEmpty())
        return;
    retireWorker();
    beginRun({}, [this] {
        if (!endRunWithoutFolder(download::targetOf(mHTMLURLArray.first(), mRunFolder).name))
            startListWorker();
    });
}

// The worker takes the list as it is now: a search or a new list while it runs cannot
// change what it fetches.
void Controller::startListWorker()
{
    download::Policy policy = runPolicy();
    policy.listGoesOn = policy.listGoesOn || mListGoOnForLaunch;
    // A list's addresses came from the searched page only when Download All made the list.
    policy.referrer = mSendReferer ? mListRefererPage : QUrl();
    auto* worker = new DownloadWorker(&mRunGate, mRun, mHTMLURLArray, mRunFolder, policy);
    connect(worker, &DownloadWorker::logLine, this, &Controller::onWorkerLog);
    connect(worker, &DownloadWorker::fileWritten, this, &Controller::onWorkerFile);
    connect(worker, &DownloadWorker::fileKept, this, &Controller::onWorkerKept);
    connect(worker, &DownloadWorker::fileProgress, this, &Controller::onWorkerProgress);
    connect(worker, &DownloadWorker::runFailed, this, &Controller::onWorkerFailed);
    connect(worker, &DownloadWorker::finished, this, &Controller::onWorkerFinished);
    mWorker = std::make_unique<WorkerThread>(worker);
}

bool Controller::startListForLaunch(const QString& text)
{
    mListRefererPage.clear();
    const QStringList addresses = urllist::splitList(text);
    if (addresses.isEmpty())
        return false;
    mHTMLURLArray = addresses;
    start_downloadText();
    return true;
}
