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
};
QTEST_MAIN(TestDownload)
#include "tst_ui_download.moc"
