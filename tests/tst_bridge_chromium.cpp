#include "fixtureserver.h"
#include "readers/browserreader.h"
#include "readers/chromium.h"
#include "support/table.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TestBridgeChromium : public QObject
{
    Q_OBJECT

private slots:
    // The DevTools port first, trusted with nothing and quickly given up; without it the browser
    // runs while the process its SingletonLock names lives, and the newest session file answers.
    void reader_data()
    {
        // endpoint: the /json/list answer, "stall" or "refused"
        // lock: HOST for this host, PID for this process
        // layout: "huge": Session_11 too big
        columns<QByteArray, QString, bool, QStringList, QString>("endpoint", "lock", "running",
                                                                 "addresses", "layout");
        const auto row = [](const char* name, const char* endpoint, const char* lock, bool running,
                            const QStringList& addresses, const char* layout = "") {
            QTest::newRow(name) << QByteArray(endpoint).replace('\'', '"') << QString(lock)
                                << running << addresses << QString(layout);
        };
        row("DevTools: pages in listed order, other targets skipped, no address kept in place",
            "[{'type':'page','url':'http://b/'},{'type':'service_worker','url':'http://w/'},"
            "{'type':'page','url':7},'page',{'type':'page','url':'http://a/'}]",
            "", true, {"http://b/", "", "http://a/"});
        row("DevTools stalls", "stall", "", false, {});
        row("dead holder", "refused", "HOST-2147483000", false, {});
        // The pages the recorded session files were made with.
        row("live holder, newest", "refused", "HOST-PID", true,
            {"http://127.0.0.1:8765/nav1.html", "http://127.0.0.1:8765/c.html"});
        row("session file over the limit", "refused", "HOST-PID", true, {}, "huge");
    }
    void reader()
    {
        QFETCH(QByteArray, endpoint);
        QFETCH(QString, lock);
        QFETCH(QString, layout);
        FixtureServer server;
        if (endpoint == "stall")
            server.addStall("/json/list", 10);
        else if (endpoint != "refused")
            server.addFile("/json/list", endpoint, 200, "application/json");
        QTemporaryDir config;
        const QString userData = config.path(), sessions = userData + "/Default/Sessions/";
        QVERIFY(QDir().mkpath(sessions));
        // Session_11 of "huge": a real file, its windows first, then more than the limit.
        int n = 9;
        for (const char* from : {"one_window", "two_windows_history", "two_windows_history"})
            QVERIFY(QFile::copy(QFINDTESTDATA(u"data/chromium/%1.snss"_s.arg(from)),
                                sessions + "Session_" + QString::number(n++)));
        QVERIFY(layout != "huge" || QFile::resize(sessions + "Session_11", 64 * 1024 * 1024 + 1));
        if (!lock.isEmpty())
            QVERIFY(QFile::link(lock.replace("HOST", QSysInfo::machineHostName())
                                    .replace("PID", QString::number(::getpid())),
                                userData + "/SingletonLock"));
        const QDeadlineTimer quick(4000);
        const int port = endpoint == "refused" ? server.refusingPort() : server.port();
        const bridge::Windows windows =
            bridge::makeChromiumReader(
                {.devtoolsPort = port, .chromiumProfile = userData + "/Default"})
                ->read();
        QTEST(windows.running, "running");
        QTEST(windows.addresses, "addresses");
        QVERIFY(!quick.hasExpired());
    }
};

QTEST_GUILESS_MAIN(TestBridgeChromium)
#include "tst_bridge_chromium.moc"
