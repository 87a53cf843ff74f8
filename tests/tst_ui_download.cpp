#include "download/downloadworker.h"
#include "download/seriesscan.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/table.h"
#include "support/window.h"

#include <QScopeGuard>
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

    // Entries made in order (a trailing "/" makes a folder), the series looked for, and the
    // file found with the number to continue at ("-" for none).
    void highest_data()
    {
        // series: prefix|suffix|width|dated
        columns<QStringList, QString, QString>("entries", "series", "found");
        const auto row = [](const char* name, const QStringList& entries, const char* series,
                            const char* found) {
            QTest::newRow(name) << entries << QString::fromUtf8(series) << QString::fromUtf8(found);
        };
        const char* pic = "pic|.jpg|3|";
        row("wider after 999, leading zeros compared away",
            {"pic998.jpg", "pic999.jpg", "pic1000.jpg", "pic0999.jpg"}, pic, "pic1000.jpg 1001");
        row("a wider number with a leading zero is another series", {"pic0123.jpg", "pic122.jpg"},
            pic, "pic122.jpg 123");
        row("past 64 bits", {"pic99999999999999999999.jpg", "pic100000000000000000000.jpg"}, pic,
            "pic100000000000000000000.jpg 100000000000000000001");
        row("narrower numbers are another series", {"pic01.jpg", "pic9.jpg", "pic002.jpg"}, pic,
            "pic002.jpg 003");
        row("other series and extensions beside",
            {"pic001.jpg", "pic009.png", "pict010.jpg", "xpic011.jpg", "pic012.jpg.part",
             "pic01a.jpg", "pic 013.jpg"},
            pic, "pic001.jpg 002");
        row("a folder under a series name", {"pic009.jpg/", "pic003.jpg"}, pic, "pic003.jpg 004");
        row("none found", {"pic.jpg", "other.txt"}, pic, "-");
        row("a decoded prefix, no prefix at all", {"写真 07.jpg", "07.jpg", "08.jpg"},
            "写真 |.jpg|2|", "写真 07.jpg 08");
        row("a run's temporary file is not a file of the series",
            {".stepgrab-0000000000123.part", ".stepgrab-10000000000099.part"},
            ".stepgrab-|.part|13|", ".stepgrab-10000000000099.part 10000000000100");
        // The later moment is the folder with the earlier name, made first: neither the name's
        // order nor the folder's time picks the newest.
        const QStringList dated{"2024-03-15 08:00:00 +0100/pic007.jpg",
                                "2024-03-15 14:05:09 +0900/pic010.jpg", "pic003.jpg",
                                "2024-03-16 00:00:00 +0000"};
        row("dated folders: the newest by the moment its name gives", dated, "pic|.jpg|3|dated",
            "2024-03-15 08:00:00 +0100/pic007.jpg 008");
        row("dated folders off: the output folder only", dated, pic, "pic003.jpg 004");
        row("dated folders: the output folder higher",
            {"2024-03-15 08:00:00 +0100/pic007.jpg", "pic020.jpg"}, "pic|.jpg|3|dated",
            "pic020.jpg 021");
        row("dated folders: a link under a later name is none",
            {"2024-03-15 08:00:00 +0100/pic007.jpg", "elsewhere/pic050.jpg",
             "2025-01-01 00:00:00 +0000 -> elsewhere"},
            "pic|.jpg|3|dated", "2024-03-15 08:00:00 +0100/pic007.jpg 008");
    }
    void highest()
    {
        QFETCH(QStringList, entries);
        QFETCH(QString, series);
        QTemporaryDir dir;
        for (const QString& entry : entries) {
            const QString path = dir.filePath(entry.section(u" -> "_s, 0, 0));
            if (entry.contains(u" -> "_s))
                QVERIFY(QFile::link(entry.section(u" -> "_s, 1), path));
            else if (entry.endsWith(u'/'))
                QVERIFY(QDir().mkpath(path));
            else
                QVERIFY(writeFile(path, "x"));
            QTest::qWait(entry.contains(u'/') ? 20 : 0); // folder times apart
        }
        const QStringList s = series.split(u'|');
        const series::Found found =
            series::highestInOutput(dir.path(), s[3] == u"dated", s[0], s[1], s[2].toInt());
        QTEST(found.isEmpty() ? u"-"_s
                              : QDir(dir.path()).relativeFilePath(found.path) + u' ' +
                                    address::nextNumber(found.number),
              "found");
    }

    // The name on disk as a run saves it: escapes decoded, no query.
    void diskName_data()
    {
        // element: location|file name|number|extension
        columns<QString, QString>("element", "disk");
        QTest::newRow("escaped prefix, query")
            << u"http://h/d|a%20b%E5%86%99|7|png?w=2"_s << u"a b写|.png"_s;
        QTest::newRow("a number the address cannot keep") << u"http://h/d|pic|1#2|jpg"_s << u"-"_s;
    }
    void diskName()
    {
        QFETCH(QString, element);
        const QStringList p = element.split(u'|');
        const series::DiskName disk = series::diskNameOf({p[0], p[1], p[2], p[3]});
        QTEST(disk.valid ? disk.prefix + u'|' + disk.suffix : u"-"_s, "disk");
    }

    // Download ▸ Continue Series on files already in the output folder (or in a dated folder
    // of an earlier run): the log, the numbers fetched and the files then on disk.
    void continueSeries_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("log");
        QTest::addColumn<int>("first"); // the first number fetched
        const QString dated = u"2020-01-02 03:04:05 +0000/"_s;
        QTest::newRow("in the last run's dated folder, into a new one")
            << QStringList{dated + u"pic013.jpg"_s}
            << u"ContinueSeriesAt pic014.jpg <out>/"_s + dated +
                   u"pic013.jpg\nStartedDownload\nCreateNewFolder\n"_s + done(names(14, 16)) +
                   u"CantFound pic017.jpg\n"_s
            << 14;
        QTest::newRow("the output folder left empty: the home folder")
            << QStringList{"~/pic014.jpg"}
            << u"ContinueSeriesAt pic015.jpg <out>/pic014.jpg\nStartedDownload\n"_s +
                   done(names(15, 16)) + u"CantFound pic017.jpg\n"_s
            << 15;
        QTest::newRow("none found: the number shown")
            << QStringList{"pic12.jpg"}
            << u"ContinueSeriesNone pic012.jpg <out>\nStartedDownload\n"_s + done(names(12, 16)) +
                   u"CantFound pic017.jpg\n"_s
            << 12;
    }
    void continueSeries()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, log);
        QFETCH(int, first);
        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 16, 3, u"jpg"_s, kPage, kSize);
        RunWindow w;
        Controller& c = w.controller;
        const QByteArray home = qgetenv("HOME");
        const auto restoreHome = qScopeGuard([&] { qputenv("HOME", home); });
        if (present.first().startsWith(u"~/")) {
            qputenv("HOME", QFile::encodeName(w.output.path()));
            c.mOutputDirectory.clear();
            present.first().remove(0, 2);
        }
        c.mCreateNewFolder = present.first().contains(u'/');
        for (const QString& name : present)
            QVERIFY(writeFile(w.output.filePath(name), "x"));
        c.takeAddress(server.baseUrl() + u"/d/pic012.jpg"_s);
        emit w.get<QMenu>(u"menuDownload"_s)->aboutToShow();
        QAction* item = w.get<QAction>(u"actionContinueSeries"_s);
        QVERIFY(item->isEnabled());
        item->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        QCOMPARE(w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText(),
                 QString(log).replace(u"<out>"_s, w.output.path()) + u"\nFinishedDownload\n"_s);
        for (int n = 12; n <= 16; ++n)
            QVERIFY2((server.hits(u"/d/"_s + names(n, n).first()) > 0) == (n >= first),
                     qPrintable(names(n, n).first()));
        // The files that were there are left as they were.
        QStringList files = names(first, 16);
        for (const QString& name : present)
            if (!name.contains(u'/'))
                files << name + u" (corrupt)"_s;
        files.sort();
        QCOMPARE(seriesFilesBelow(c.currentDownloadFolder(), kSize), files);
    }
};
QTEST_MAIN(TestDownload)
#include "tst_ui_download.moc"
