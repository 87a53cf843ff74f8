#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "fixtureserver.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

static constexpr qint64 kSize = 20 * 1024;
static constexpr auto kPage = FixtureServer::End::HtmlPage;

// The log of a run that wrote pic012 … pic<last> and then said `tail`.
static QString logOf(int last, const QString& tail = {}, const QString& head = {})
{
    return u"StartedDownload"_s + head + done(names(12, last)) + tail + u"\nFinishedDownload"_s;
}

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void init() { Fetcher::setRetryDelaysForTesting({50, 50, 50}); }

    void runs_data()
    {
        QTest::addColumn<QString>("setup"); // and the buttons the user clicks, in turn, at stopAt
        QTest::addColumn<int>("stopAt");    // the number asked for when the user acts
        QTest::addColumn<int>("last");      // last number written at the end
        QTest::addColumn<QString>("log");
        QTest::addColumn<QStringList>("notices");

        auto row = [](const char* name, const QString& setup, int stopAt, int last,
                      const QString& log, const QStringList& notices = {}) {
            QTest::newRow(name) << setup << stopAt << last << log << notices;
        };
        const QString end = logOf(16, u"CantFound pic017.jpg\n"_s);
        const QString refused =
            u"RetryDownload pic012.jpg ReasonConnectionRefused RetryWait 1 %1\n"_s;
        row("series end in a new folder, every notice", "sound name attention reveal new-folder", 0,
            16, logOf(16, u"CantFound pic017.jpg\n"_s, u"CreateNewFolder"_s),
            {"sound Glass", "attention", "reveal %1/pic012.jpg"});
        row("first file answers 404", "404", 0, 11, logOf(11, u"CantFound pic012.jpg\n"_s));
        row("output folder missing", "missing", 0, 11,
            logOf(11, u"FailureDownload pic012.jpg: ReasonFolderMissing\n"_s));
        row("nothing listens", "port=1", 0, 11,
            logOf(11, refused.arg(1) + refused.arg(2) + refused.arg(3) +
                          u">ReasonAfterRetries ReasonConnectionRefused 3\n"_s));
        row("stop during the first fetch", "mStop", 12, 11, logOf(11));
        row("stop during a later fetch, sound without a name", "sound mStop", 14, 13, logOf(13));
        row("stop during the pause", "pause mStop", 13, 13, logOf(13));
        row("start right after stop", "attention mStop mInit mStart", 14, 16, end,
            {"attention", "attention"});
        row("quit during a fetch", "attention quit", 13, 12, logOf(12), {"attention"});
    }

    void runs()
    {
        QFETCH(QString, setup);
        QFETCH(int, stopAt);
        QFETCH(int, last);
        QFETCH(QString, log);
        QFETCH(QStringList, notices);

        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 16, 3, u"jpg"_s, kPage, kSize);
        if (setup.contains(u"404"))
            server.addFile(u"/d/pic012.jpg"_s, "<html>gone</html>", 404, "text/html");
        // The file asked for when the user acts is still on its way then, but in the pause.
        const QString asked = names(stopAt, stopAt).first();
        if (!setup.contains(u"pause"))
            server.addDelayed(u"/d/"_s + asked, FixtureServer::seriesBody(asked, kSize), 1000);
        QTemporaryDir out;
        Window w;
        Controller& c = w.controller;
        c.mOutputDirectory = out.path() + (setup.contains(u"missing") ? u"/missing"_s : u""_s);
        std::tie(c.mCreateNewFolder, c.mNoticeSoundAlert, c.mNoticeDockingAction, c.mOpenFolder) =
            std::tuple(setup.contains(u"new-folder"), setup.contains(u"sound"),
                       setup.contains(u"attention"), setup.contains(u"reveal"));
        c.mNoticeSound = setup.contains(u"name") ? u"Glass"_s : QString();
        DownloadWorker::setPause(setup.contains(u"pause") ? 3000 : stopAt ? 100 : 20);
        c.takeAddress(u"http://127.0.0.1:%1/d/pic012.jpg"_s.arg(
            setup.startsWith(u"port=") ? setup.mid(5) : QString::number(server.port())));
        auto text = [&](auto n, const char* p = "text") {
            return w.get<QWidget>(n)->property(p).toString();
        };
        QTest::mouseClick(w.get<QWidget>(u"mStartButton"_s), Qt::LeftButton);
        if (stopAt) {
            QTRY_COMPARE(text(u"mCounter"_s).toInt(), stopAt - 12 + setup.contains(u"pause"));
            // No events till the request is in: the number counted to is still on its way then.
            QDeadlineTimer deadline(5000);
            while (server.hits(u"/d/"_s + asked) == 0 && !deadline.hasExpired())
                QThread::msleep(5);
            if (setup.contains(u"quit"))
                c.applicationWillTerminate();
            for (const QString& button : setup.split(u' ').filter(QRegularExpression(u"^m[A-Z]"_s)))
                QTest::mouseClick(w.get<QWidget>(button + u"Button"_s), Qt::LeftButton);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        // What a stopped run still had under way, or a worker that should not exist, shows now.
        QTest::qWait(stopAt ? 1500 : 300);

        QCOMPARE(text(u"mDrawer_Text"_s, "plainText"), log);
        QCOMPARE(text(u"mCounter"_s), QString::number(last - 11));
        const int shown = stopAt && last < 16 ? stopAt : last + 1; // the last number asked for
        QCOMPARE(server.hits(u"/d/"_s + names(shown + 1, shown + 1).first()), 0);
        const QRegularExpression dated(u"^\\d{4}(-\\d\\d){2} \\d\\d(:\\d\\d){2} [+-]\\d{4}/"_s);
        QCOMPARE(seriesFilesBelow(out.path(), kSize).replaceInStrings(dated, u"<dated>/"_s),
                 names(12, last, (c.mCreateNewFolder ? u"<dated>/"_s : u""_s) + u"pic%1.jpg"_s));
        QCOMPARE(text(u"mLocation"_s, "readOnly") + text(u"mStartButton"_s, "enabled") +
                     text(u"mStopButton"_s, "enabled"),
                 u"falsetruefalse"_s);
        QCOMPARE(w.calls, notices.replaceInStrings(u"%1"_s, c.currentDownloadFolder()));
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output"); // pattern of the standard output, "--", standard error
        QTest::addColumn<int>("last");       // last number written into the --output folder

        auto row = [](const char* name, const QString& args, int code, const QString& output,
                      int last = 11) { QTest::newRow(name) << args << code << output << last; };
        const QString run = u"--start --quit-when-done --log --output %out %url"_s;
        row("help", "--help", 0, "(?s)^Usage.*--start.*--quit-when-done.*--output.*\\n--");
        row("unknown option", "--bogus", 2, "(?s)^--.*Unknown option 'bogus'");
        row("start without a counted address", "--start --quit-when-done", 1,
            "(?s)^--.*--start needs a counted address");
        row("run to the series end", run + u"/d/pic012.jpg"_s, 0, "(?s)pic014\\.jpg.*--", 13);
        row("first file missing", run + u"/x/pic012.jpg"_s, 1, "(?s)pic012\\.jpg.*--");
    }

    void commandLine()
    {
        QFETCH(QString, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, output);
        QFETCH(int, last);

        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, kPage, kSize);
        QTemporaryDir once;
        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        store.clear();
        store.setValue(u"SGOutputDirectory"_s, kHome.filePath(u"chosen"_s));
        store.sync();

        QProcess process;
        arguments.replace(u"%out"_s, once.path()).replace(u"%url"_s, server.baseUrl());
        process.start(QStringLiteral(STEPGRAB_BINARY), arguments.split(u' '));
        QVERIFY(process.waitForFinished(40000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, exitCode);
        const QString all = process.readAllStandardOutput() + "--" + process.readAllStandardError();
        QVERIFY2(QRegularExpression(output).match(all).hasMatch(), qPrintable(all));
        QCOMPARE(seriesFilesBelow(once.path(), kSize), names(12, last));
        // A run writes them at quit, but with the folder the user chose, not this launch's.
        store.sync();
        QCOMPARE(store.contains(u"SGWebBrowser"_s), arguments.contains(u"--output"));
        QCOMPARE(store.value(u"SGOutputDirectory"_s).toString(), kHome.filePath(u"chosen"_s));
    }
};

QTEST_MAIN(TestDownload)

#include "tst_ui_download.moc"
