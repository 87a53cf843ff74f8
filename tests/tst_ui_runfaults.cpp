#include "download/downloadworker.h"
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
    // A run from `address` (a series /d/pic012 … pic014 whose pic013 answers `answers`, or files
    // served in /a/, addressed as browsers copy them): its log between the first and last line,
    // the files written, and a verdict of failed exactly when the log shows a failure.
    void runs_data()
    {
        QTest::addColumn<QString>("address"); // "!" ahead: into a read-only folder; "@": into
                                              // a new folder whose name holds a link already
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QStringList>("files"); // sorted
        const auto row = [](const char* name, const QString& address, const QList<Answer>& answers,
                            const QString& lines, const QStringList& files) {
            QTest::newRow(name) << address << answers << lines << files;
        };
        const QString d = u"d/pic012.jpg"_s;
        const QStringList one = names(12, 12);
        row("empty 200", d, {{200, {}, {}}},
            done(one) + u"FailureDownload pic013.jpg: ReasonNoData\n"_s, one);
        row("429 with Retry-After: 1", d,
            {{429, {}, {{"Retry-After", "1"}}},
             {200, FixtureServer::seriesBody(u"pic013.jpg"_s, kSize), {}}},
            done(one) + u"RetryDownload pic013.jpg ReasonTooManyRequests RetryWait 1 1\n"_s +
                done(names(13, 14)) + u"CantFound pic015.jpg\n"_s,
            names(12, 14));
        row("read-only folder", u'!' + d, {},
            u"FailureDownload pic012.jpg: ReasonPermissionDenied\n"_s, {});
        const QStringList blank{u"pic 998.jpg"_s, u"pic 999.jpg"_s, u"pic 1000.jpg"_s};
        row("a blank before a number that grows a digit", u"a/pic%20998.jpg"_s, {},
            done(blank) + u"CantFound pic 1001.jpg\n"_s, {blank[2], blank[0], blank[1]});
        row("escaped slash", u"a/a%2F012.jpg"_s, {},
            u"FailureDownload a/012.jpg: ReasonNameUnsafe\n"_s, {});
        row("a link planted under the run's dated folder name", u'@' + d, {},
            u"FailureDownload pic012.jpg: ReasonFolderRefused\n"_s, {});
    }
    void runs()
    {
        QFETCH(QString, address);
        QFETCH(QList<Answer>, answers);
        QFETCH(QString, lines);
        QFETCH(QStringList, files);
        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 14, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        for (const QString& name : files)
            server.addFile(u"/a/"_s + name, FixtureServer::seriesBody(name, kSize));
        if (!answers.isEmpty())
            server.addSequence(u"/d/pic013.jpg"_s, answers);
        QTemporaryDir folder, elsewhere;
        std::optional<PermissionBitsEnforced> enforced;
        if (address.startsWith(u'!')) {
            QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
            enforced.emplace();
        }
        const QDateTime begun = QDateTime::currentDateTime();
        // The run's moment is taken at Start, a little after now.
        for (int second = 0; address.startsWith(u'@') && second < 5; ++second)
            QVERIFY(QFile::link(elsewhere.path(),
                                folder.filePath(folder::datedFolderName(begun.addSecs(second)))));
        Window w(20);
        Controller& c = w.controller;
        c.mOutputDirectory = folder.path();
        c.mCreateNewFolder = address.startsWith(u'@');
        const bool failed = lines.contains(u"FailureDownload"_s);
        bool runFailed = !failed;
        connect(&c, &Controller::downloadFinished, &c, [&runFailed](bool f) { runFailed = f; });
        c.takeAddress(server.baseUrl() + u'/' + address.mid(!address.front().isLetter()));
        c.start_download();
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        enforced.reset();
        QCOMPARE(w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText(),
                 u"StartedDownload"_s + lines + u"\nFinishedDownload"_s);
        QCOMPARE(seriesFilesBelow(folder.path(), kSize), files);
        QVERIFY(QDir(elsewhere.path()).isEmpty());
        QCOMPARE(runFailed, failed);
        // A wait the log gives in seconds lasts that long.
        QCOMPARE_GE(begun.msecsTo(QDateTime::currentDateTime()),
                    lines.contains(u"RetryWait 1 1"_s) ? 1000 : 0);
    }
};
QTEST_MAIN(TestRunFaults)
#include "tst_ui_runfaults.moc"
