#include "app/controller.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "fixtureserver.h"
#include "host/host.h"
#include "support/permissions.h"

#include <QtTest>
#include <QtWidgets>
#include <optional>

using namespace Qt::StringLiterals;
using Answer = FixtureServer::Answer;
Q_DECLARE_METATYPE(QList<Answer>)

// Before the application exists: the settings' place is fixed then.
static const QTemporaryDir kHome;
static const bool kIsolated = qputenv("XDG_CONFIG_HOME", kHome.path().toLocal8Bit());

static constexpr qint64 kSize = 20 * 1024;

// Nothing of the desktop matters here.
struct QuietHost : Host
{
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    void revealFile(const QString&) override {}
    bool openFile(const QString&) override { return true; }
    void openFilesEach(const QStringList&) override {}
};

// Every entry below dir, hidden ones included, relative and sorted.
static QStringList entriesBelow(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

static QString logOf(const QStringList& lines)
{
    return u"StartedDownload"_s + lines.join(QString()) + u"\nFinishedDownload"_s;
}

static QString done(const QString& name)
{
    return u"DownloadComleted "_s + name + u'\n';
}

// A whole run from `address` (relative to the server) in a window of its own; answers the log
// and whether the run counted as failed.
struct Run
{
    QuietHost host;
    Controller c{&host};
    QString log;
    bool failed = false;

    Run() { c.applicationDidFinishLaunching(); }
    void start(const QString& address, const QString& folder)
    {
        c.mOutputDirectory = folder;
        QObject::connect(&c, &Controller::downloadFinished, &c, [this](bool f) { failed = f; });
        c.takeAddress(address);
        c.start_download();
    }
    void wait()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        log = c.mainWindow()->findChild<QPlainTextEdit*>(u"mDrawer_Text"_s)->toPlainText();
    }
};

class TestRunFaults : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Fetcher::setRetryDelaysForTesting({100, 100, 100});
        Fetcher::setSpeedBoundsForTesting(0, 0);
        Fetcher::setInactivityTimeout(3000);
        DownloadWorker::setPause(20);
    }

    // What the server answers for pic013.jpg of a series pic012 … pic014, or what happens to
    // the folder; the whole log, the folder and the run's verdict.
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<int>("atLeastMs");

        const QByteArray body = FixtureServer::seriesBody(u"pic013.jpg"_s, kSize);
        const QStringList start{done(u"pic012.jpg"_s)};
        const QStringList one{u"pic012.jpg"_s};
        const QStringList all{u"pic012.jpg"_s, u"pic013.jpg"_s, u"pic014.jpg"_s};
        const QStringList toTheEnd{done(u"pic013.jpg"_s), done(u"pic014.jpg"_s),
                                   u"CantFound pic015.jpg\n"_s};
        const auto fails = [&](const QString& reason) {
            return start + QStringList{u"FailureDownload pic013.jpg: "_s + reason + u'\n'};
        };
        const QString retry = u"RetryDownload pic013.jpg ReasonServerError 503 RetryWait 1 %1\n"_s;
        const auto row = [](const char* name, const QString& fault, const QList<Answer>& answers,
                            const QStringList& log, const QStringList& files, bool failed,
                            int atLeastMs = 0) {
            QTest::newRow(name) << fault << answers << log << files << failed << atLeastMs;
        };

        row("empty 200", "", {{200, {}, {}}}, fails(u"ReasonNoData"_s), one, true);
        row("204", "", {{204, {}, {}}}, fails(u"ReasonNoData"_s), one, true);
        row("302 without a Location", "", {{302, {}, {}}}, fails(u"ReasonRedirectNoTarget"_s), one,
            true);
        row("401", "", {{401, "<html>login</html>", {}}}, fails(u"ReasonAuthentication"_s), one,
            true);
        row("503, then the file", "", {{503, {}, {}}, {200, body, {}}},
            start + QStringList{retry.arg(1)} + toTheEnd, all, false);
        row("503 four times", "", {{503, {}, {}}},
            start + QStringList{retry.arg(1), retry.arg(2), retry.arg(3)} +
                QStringList{u"FailureDownload pic013.jpg: ReasonAfterRetries ReasonServerError "
                            "503 3\n"_s},
            one, true);
        row("429 with Retry-After: 1", "", {{429, {}, {{"Retry-After", "1"}}}, {200, body, {}}},
            start +
                QStringList{u"RetryDownload pic013.jpg ReasonTooManyRequests RetryWait 1 1\n"_s} +
                toTheEnd,
            all, false, 1000);
        row("slow drip", "drip", {}, fails(u"ReasonTooSlow 1 0.8"_s), one, true);
        row("read-only folder", "read-only", {},
            {u"FailureDownload pic012.jpg: ReasonPermissionDenied\n"_s}, {}, true);
        row("folder removed mid-run", "remove", {}, fails(u"ReasonFolderMissing"_s), {}, true);
    }

    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(QList<Answer>, answers);
        QFETCH(QStringList, log);
        QFETCH(QStringList, files);
        QFETCH(bool, failed);
        QFETCH(int, atLeastMs);

        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 14, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        if (!answers.isEmpty())
            server.addSequence(u"/d/pic013.jpg"_s, answers);
        if (fault == u"drip") {
            // Shortened bounds: 0.8 s at 1 KiB/s, against a byte every 50 ms.
            Fetcher::setSpeedBoundsForTesting(800, 1024);
            server.addDrip(u"/d/pic013.jpg"_s, kSize, 50);
        }
        if (fault == u"remove")
            server.addDelayed(u"/d/pic013.jpg"_s, FixtureServer::seriesBody(u"pic013.jpg"_s, kSize),
                              500);
        QTemporaryDir home;
        const QString out = home.filePath(u"out"_s);
        QVERIFY(QDir().mkpath(out));
        std::optional<PermissionBitsEnforced> enforced;
        if (fault == u"read-only") {
            QVERIFY(QFile::setPermissions(out, QFile::ReadOwner | QFile::ExeOwner));
            enforced.emplace();
        }

        QElapsedTimer clock;
        clock.start();
        Run run;
        run.start(server.baseUrl() + u"/d/pic012.jpg"_s, out);
        if (fault == u"remove") {
            QTRY_COMPARE(server.hits(u"/d/pic013.jpg"_s), 1);
            QVERIFY(QDir(out).removeRecursively());
        }
        run.wait();
        if (QTest::currentTestFailed())
            return;
        enforced.reset();
        QCOMPARE(run.log, logOf(log));
        QCOMPARE(entriesBelow(out), files);
        QCOMPARE(run.failed, failed);
        QCOMPARE_GE(clock.elapsed(), atLeastMs);
    }

    // Addresses as browsers copy them: the requests the run makes, as the server decodes them,
    // and the names of the files it writes.
    void addresses_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QStringList>("served"); // the files the server has, in /d/
        QTest::addColumn<QStringList>("requests");
        QTest::addColumn<QString>("last"); // the last log line before the end

        const auto row = [](const char* name, const QString& address, const QStringList& served,
                            const QStringList& requests, const QString& last) {
            QTest::newRow(name) << address << served << requests << last;
        };
        const QString photos = u"写真%1.jpg"_s;
        row("escapes before the number", u"%E5%86%99%E7%9C%9F012.jpg"_s,
            {photos.arg(u"012"), photos.arg(u"013")},
            {photos.arg(u"012"), photos.arg(u"013"), photos.arg(u"014")},
            u"CantFound 写真014.jpg\n"_s);
        row("a blank before a number that grows a digit", u"pic%20998.jpg"_s,
            {u"pic 998.jpg"_s, u"pic 999.jpg"_s, u"pic 1000.jpg"_s},
            {u"pic 998.jpg"_s, u"pic 999.jpg"_s, u"pic 1000.jpg"_s, u"pic 1001.jpg"_s},
            u"CantFound pic 1001.jpg\n"_s);
        row("query string", u"pic012.jpg?size=2"_s, {u"pic012.jpg"_s},
            {u"pic012.jpg"_s, u"pic013.jpg"_s}, u"CantFound pic013.jpg\n"_s);
        row("split archive", u"pic01.tar.gz"_s, {u"pic01.tar.gz"_s, u"pic02.tar.gz"_s},
            {u"pic01.tar.gz"_s, u"pic02.tar.gz"_s, u"pic03.tar.gz"_s},
            u"CantFound pic03.tar.gz\n"_s);
        row("escaped slash", u"a%2F012.jpg"_s, {}, {},
            u"FailureDownload a/012.jpg: ReasonNameUnsafe\n"_s);
        row("escaped NUL", u"x%00012.jpg"_s, {}, {},
            u"FailureDownload x\u0000012.jpg: ReasonNameUnsafe\n"_s);
        row("name too long", QString(300, u'n') + u"012.jpg"_s, {}, {},
            u"FailureDownload "_s + QString(300, u'n') + u"012.jpg: ReasonNameTooLong\n"_s);
    }

    void addresses()
    {
        QFETCH(QString, address);
        QFETCH(QStringList, served);
        QFETCH(QStringList, requests);
        QFETCH(QString, last);

        FixtureServer server;
        for (const QString& name : served)
            server.addFile(u"/d/"_s + name, FixtureServer::seriesBody(name, kSize));
        QTemporaryDir out;
        Run run;
        run.start(server.baseUrl() + u"/d/"_s + address, out.path());
        run.wait();
        if (QTest::currentTestFailed())
            return;

        QCOMPARE(server.requestLog(),
                 requests.replaceInStrings(QRegularExpression(u"^"_s), u"/d/"_s));
        QStringList files = served;
        files.sort();
        QCOMPARE(entriesBelow(out.path()), files);
        QStringList lines;
        for (const QString& name : served)
            lines << done(name);
        QCOMPARE(run.log, logOf(lines << last));
    }
};

QTEST_MAIN(TestRunFaults)

#include "tst_ui_runfaults.moc"
