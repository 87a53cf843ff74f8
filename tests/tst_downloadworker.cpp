#include "address/fileelement.h"
#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "download/rungate.h"
#include "fixtureserver.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <memory>
#include <unistd.h>

using End = FixtureServer::End;

namespace {

constexpr qint64 kFileSize = 20000;

QStringList listing(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString number(int n)
{
    return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
}

QString picName(int n)
{
    return "pic" + number(n) + ".jpg";
}

// The files first..last, or their addresses on the server with dir "/dir/".
QStringList names(int first, int last, const QString& dir = {})
{
    QStringList out;
    for (int n = first; n <= last; ++n)
        out << dir + picName(n);
    return out;
}

// What a worker reports for files first..last written one after another.
QStringList writtenEvents(int first, int last)
{
    QStringList events;
    for (int n = first; n <= last; ++n)
        events << "number " + number(n) << "log DownloadComleted " + picName(n) + "\n"
               << "written";
    return events;
}

void serveSeries(FixtureServer& server, End end = End::HtmlPage)
{
    server.addSeries("dir", "pic", 13, 20, 3, "jpg", end, kFileSize);
}

// Collects a worker's signals on this thread, in the order they were issued, as the
// controller receives them.
class Recorder : public QObject
{
public:
    void watch(DownloadWorker* worker)
    {
        connect(worker, &DownloadWorker::numberChanged, this,
                [this](quint64 run, const QString& n) { note(run, "number " + n); });
        connect(worker, &DownloadWorker::logLine, this,
                [this](quint64 run, const QString& text) { note(run, "log " + text); });
        connect(worker, &DownloadWorker::fileWritten, this,
                [this](quint64 run) { note(run, "written"); });
        connect(worker, &DownloadWorker::finished, this, [this](quint64 run, bool failed) {
            note(run, failed ? "finished, failed" : "finished");
            done = true;
        });
        clock.start();
    }
    int count(const QString& event) const { return int(events.count(event)); }

    QStringList events;
    QList<qint64> writtenAt;
    QSet<quint64> runs;
    bool done = false;
    QElapsedTimer clock;

private:
    void note(quint64 run, const QString& event)
    {
        runs << run;
        events << event;
        if (event == u"written")
            writtenAt << clock.elapsed();
    }
};

// One run of a worker over /dir/picNNN.jpg, counting up from pic012.jpg.
struct Run
{
    std::atomic<bool> mode{false};
    RunGate gate{mode};
    FileElementStore element;
    quint64 run = 0;
    Recorder recorder;
    DownloadWorker* worker = nullptr;
    std::unique_ptr<WorkerThread> thread;

    void start(const FixtureServer& server, const QString& folder)
    {
        element.set({server.baseUrl() + "/dir", "pic", "012", "jpg"});
        run = gate.begin();
        worker = new DownloadWorker(&gate, run, &element, folder);
        recorder.watch(worker);
        thread = std::make_unique<WorkerThread>(worker);
    }
    void stop()
    {
        gate.end();
        thread->abort();
    }
};

} // namespace

class TestDownloadWorker : public QObject
{
    Q_OBJECT

private slots:
    // First: it needs the pause that no test has shortened yet.
    void defaultPauseSpacesFiles();
    void init();
    void cleanup();
    void endOfSeries_data();
    void endOfSeries();
    void failure_data();
    void failure();
    void stopDuringFetch_data();
    void stopDuringFetch();
    void stopDuringPause();
    void newRunEndsOldWorker();
    void destroyedMidFetch();

private:
    int mSavedTimeout = 0;
};

void TestDownloadWorker::init()
{
    if (qstrcmp(QTest::currentTestFunction(), "defaultPauseSpacesFiles") != 0)
        DownloadWorker::setPause(50);
    mSavedTimeout = Fetcher::inactivityTimeout();
    // Qt's own complaints about how a reply was handled count as failures.
    QTest::failOnWarning(QRegularExpression(".*"));
}

void TestDownloadWorker::cleanup()
{
    Fetcher::setInactivityTimeout(mSavedTimeout);
}

void TestDownloadWorker::defaultPauseSpacesFiles()
{
    FixtureServer server;
    serveSeries(server);
    QTemporaryDir dir;
    Run run;
    run.start(server, dir.path());

    QTRY_COMPARE_WITH_TIMEOUT(run.recorder.count("written"), 3, 10000);
    run.stop();
    QTRY_VERIFY(run.recorder.done);
    // Two pauses lie between the first and the third file.
    const qint64 spread = run.recorder.writtenAt[2] - run.recorder.writtenAt[0];
    QVERIFY2(spread >= 1900 && spread < 5000, qPrintable(QString::number(spread)));
}

void TestDownloadWorker::endOfSeries_data()
{
    QTest::addColumn<End>("end");
    QTest::newRow("html page") << End::HtmlPage;
    QTest::newRow("404 binary") << End::NotFound404Binary;
    QTest::newRow("404 html") << End::NotFound404Html;
    QTest::newRow("doctype page") << End::SoftDoctype;
    QTest::newRow("capitals page") << End::UpperHtml;
}

void TestDownloadWorker::endOfSeries()
{
    QFETCH(End, end);
    FixtureServer server;
    serveSeries(server, end);
    QTemporaryDir dir;
    Run run;
    run.start(server, dir.path());

    QTRY_VERIFY_WITH_TIMEOUT(run.recorder.done, 10000);
    QCOMPARE(run.recorder.events,
             (writtenEvents(13, 20) +
              QStringList{"number 021", "log CantFound pic021.jpg\n", "finished"}));
    QCOMPARE(run.recorder.runs, QSet<quint64>{run.run});
    QVERIFY(!run.mode);
    QCOMPARE(server.requestLog(), names(13, 21, "/dir/"));
    QCOMPARE(listing(dir.path()), names(13, 20));
    QList<QByteArray> bodies, expected;
    for (const QString& name : names(13, 20)) {
        QFile file(dir.filePath(name));
        bodies << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        expected << FixtureServer::seriesBody(name, kFileSize);
    }
    QCOMPARE(bodies, expected);
}

void TestDownloadWorker::failure_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("failing");
    QTest::newRow("cut mid-body") << "cut" << 15;
    QTest::newRow("stalled mid-body") << "stall" << 15;
    QTest::newRow("output folder missing") << "folder" << 13;
}

void TestDownloadWorker::failure()
{
    QFETCH(QString, fault);
    QFETCH(int, failing);
    Fetcher::setInactivityTimeout(1000);
    FixtureServer server;
    serveSeries(server);
    if (fault == u"cut")
        server.addCut("/dir/" + picName(failing), 5000, kFileSize);
    if (fault == u"stall")
        server.addStall("/dir/" + picName(failing), 5000);
    QTemporaryDir dir;
    const QString folder = fault == u"folder" ? dir.filePath("missing") : dir.path();
    Run run;
    run.start(server, folder);

    QTRY_VERIFY_WITH_TIMEOUT(run.recorder.done, 10000);
    QCOMPARE(run.recorder.events,
             (writtenEvents(13, failing - 1) +
              QStringList{"number " + number(failing),
                          "log FailureDownload " + picName(failing) + "\n", "finished, failed"}));
    QVERIFY(!run.mode);
    QCOMPARE(server.requestLog(), names(13, failing, "/dir/"));
    QCOMPARE(listing(dir.path()), names(13, failing - 1));
}

void TestDownloadWorker::stopDuringFetch_data()
{
    QTest::addColumn<bool>("stall");
    QTest::newRow("answer delayed") << false;
    QTest::newRow("body stalled") << true;
}

void TestDownloadWorker::stopDuringFetch()
{
    QFETCH(bool, stall);
    FixtureServer server;
    serveSeries(server);
    if (stall)
        server.addStall("/dir/pic015.jpg", 5000);
    else
        server.addDelayed("/dir/pic015.jpg", "late", 5000);
    QTemporaryDir dir;
    Run run;
    run.start(server, dir.path());

    QTRY_COMPARE(server.hits("/dir/pic015.jpg"), 1);
    QTest::qWait(200);
    QCOMPARE(run.recorder.events, writtenEvents(13, 14) + QStringList{"number 015"});
    QElapsedTimer clock;
    clock.start();
    run.stop();
    QTRY_VERIFY_WITH_TIMEOUT(run.recorder.done, 5000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.recorder.events, (writtenEvents(13, 14) + QStringList{"number 015", "finished"}));
    QCOMPARE(server.requestLog(), names(13, 15, "/dir/"));
    QCOMPARE(listing(dir.path()), names(13, 14));
}

void TestDownloadWorker::stopDuringPause()
{
    DownloadWorker::setPause(3000);
    FixtureServer server;
    serveSeries(server);
    QTemporaryDir dir;
    Run run;
    run.start(server, dir.path());

    QTRY_COMPARE(run.recorder.count("written"), 1);
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    run.stop();
    QTRY_VERIFY_WITH_TIMEOUT(run.recorder.done, 5000);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(run.recorder.events, writtenEvents(13, 13) + QStringList{"finished"});
    QCOMPARE(server.requestLog(), names(13, 13, "/dir/"));
    QCOMPARE(listing(dir.path()), names(13, 13));
}

void TestDownloadWorker::newRunEndsOldWorker()
{
    DownloadWorker::setPause(1000);
    FixtureServer server;
    serveSeries(server);
    QTemporaryDir dir;
    Run run;
    run.start(server, dir.path());

    QTRY_COMPARE(run.recorder.count("written"), 1);
    const quint64 next = run.gate.begin();
    QTRY_VERIFY_WITH_TIMEOUT(run.recorder.done, 5000);
    QCOMPARE(run.recorder.events, writtenEvents(13, 13) + QStringList{"finished"});
    QCOMPARE(server.requestLog(), names(13, 13, "/dir/"));
    // The old worker leaves the new run alone.
    QVERIFY(run.gate.isActive(next));
    QCOMPARE(run.element.get().number, QStringLiteral("013"));
}

void TestDownloadWorker::destroyedMidFetch()
{
    FixtureServer server;
    serveSeries(server);
    server.addDelayed("/dir/pic014.jpg", "late", 5000);
    QTemporaryDir dir;
    Run run;
    std::atomic<pid_t> workerTid{0};
    run.start(server, dir.path());
    QObject::connect(
        run.worker, &DownloadWorker::numberChanged, run.worker,
        [&workerTid] { workerTid = gettid(); }, Qt::DirectConnection);

    QTRY_COMPARE(server.hits("/dir/pic014.jpg"), 1);
    QVERIFY(workerTid != 0);
    QElapsedTimer clock;
    clock.start();
    run.thread.reset();
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    // wait() returns before the system thread has quite gone.
    QTRY_VERIFY_WITH_TIMEOUT(
        !QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(workerTid)), 2000);

    QCoreApplication::sendPostedEvents();
    // Going away is no failure of the file in flight.
    QCOMPARE(run.recorder.events, (writtenEvents(13, 13) + QStringList{"number 014", "finished"}));
    QCOMPARE(listing(dir.path()), names(13, 13));
    QVERIFY(run.mode);
}

QTEST_GUILESS_MAIN(TestDownloadWorker)
#include "tst_downloadworker.moc"
