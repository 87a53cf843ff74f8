#include "fixtureserver.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/uirun.h"

#include <csignal>

using namespace Qt::StringLiterals;

// The program's own handlers for the signals that end it like Quit (asked once it is fetching).
static bool catchesQuitSignals(qint64 pid)
{
    QFile file(u"/proc/%1/status"_s.arg(pid));
    const QString all = file.open(QFile::ReadOnly) ? file.readAll() : QString();
    const quint64 caught = all.section(u"SigCgt:\t"_s, 1).left(16).toULongLong(nullptr, 16);
    return (caught >> (SIGTERM - 1) & caught >> (SIGINT - 1) & caught >> (SIGHUP - 1) & 1) != 0;
}

class TestSignals : public QObject
{
    Q_OBJECT
private slots:
    void sigtermDuringAFetchQuitsLikeQuit()
    {
        FixtureServer server;
        server.addFile(u"/d/pic012.jpg"_s, FixtureServer::seriesBody(u"pic012.jpg"_s, 1024));
        server.addDrip(u"/d/pic013.jpg"_s, 1024, 1000); // still under way when the signal comes
        QTemporaryDir out;
        QFile::remove(QSettings(u"Stepgrab"_s, u"Stepgrab"_s).fileName());
        QProcess process;
        process.start(QStringLiteral(STEPGRAB_BINARY),
                      {u"--log"_s, u"--output"_s, out.path(), u"--start"_s, u"--quit-when-done"_s,
                       server.baseUrl() + u"/d/pic012.jpg"_s});
        QTRY_VERIFY_WITH_TIMEOUT(
            server.hits(u"/d/pic013.jpg"_s) && catchesQuitSignals(process.processId()), 15000);
        ::kill(pid_t(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, 0);
        QCOMPARE(process.readAllStandardOutput() + seriesFilesBelow(out.path(), 1024).join(u' '),
                 u"Download started. Downloaded pic012.jpg\n\nDownload finished. \npic012.jpg"_s);
        const QSettings written(u"Stepgrab"_s, u"Stepgrab"_s);
        QVERIFY(written.contains(u"SGWebBrowser"_s));
        QVERIFY(!written.value(u"StepgrabWindow"_s).toByteArray().isEmpty());
    }
};

QTEST_MAIN(TestSignals)
#include "tst_ui_signals.moc"
