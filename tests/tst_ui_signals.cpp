#include "fixtureserver.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/uirun.h"

#include <csignal>

using namespace Qt::StringLiterals;

// The program's own handlers: until it has been exec'd, the child is a copy of this test,
// whose crash handlers catch the same signals.
static bool catchesQuitSignals(qint64 pid)
{
    if (QFileInfo(u"/proc/%1/exe"_s.arg(pid)).canonicalFilePath() !=
        QFileInfo(QStringLiteral(STEPGRAB_BINARY)).canonicalFilePath())
        return false;
    QFile file(u"/proc/%1/status"_s.arg(pid));
    const QString all = file.open(QFile::ReadOnly) ? file.readAll() : QString();
    const quint64 caught = all.section(u"SigCgt:\t"_s, 1).left(16).toULongLong(nullptr, 16);
    return (caught >> (SIGTERM - 1) & caught >> (SIGINT - 1) & caught >> (SIGHUP - 1) & 1) != 0;
}

class TestSignals : public QObject
{
    Q_OBJECT

private slots:
    void quitLikeQuit_data()
    {
        QTest::addColumn<QString>("arguments"); // "@" stands for the fixture server
        QTest::addColumn<QList<int>>("signalsSent");
        QTest::addColumn<QString>("log"); // the whole standard output, then the files kept
        const QString fetch = u"--start --quit-when-done @/d/pic012.jpg"_s;
        const QString ran =
            u"Download started. Downloaded pic012.jpg\n\nDownload finished. \npic012.jpg"_s;
        QTest::newRow("SIGTERM during a fetch") << fetch << QList{SIGTERM} << ran;
        QTest::newRow("SIGTERM right after SIGINT") << fetch << QList{SIGINT, SIGTERM} << ran;
        QTest::newRow("SIGTERM while idle after a run that found nothing")
            << "--start @/none/pic012.jpg" << QList{SIGTERM}
            << "Download started. pic012.jpg was not found on the server\n\nDownload finished. \n";
        QTest::newRow("SIGHUP caught before anything listens") << "" << QList{SIGHUP} << "\n";
    }

    void quitLikeQuit()
    {
        QFETCH(QString, arguments);
        QFETCH(QList<int>, signalsSent);
        FixtureServer server;
        server.addFile(u"/d/pic012.jpg"_s, FixtureServer::seriesBody(u"pic012.jpg"_s, 1024));
        server.addDrip(u"/d/pic013.jpg"_s, 1024, 1000); // still under way when the signal comes
        QTemporaryDir out;
        QFile::remove(QSettings(u"Stepgrab"_s, u"Stepgrab"_s).fileName());
        QProcess process;
        process.start(QStringLiteral(STEPGRAB_BINARY),
                      QStringList{u"--log"_s, u"--output"_s, out.path()} +
                          QProcess::splitCommand(arguments.replace(u'@', server.baseUrl())));
        // Once the handlers are in, and the next fetch is under way or the run has ended.
        QTRY_VERIFY_WITH_TIMEOUT(catchesQuitSignals(process.processId()) &&
                                     (arguments.isEmpty() || server.hits(u"/d/pic013.jpg"_s) ||
                                      process.peek(4096).contains("Download finished.")),
                                 15000);
        for (int signal : signalsSent)
            ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, 0);
        QTEST(QString::fromLocal8Bit(process.readAllStandardOutput()) +
                  seriesFilesBelow(out.path(), 1024).join(u' '),
              "log");
        const QSettings written(u"Stepgrab"_s, u"Stepgrab"_s);
        QVERIFY(written.contains(u"SGWebBrowser"_s));
        QVERIFY(!written.value(u"StepgrabWindow"_s).toByteArray().isEmpty());
    }
};

QTEST_MAIN(TestSignals)

#include "tst_ui_signals.moc"
