#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/window.h"
using namespace Qt::StringLiterals;
static constexpr qint64 kSize = 20 * 1024;
static constexpr auto kPage = FixtureServer::End::HtmlPage;
class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void runs_data()
    {
        QTest::addColumn<QString>("setup"); // and the buttons the user clicks, in turn, at stopAt
        QTest::addColumn<int>("stopAt");    // the number asked for when the user acts
        QTest::addColumn<int>("last");      // last number written at the end
        QTest::addColumn<QString>("log");   // between the first and last lines
        QTest::addColumn<QStringList>("notices");
        const QString end = done(names(12, 16)) + u"CantFound pic017.jpg\n"_s;
        QTest::newRow("series end in a new folder, every notice")
            << u"sound name attention reveal new-folder"_s << 0 << 16
            << u"CreateNewFolder\n"_s + end
            << QStringList{"sound Glass", "attention", "reveal %1/pic012.jpg"};
        QTest::newRow("stop during a later fetch, sound without a name")
            << u"sound mStop"_s << 14 << 13 << done(names(12, 13)) << QStringList();
        QTest::newRow("series already here, kept")
            << u"keep"_s << 0 << 16
            << done(names(12, 16)).replace(u"DownloadComleted"_s, u"AlreadyHere"_s) +
                   u"CantFound pic017.jpg\n"_s
            << QStringList();
        QTest::newRow("start right after stop") << u"attention mStop mInit mStart"_s << 14 << 16
                                                << end << QStringList{"attention", "attention"};
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
        const QString asked = names(stopAt, stopAt).first(); // on its way when the user acts
        server.addDelayed(u"/d/"_s + asked, FixtureServer::seriesBody(asked, kSize), 1000);
        QTemporaryDir out;
        Window w(stopAt ? 100 : 20);
        Controller& c = w.controller;
        c.mOutputDirectory = out.path();
        std::tie(c.mCreateNewFolder, c.mNoticeSoundAlert, c.mNoticeDockingAction, c.mOpenFolder) =
            std::tuple(setup.contains(u"new-folder"), setup.contains(u"sound"),
                       setup.contains(u"attention"), setup.contains(u"reveal"));
        c.mNoticeSound = setup.contains(u"name") ? u"Glass"_s : QString();
        c.takeAddress(server.baseUrl() + u"/d/pic012.jpg"_s);
        c.mKeepDownloaded = setup.contains(u"keep");
        for (const QString& name : c.mKeepDownloaded ? names(12, 16) : QStringList()) {
            QVERIFY(writeFile(out.filePath(name), FixtureServer::seriesBody(name, kSize)));
            server.addSequence(u"/d/"_s + name, {{304, {}, {}}});
        }
        auto text = [&](auto n, const char* p = "text") {
            return w.get<QWidget>(n)->property(p).toString();
        };
        QTest::mouseClick(w.get<QWidget>(u"mStartButton"_s), Qt::LeftButton);
        if (stopAt) {
            QTRY_COMPARE(text(u"mCounter"_s).toInt(), stopAt - 12);
            QTRY_VERIFY(server.hits(u"/d/"_s + asked) > 0);
            for (const QString& button : setup.split(u' ').filter(QRegularExpression(u"^m[A-Z]"_s)))
                QTest::mouseClick(w.get<QWidget>(button + u"Button"_s), Qt::LeftButton);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        // What a stopped run still had under way, or a worker that should not exist, shows now.
        QTest::qWait(stopAt ? 1500 : 300);
        QCOMPARE(text(u"mDrawer_Text"_s, "plainText"),
                 u"StartedDownload\n"_s + log + u"\nFinishedDownload\n"_s);
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
    // Series pic012..016 and the extra numbers, the rest missing (a 404, or a page in its place)
    // and `broken` a server error: the holes a run goes past with an allowance of missing
    // numbers in a row, where it ends, and the number it leaves in the field.
    void holes_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("allowance");
        QTest::addColumn<QList<int>>("extra");
        QTest::addColumn<int>("broken");
        QTest::addColumn<bool>("pages");
        QTest::addColumn<QString>("log"); // between the first and last lines
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("failed");
        const QString files = done(names(12, 16));
        const auto missing = [](int n) { return u"MissingGoOn "_s + names(n, n).first() + u'\n'; };
        QTest::newRow("no allowance: the first hole ends it")
            << 12 << 0 << QList{18} << 0 << false << files + u"CantFound pic017.jpg\n"_s << u"017"_s
            << false;
        QTest::newRow("one hole, twice")
            << 12 << 1 << QList{18, 19, 21} << 0 << true
            << files + missing(17) + done(names(18, 19)) + missing(20) + done(names(21, 21)) +
                   missing(22) + u"SeriesEnded pic021.jpg 2\n"_s
            << u"022"_s << false;
        QTest::newRow("two holes in a row within two")
            << 12 << 2 << QList{19} << 0 << false
            << files + missing(17) + missing(18) + done(names(19, 19)) + missing(20) + missing(21) +
                   u"SeriesEnded pic019.jpg 3\n"_s
            << u"020"_s << false;
        QTest::newRow("one more hole than allowed ends it")
            << 12 << 1 << QList{19} << 0 << true
            << files + missing(17) + u"SeriesEnded pic016.jpg 2\n"_s << u"017"_s << false;
        QTest::newRow("the first file missing fails")
            << 11 << 3 << QList<int>{} << 0 << false << u"CantFound pic011.jpg\n"_s << u"011"_s
            << true;
        QTest::newRow("a server error within the allowance fails")
            << 12 << 3 << QList{19} << 18 << false
            << files + missing(17) + u"FailureDownload pic018.jpg: ReasonServerError 500\n"_s
            << u"018"_s << true;
    }
    void holes()
    {
        QFETCH(int, first);
        QFETCH(QList<int>, extra);
        QFETCH(int, broken);
        QFETCH(bool, pages);
        QFETCH(QString, log);
        QFETCH(bool, failed);
        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 16, 3, u"jpg"_s,
                         pages ? kPage : FixtureServer::End::NotFound404Html, kSize);
        for (int n : extra) {
            const QString name = names(n, n).first();
            server.addFile(u"/d/"_s + name, FixtureServer::seriesBody(name, kSize));
        }
        if (broken)
            server.addFile(u"/d/"_s + names(broken, broken).first(), "down", 500, "text/plain");
        RunWindow w;
        Controller& c = w.controller;
        download::Policy policy = c.policy();
        policy.retryDelaysMs = {};
        c.setPolicy(policy);
        QFETCH(int, allowance);
        c.mMissingInRow = allowance;
        QSignalSpy ends(&c, &Controller::downloadFinished);
        c.takeAddress(server.baseUrl() + u"/d/"_s + names(first, first).first());
        c.start_download();
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        QCOMPARE(w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText(),
                 u"StartedDownload\n"_s + log + u"\nFinishedDownload\n"_s);
        QTEST(w.get(u"mNumber"_s)->text(), "number");
        QCOMPARE(QList<QVariantList>(ends), QList<QVariantList>{{failed}});
        QStringList written;
        for (const QString& line : log.split(u'\n'))
            if (line.startsWith(u"DownloadComleted "))
                written << line.section(u' ', 1);
        QCOMPARE(seriesFilesBelow(w.output.path(), kSize), written);
        // One request a line: nothing asked for past the number that ended the run.
        QCOMPARE(server.requestLog().size(), log.count(u'\n'));
    }
};
QTEST_MAIN(TestDownload)
#include "tst_ui_download.moc"
