#pragma once

#include "fetcher.h"
#include "policy.h"
#include "stepverdict.h"
#include "target.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class FileElementStore;
class QEventLoop;
class QThread;
class RunGate;

// The stepping part of a run, on its own thread, for as long as its run is the active one:
// of a count-up run, count up, fetch, test, write, log, pause; of a URL-list run, fetch,
// write, log and pause for each address of its own copy of the list. It never touches a
// widget; every effect leaves as a signal tagged with its run.
class DownloadWorker : public QObject
{
    Q_OBJECT

public:
    using Folder = std::shared_ptr<const folder::RunFolder>;
    DownloadWorker(RunGate* gate, quint64 run, FileElementStore* element, Folder folder,
                   const download::Policy& policy);
    DownloadWorker(RunGate* gate, quint64 run, const QStringList& addresses, Folder folder,
                   const download::Policy& policy);

    // The run's body: downloadEachStep or downloadTextStep, as the worker was made.
    void run();

public slots:
    void downloadEachStep();
    void downloadTextStep();
    // Queued from the main thread on Stop: ends the fetch or pause in progress.
    void abort();

signals:
    void numberChanged(quint64 run, const QString& number);
    void logLine(quint64 run, const QString& text);
    // A file is in the folder under that name; reported even when its run was
    // stopped while the file was being put in place, since it is there all the same.
    void fileWritten(quint64 run, const QString& name);
    // A file already in the folder is the server's as it is now, and was left as it was.
    void fileKept(quint64 run, const QString& name);
    // The file in transfer has `bytes` of `total` (-1 without a length); at most ten times a
    // second, as the fetcher reports it.
    void fileProgress(quint64 run, const QString& name, qint64 bytes, qint64 total);
    // A failure has ended the run, though the worker still pauses before it finishes: a
    // Stop in that pause must not make the run look stopped rather than failed.
    void runFailed(quint64 run);
    void finished(quint64 run, bool failed);

private:
    void runSteps(download::RunKind kind,
                  const std::function<std::optional<download::Target>()>& next);
    Fetcher::Result fetch(const download::Target& target, bool pageRule);
    void pause();

    RunGate* mGate;
    const quint64 mRun;
    FileElementStore* mElement = nullptr;
    const QStringList mAddresses;
    const Folder mFolder;
    const download::Policy mPolicy;
    Fetcher* mFetcher = nullptr;
    QString mCurrentName;
    QEventLoop* mLoop = nullptr;
    bool mAborted = false;
};

// Owns a worker and its thread; never lets the thread outlive it.
class WorkerThread
{
public:
    explicit WorkerThread(DownloadWorker* worker);
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    DownloadWorker* worker() const { return mWorker; }
    void abort();

private:
    QThread* mThread;
    DownloadWorker* mWorker;
};
