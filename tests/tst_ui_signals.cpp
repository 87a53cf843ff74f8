#include "fixtureserver.h"
#include "support/series.h"

#include <QtTest>
#include <csignal>

using namespace Qt::StringLiterals;

// Before the application exists: the settings' place is fixed then. The program run inherits it.
static const QTemporaryDir kHome;
static const bool kIsolated = qputenv("XDG_CONFIG_HOME", kHome.path().toLocal8Bit());

static constexpr qint64 kSize = 20 * 1024;

static QStringList names(int first, int last)
{
    QStringList out;
    for (int n = first; n <= last; ++n)
        out << u"pic%1.jpg"_s.arg(n, 3, 10, QLatin1Char('0'));
    return out;
}

static QStringList filesBelow(const QString& dir)
{
    return seriesFilesBelow(dir, kSize);
}

// Whether the process catches all three quit signals yet (SigCgt of /proc/<pid>/status).
static bool catchesQuitSignals(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    const QByteArray all = status.readAll();
    const qsizetype at = all.indexOf("SigCgt:");
    if (at < 0)
        return false;
    const qsizetype from = at + qsizetype(sizeof "SigCgt:") - 1;
    const quint64 caught =
        all.mid(from, all.indexOf('\n', at) - from).trimmed().toULongLong(nullptr, 16);
    const quint64 wanted = 1ull << (SIGTERM - 1) | 1ull << (SIGINT - 1) | 1ull << (SIGHUP - 1);
    return (caught & wanted) == wanted;
}

class TestSignals : public QObject
{
    Q_OBJECT

private slots:
    void quitLikeQuit_data()
    {
        QTest::addColumn<QString>("moment"); // when the signals come: launch, idle, fetch
        QTest::addColumn<QList<int>>("signalsSent");
        QTest::addColumn<QString>("log"); // the whole standard output
        QTest::addColumn<int>("last");    // last number written into the folder

        const QString stopped =
            u"Download started. Downloaded pic012.jpg\n\nDownload finished. \n"_s;
        QTest::newRow("SIGTERM during a fetch") << u"fetch"_s << QList{SIGTERM} << stopped << 12;
        QTest::newRow("SIGINT during a fetch") << u"fetch"_s << QList{SIGINT} << stopped << 12;
        QTest::newRow("SIGHUP during a fetch") << u"fetch"_s << QList{SIGHUP} << stopped << 12;
        QTest::newRow("SIGINT right after SIGTERM during a fetch")
            << u"fetch"_s << QList{SIGTERM, SIGINT} << stopped << 12;
        QTest::newRow("SIGTERM while idle after a run")
            << u"idle"_s << QList{SIGTERM}
            << u"Download started. pic012.jpg was not found on the server\n\nDownload finished. \n"_s
            << 11;
        QTest::newRow("SIGTERM before the window is up")
            << u"launch"_s << QList{SIGTERM} << u"\n"_s << 11;
    }

    void quitLikeQuit()
    {
        QFETCH(QString, moment);
        QFETCH(QList<int>, signalsSent);
        QFETCH(QString, log);
        QFETCH(int, last);

        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 20, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        // Far longer than the test waits: the fetch is still under way when the signal comes.
        server.addDelayed(u"/d/pic013.jpg"_s, FixtureServer::seriesBody(u"pic013.jpg"_s, kSize),
                          20000);
        QTemporaryDir out;
        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        store.clear();
        store.sync();

        QStringList arguments{u"--log"_s, u"--output"_s, out.path()};
        if (moment == u"fetch")
            arguments << u"--start"_s << u"--quit-when-done"_s
                      << server.baseUrl() + u"/d/pic012.jpg"_s;
        if (moment == u"idle") // not found: the run ends at once, and the program stays
            arguments << u"--start"_s << server.baseUrl() + u"/none/pic012.jpg"_s;
        QProcess process;
        process.start(QStringLiteral(STEPGRAB_BINARY), arguments);
        QVERIFY(process.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(catchesQuitSignals(process.processId()), 10000);
        if (moment == u"fetch")
            QTRY_COMPARE_WITH_TIMEOUT(server.hits(u"/d/pic013.jpg"_s), 1, 15000);
        QByteArray printed;
        if (moment == u"idle")
            QTRY_VERIFY_WITH_TIMEOUT(
                (printed += process.readAllStandardOutput()).contains("Download finished."), 10000);
        for (int signal : signalsSent)
            ::kill(pid_t(process.processId()), signal);

        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, 0);
        QCOMPARE(QString::fromLocal8Bit(printed + process.readAllStandardOutput()), log);
        QCOMPARE(filesBelow(out.path()), names(12, last));
        store.sync();
        QVERIFY(store.contains(u"SGWebBrowser"_s));
        QVERIFY(!store.value(u"StepgrabWindow"_s).toByteArray().isEmpty());
    }
};

QTEST_MAIN(TestSignals)

#include "tst_ui_signals.moc"
