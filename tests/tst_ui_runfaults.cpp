#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/permissions.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/table.h"
#include "support/window.h"

#include <algorithm>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using Answer = FixtureServer::Answer;
Q_DECLARE_METATYPE(QList<Answer>)

// What happens to the run besides the server's answers.
enum class Fault {
    None,
    ReadOnlyFolder, // the folder cannot be written from the start
    Drip,           // pic013 comes a byte at a time, far below the speed bound
    FolderRemoved,  // the folder is deleted in the pause after pic013
};
Q_DECLARE_METATYPE(Fault)

static constexpr qint64 kSize = 20 * 1024;

class TestRunFaults : public QObject
{
    Q_OBJECT
private slots:
    // A run from `address` (a series /d/pic012 … pic014 whose pic013 answers `answers`, or
    // /p/pic012.jpg answering them): its log between the first and last line, the files left, a
    // counter of the files logged, and a verdict of failed exactly when the log shows a failure.
    void runs_data()
    {
        // files: sorted
        columns<QString, QList<Answer>, Fault, QString, QStringList>("address", "answers", "fault",
                                                                     "lines", "files");
        const auto row = [](const char* name, const QString& address, const QList<Answer>& answers,
                            Fault fault, const QString& lines, const QStringList& files) {
            QTest::newRow(name) << address << answers << fault << lines << files;
        };
        const QString d = u"d/pic012.jpg"_s;
        const QStringList one = names(12, 12);
        const Answer file{200, FixtureServer::seriesBody(u"pic013.jpg"_s, kSize), {}};
        row("empty 200", d, {{200, {}, {}}}, Fault::None,
            done(one) + u"FailureDownload pic013.jpg: ReasonNoData\n"_s, one);
        row("401", d, {{401, "<html><body>Log in first</body></html>", {}}}, Fault::None,
            done(one) + u"FailureDownload pic013.jpg: ReasonAuthentication\n"_s, one);
        // A fifth request would get the file: the run must give up after the third retry.
        const Answer busy{503, {}, {}};
        const QString retry = u"RetryDownload pic013.jpg ReasonServerError 503 RetryWait 1 %1\n"_s;
        row("503 four times", d, {busy, busy, busy, busy, file}, Fault::None,
            done(one) + retry.arg(1) + retry.arg(2) + retry.arg(3) +
                u"FailureDownload pic013.jpg: ReasonAfterRetries ReasonServerError 503 3\n"_s,
            one);
        row("429 with Retry-After: 1", d, {{429, {}, {{"Retry-After", "1"}}}, file}, Fault::None,
            done(one) + u"RetryDownload pic013.jpg ReasonTooManyRequests RetryWait 1 1\n"_s +
                done(names(13, 14)) + u"CantFound pic015.jpg\n"_s,
            names(12, 14));
        row("a drip below the speed bound", d, {}, Fault::Drip,
            done(one) + u"FailureDownload pic013.jpg: ReasonTooSlow 64 1\n"_s, one);
        row("read-only folder", d, {}, Fault::ReadOnlyFolder,
            u"FailureDownload pic012.jpg: ReasonPermissionDenied\n"_s, {});
        row("folder removed between files", d, {}, Fault::FolderRemoved,
            done(names(12, 13)) + u"FailureDownload pic014.jpg: ReasonFolderMissing\n"_s, {});
        // Error pages sent with 200, as servers do, for the next number and for the first.
        const QByteArray xhtml = fileBytes(QFINDTESTDATA("data/pages/lighttpd-404.html"));
        QVERIFY(xhtml.startsWith("<?xml")); // an XML declaration, then the document type
        row("an XHTML error page ends the series", d, {{200, xhtml, {}}}, Fault::None,
            done(one) + u"CantFound pic013.jpg\n"_s, one);
        row("a login page in place of the first file", u"p/pic012.jpg"_s,
            {{200, "\n\n<!-- login -->\n<form>Sign in</form>", {{"Content-Type", "image/jpeg"}}}},
            Fault::None, u"FailureDownload pic012.jpg: ReasonHtmlPage\n"_s, {});
    }
    void runs()
    {
        QFETCH(QString, address);
        QFETCH(QList<Answer>, answers);
        QFETCH(Fault, fault);
        QFETCH(QString, lines);
        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 14, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        if (!answers.isEmpty())
            server.addSequence(address.startsWith(u"d/") ? u"/d/pic013.jpg"_s : u'/' + address,
                               answers);
        // About a kilobyte a second: enough for part of the file to be on disk when the bound
        // ends the transfer.
        if (fault == Fault::Drip)
            server.addDrip(u"/d/pic013.jpg"_s, kSize, 1);
        RunWindow w;
        Controller& c = w.controller;
        const QString folder = w.output.path();
        std::optional<PermissionBitsEnforced> enforced;
        if (fault == Fault::ReadOnlyFolder) {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            enforced.emplace();
        }
        const QDateTime begun = QDateTime::currentDateTime();
        // Value-initialised: g++ 12 at -O2 otherwise takes the default retry delays' constant
        // for uninitialised memory here (-Wmaybe-uninitialized).
        download::Policy policy{};
        // Long enough a pause for the folder to go while the worker waits.
        policy.pauseMs = fault == Fault::FolderRemoved ? 300 : 20;
        policy.retryDelaysMs = {20, 40, 80};
        // Whole seconds, as libcurl counts them.
        policy.speedWindowMs = 1000;
        policy.minBytesPerSecond = 64 * 1024;
        c.setPolicy(policy);
        const auto* log = w.get<QPlainTextEdit>(u"mDrawer_Text"_s);
        if (fault == Fault::FolderRemoved)
            connect(log, &QPlainTextEdit::textChanged, &c, [&] {
                if (log->toPlainText().contains(u"DownloadComleted pic013.jpg"_s))
                    QDir(folder).removeRecursively();
            });
        QSignalSpy finished(&c, &Controller::downloadFinished);
        c.takeAddress(server.baseUrl() + u'/' + address);
        c.start_download();
        QTRY_VERIFY_WITH_TIMEOUT(!c.isRunning(), 20000);
        enforced.reset();
        QCOMPARE(log->toPlainText(), u"StartedDownload\n"_s + lines + u"\nFinishedDownload\n"_s);
        QVERIFY2(fault != Fault::FolderRemoved || !QFileInfo::exists(folder),
                 "the removed folder was made again");
        QTEST(seriesFilesBelow(folder, kSize), "files");
        QCOMPARE(w.get<QLabel>(u"mCounter"_s)->text(),
                 QString::number(lines.count(u"DownloadComleted"_s)));
        QCOMPARE(QList<QVariantList>(finished),
                 QList<QVariantList>{{lines.contains(u"FailureDownload"_s)}});
        // A wait the server asked for lasts that long.
        const bool asked = std::any_of(answers.begin(), answers.end(), [](const Answer& a) {
            return !a.headers.isEmpty() && a.headers.first().first == "Retry-After";
        });
        QCOMPARE_GE(begun.msecsTo(QDateTime::currentDateTime()), asked ? 1000 : 0);
    }
    // Cookies that take their time to read (a cookie file that is a pipe nobody writes yet)
    // hold neither the window nor Stop, and a run stopped meanwhile fetches nothing once they
    // come.
    void stopWhileCookiesAreRead()
    {
        FixtureServer server;
        server.addSeries(u"m"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        QTemporaryDir dir;
        const QByteArray pipe = QFile::encodeName(dir.filePath(u"cookies"_s));
        QCOMPARE(::mkfifo(pipe.constData(), 0600), 0);
        // A writer is refused until the reader waits in open(); whatever happens below, the
        // reader gets its end of file.
        const auto release = [&pipe](const QByteArray& text) {
            for (QDeadlineTimer deadline(5000); !deadline.hasExpired(); QTest::qWait(20)) {
                const int fd = ::open(pipe.constData(), O_WRONLY | O_NONBLOCK);
                if (fd < 0)
                    continue;
                const bool written = ::write(fd, text.constData(), text.size()) == text.size();
                ::close(fd);
                return written;
            }
            return false;
        };
        RunWindow w;
        // After the window, so gone before it: its end waits for the reader.
        auto guard = qScopeGuard([&] { release({}); });
        Controller& c = w.controller;
        c.setCookieFileForLaunch(QFile::decodeName(pipe));
        QSignalSpy finished(&c, &Controller::downloadFinished);
        c.takeAddress(server.baseUrl() + u"/m/pic012.jpg"_s);
        c.start_download();
        QVERIFY(c.isRunning());
        QTest::qWait(100);
        c.stop_download();
        QCOMPARE(finished.size(), 1);
        guard.dismiss();
        QVERIFY(release("127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc\n"));
        QTest::qWait(300);
        QCOMPARE(server.hits(u"/m/pic012.jpg"_s), 0);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!c.isRunning());
    }
};
QTEST_MAIN(TestRunFaults)
#include "tst_ui_runfaults.moc"
