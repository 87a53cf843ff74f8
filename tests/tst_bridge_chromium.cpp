#include "fixtureserver.h"
#include "readers/browserreader.h"
#include "readers/chromium.h"
#include "support/freeport.h"
#include "support/processgroup.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;
using OptionalList = std::optional<QStringList>;
Q_DECLARE_METATYPE(OptionalList)

// An empty userData: the usual profiles of the configuration folder.
static bridge::Windows readChromium(int port, const QString& userData)
{
    const QString profile = userData.isEmpty() ? QString() : userData + "/Default";
    return bridge::makeChromiumReader({.devtoolsPort = port, .chromiumProfile = profile})->read();
}

// "nav1 c": the pages the recorded files were made with; "-": a window that shows none.
static QStringList recorded(const QString& pages)
{
    QStringList addresses = pages.split(' ', Qt::SkipEmptyParts);
    for (QString& name : addresses)
        name = name == "-" ? QString() : u"http://127.0.0.1:8765/%1.html"_s.arg(name);
    return addresses;
}

class TestBridgeChromium : public QObject
{
    Q_OBJECT

private slots:
    void sessionFile_data()
    {
        QTest::addColumn<OptionalList>("expected");
        QTest::newRow("two_windows_history") << OptionalList(recorded("nav1 c"));
        QTest::newRow("rewritten") << OptionalList(recorded("pq3 c"));
        QTest::newRow("truncated_last_command") << OptionalList(recorded("nav1 c"));
        QTest::newRow("corrupted_size") << OptionalList(recorded("d c"));
        QTest::newRow("corrupted_url_length") << OptionalList(recorded("nav1 -"));
        QTest::newRow("corrupted_magic") << OptionalList();
    }

    void sessionFile()
    {
        QFile in(QFINDTESTDATA("data/chromium/" + QString(QTest::currentDataTag()) + ".snss"));
        QVERIFY(in.open(QIODevice::ReadOnly));
        QTEST(bridge::parseChromiumSession(in.readAll()), "expected");
    }

    // The DevTools port first, trusted with nothing and quickly given up; without it the browser
    // runs while the process its SingletonLock names lives, and the newest session file answers.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("endpoint"); // the /json/list answer, "stall" or "refused"
        QTest::addColumn<QString>("lock");        // HOST: this host, PID: this process
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QString>(
            "layout"); // "chrome": no profile given; "huge": Session_11 too big
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
        row("other host", "refused", "elsewhere.invalid-PID", false, {});
        row("live holder, newest", "refused", "HOST-PID", true, recorded("nav1 c"));
        row("Chrome, not Chromium", "refused", "HOST-PID", true, recorded("nav1 c"), "chrome");
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
        const QString userData = config.path() + (layout == "chrome" ? "/google-chrome" : "/u");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        QVERIFY(QDir().mkpath(config.path() + "/chromium/Default"));
        const QString sessions = userData + "/Default/Sessions/";
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
        const bridge::Windows windows =
            readChromium(endpoint == "refused" ? server.refusingPort() : server.port(),
                         layout == "chrome" ? QString() : userData);
        QTEST(windows.running, "running");
        QTEST(windows.addresses, "addresses");
        QVERIFY(!quick.hasExpired());
    }

    // The browser opened with the first page selected: headless it answers on a DevTools port;
    // under Xvfb without one, its session file names the tab within 15 s of the pages loading.
    void realBrowser_data()
    {
        QTest::addColumn<bool>("headless");
        for (bool headless : {true, false})
            QTest::newRow(headless ? "headless, DevTools port" : "Xvfb, session file") << headless;
    }

    void realBrowser()
    {
        QFETCH(bool, headless);
        const QString chromium = QStandardPaths::findExecutable("chromium");
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (chromium.isEmpty() || (!headless && xvfb.isEmpty()))
            QSKIP("chromium or Xvfb is not installed (apt-get install chromium xvfb)");
        FixtureServer server;
        server.addFile("/first.html", "<title>first</title>", 200, "text/html");
        server.addFile("/second.html", "<title>second</title>", 200, "text/html");
        const QString first = server.baseUrl() + "/first.html";
        QTemporaryDir userData;
        QStringList arguments =
            u"--no-sandbox --disable-gpu --no-first-run --no-default-browser-check"_s.split(' ');
        arguments << "--user-data-dir=" + userData.path() << first;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const int port = headless ? freeLocalPort() : server.refusingPort();
        Group display, browser;
        if (headless) {
            arguments << "--headless" << u"--remote-debugging-port=%1"_s.arg(port);
        } else {
            // -displayfd: Xvfb picks a free display and tells its number once it accepts clients.
            QVERIFY(display.start(
                xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}));
            QTRY_VERIFY_WITH_TIMEOUT(display.process.canReadLine(), 10000);
            environment.insert("DISPLAY",
                               ":" + QString::fromLatin1(display.process.readLine().trimmed()));
            arguments << server.baseUrl() + "/second.html"; // two tabs, the first selected
        }
        QVERIFY(browser.start(chromium, arguments, environment));
        QTRY_VERIFY_WITH_TIMEOUT(
            server.hits("/first.html") > 0 && (headless || server.hits("/second.html") > 0), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(readChromium(port, userData.path()).addresses, QStringList{first},
                                  15000);
        QVERIFY(readChromium(port, userData.path()).running);
        browser.stop();
        QVERIFY(!readChromium(port, userData.path()).running);
    }
};

QTEST_GUILESS_MAIN(TestBridgeChromium)
#include "tst_bridge_chromium.moc"
