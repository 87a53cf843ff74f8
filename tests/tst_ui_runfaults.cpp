#include "download/downloadworker.h"
#include "download/fetcher.h"
#include "fixtureserver.h"
#include "support/permissions.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/window.h"

#include <optional>

using namespace Qt::StringLiterals;
using Answer = FixtureServer::Answer;
Q_DECLARE_METATYPE(QList<Answer>)

static constexpr qint64 kSize = 20 * 1024;

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

    // A run from `address` (faults of a series /d/pic012 … pic014 whose pic013 answers `answers`,
    // or addresses as browsers copy them, of files served in /a/), and what goes wrong besides;
    // the log between its first and last line, the files written and the run's verdict.
    void runs_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QStringList>("files"); // sorted
        QTest::addColumn<bool>("failed");
        QTest::addColumn<int>("atLeastMs");

        const auto row = [](const char* name, const QString& address, const QString& fault,
                            const QList<Answer>& answers, const QString& lines,
                            const QStringList& files, bool failed, int atLeastMs = 0) {
            QTest::newRow(name) << address << fault << answers << lines << files << failed
                                << atLeastMs;
        };
        const QString d = u"d/pic012.jpg"_s;
        const QByteArray body = FixtureServer::seriesBody(u"pic013.jpg"_s, kSize);
        const QStringList one = names(12, 12);
        const QString first = done(one);
        const QString toTheEnd = done(names(13, 14)) + u"CantFound pic015.jpg\n"_s;
        const auto fails = [&](const QString& reason) {
            return first + u"FailureDownload pic013.jpg: "_s + reason + u'\n';
        };
        const QString retry = u"RetryDownload pic013.jpg ReasonServerError 503 RetryWait 1 %1\n"_s;
        row("empty 200", d, "", {{200, {}, {}}}, fails(u"ReasonNoData"_s), one, true);
        row("302 without a Location", d, "", {{302, {}, {}}}, fails(u"ReasonRedirectNoTarget"_s),
            one, true);
        row("401", d, "", {{401, "<html>", {}}}, fails(u"ReasonAuthentication"_s), one, true);
        row("503 four times", d, "", {{503, {}, {}}},
            first + retry.arg(1) + retry.arg(2) + retry.arg(3) +
                u"FailureDownload pic013.jpg: ReasonAfterRetries ReasonServerError 503 3\n"_s,
            one, true);
        row("429 with Retry-After: 1", d, "", {{429, {}, {{"Retry-After", "1"}}}, {200, body, {}}},
            first + u"RetryDownload pic013.jpg ReasonTooManyRequests RetryWait 1 1\n"_s + toTheEnd,
            names(12, 14), false, 1000);
        row("slow drip", d, "drip", {}, fails(u"ReasonTooSlow 1 0.8"_s), one, true);
        row("read-only folder", d, "read-only", {},
            u"FailureDownload pic012.jpg: ReasonPermissionDenied\n"_s, {}, true);
        row("folder removed mid-run", d, "remove", {}, fails(u"ReasonFolderMissing"_s), {}, true);
        row("dated folder cannot be made", d, "no-folder", {},
            u"FailureDownload pic012.jpg: ReasonNoFolder\n"_s, {}, true);
        row("address is no URL", d, "bad-port", {},
            u"FailureDownload pic012.jpg: ReasonBadAddress\n"_s, {}, true);
        const QStringList blank{u"pic 998.jpg"_s, u"pic 999.jpg"_s, u"pic 1000.jpg"_s};
        row("a blank before a number that grows a digit", u"a/pic%20998.jpg"_s, "", {},
            done(blank) + u"CantFound pic 1001.jpg\n"_s, {blank[2], blank[0], blank[1]}, false);
        row("escaped slash", u"a/a%2F012.jpg"_s, "", {},
            u"FailureDownload a/012.jpg: ReasonNameUnsafe\n"_s, {}, true);
    }

    void runs()
    {
        QFETCH(QString, address);
        QFETCH(QString, fault);
        QFETCH(QList<Answer>, answers);
        QFETCH(QString, lines);
        QFETCH(QStringList, files);
        QFETCH(bool, failed);
        QFETCH(int, atLeastMs);

        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 14, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        for (const QString& name : files)
            server.addFile(u"/a/"_s + name, FixtureServer::seriesBody(name, kSize));
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
        QTemporaryDir folder;
        std::optional<PermissionBitsEnforced> enforced;
        if (fault == u"read-only") {
            QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
            enforced.emplace();
        }

        const QDateTime begun = QDateTime::currentDateTime();
        Window w;
        Controller& c = w.controller;
        c.mOutputDirectory = folder.path();
        if (fault == u"no-folder") {
            c.mCreateNewFolder = true;
            c.mOutputDirectory = folder.filePath(u"missing"_s);
        }
        bool runFailed = !failed;
        connect(&c, &Controller::downloadFinished, &c, [&runFailed](bool f) { runFailed = f; });
        c.takeAddress((fault == u"bad-port" ? u"http://127.0.0.1:99999"_s : server.baseUrl()) +
                      u'/' + address);
        c.start_download();
        if (fault == u"remove") {
            QTRY_COMPARE(server.hits(u"/d/pic013.jpg"_s), 1);
            QVERIFY(QDir(folder.path()).removeRecursively());
        }
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        enforced.reset();
        QCOMPARE(w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText(),
                 u"StartedDownload"_s + lines + u"\nFinishedDownload"_s);
        QCOMPARE(seriesFilesBelow(folder.path(), kSize), files);
        QCOMPARE(runFailed, failed);
        QCOMPARE_GE(begun.msecsTo(QDateTime::currentDateTime()), atLeastMs);
    }
};

QTEST_MAIN(TestRunFaults)

#include "tst_ui_runfaults.moc"
