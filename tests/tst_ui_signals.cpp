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

// A file the program holds open in `dir`: the one in transfer, once part of it is written.
static bool writesInto(qint64 pid, const QString& dir)
{
    QDirIterator it(u"/proc/%1/fd"_s.arg(pid),
                    QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext())
        if (QFileInfo(it.next()).symLinkTarget().startsWith(dir + u'/'))
            return true;
    return false;
}

class TestSignals : public QObject
{
    Q_OBJECT
private slots:
    // Each signal that ends the program like Quit, while it fetches: the run is stopped (and
    // counts as stopped), the log closes, the preferences and the window's place are kept, and
    // no part of the file in transfer stays. A second signal while it quits changes nothing.
    void quitSignalDuringAFetch_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::newRow("SIGTERM") << QList{SIGTERM};
        QTest::newRow("SIGINT, then SIGTERM while it quits") << QList{SIGINT, SIGTERM};
        QTest::newRow("SIGHUP: the terminal closed") << QList{SIGHUP};
    }
    void quitSignalDuringAFetch()
    {
        QFETCH(QList<int>, sent);
        FixtureServer server;
        server.addFile(u"/d/pic012.jpg"_s, FixtureServer::seriesBody(u"pic012.jpg"_s, 1024));
        // About a kilobyte a second: half a second in, part of it is on disk, the rest far off.
        server.addDrip(u"/d/pic013.jpg"_s, 1 << 20, 1);
        QTemporaryDir out;
        QFile::remove(QSettings(u"Stepgrab"_s, u"Stepgrab"_s).fileName());
        QProcess process;
        process.start(QStringLiteral(STEPGRAB_BINARY),
                      {u"--log"_s, u"--output"_s, out.path(), u"--start"_s, u"--quit-when-done"_s,
                       server.baseUrl() + u"/d/pic012.jpg"_s});
        QTRY_VERIFY_WITH_TIMEOUT(server.hits(u"/d/pic013.jpg"_s) &&
                                     catchesQuitSignals(process.processId()) &&
                                     writesInto(process.processId(), out.path()),
                                 15000);
        for (int signal : sent)
            ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, 0);
        QCOMPARE(process.readAllStandardOutput() + seriesFilesBelow(out.path(), 1024).join(u' '),
                 u"Download started.\nDownloaded pic012.jpg\n\nDownload finished.\npic012.jpg"_s);
        const QSettings written(u"Stepgrab"_s, u"Stepgrab"_s);
        QVERIFY(written.contains(u"SGWebBrowser"_s));
        QVERIFY(!written.value(u"StepgrabWindow"_s).toByteArray().isEmpty());
    }
};

QTEST_MAIN(TestSignals)
#include "tst_ui_signals.moc"
