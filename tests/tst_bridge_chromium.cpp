#include "fixtureserver.h"
#include "readers/browserreader.h"
#include "readers/chromium.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <optional>
#include <sys/types.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using OptionalList = std::optional<QStringList>;
Q_DECLARE_METATYPE(OptionalList)

namespace {

const QString kRecorded = u"http://127.0.0.1:8765/"_s;

QByteArray page(const QByteArray& title)
{
    return "<html><head><title>" + title + "</title></head><body>" + title + "</body></html>";
}

// A program started in a process group of its own, so that stopping it ends the helpers it
// forked too (Chromium's zygote and renderers).
class Group
{
public:
    ~Group() { stop(); }

    bool start(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        m_process.setProcessEnvironment(environment);
        m_process.setChildProcessModifier([] { ::setsid(); });
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            return false;
        m_pid = m_process.processId();
        return true;
    }

    QProcess& process() { return m_process; }

    void stop()
    {
        if (m_pid <= 0)
            return;
        ::kill(-m_pid, SIGTERM);
        if (!m_process.waitForFinished(5000)) {
            ::kill(-m_pid, SIGKILL);
            m_process.waitForFinished(5000);
        }
        // Helpers that outlived the leader still carry its group.
        ::kill(-m_pid, SIGKILL);
        m_pid = 0;
    }

private:
    QProcess m_process;
    qint64 m_pid = 0;
};

bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QTest::qWait(200);
    }
    return true;
}

int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}

} // namespace

class TestBridgeChromium : public QObject
{
    Q_OBJECT

private slots:
    void sessionFile_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<OptionalList>("expected");
        const auto r = [](const QString& name) { return kRecorded + name; };

        QTest::newRow("one window, first tab selected")
            << "one_window.snss" << OptionalList(QStringList{r("a.html")});
        QTest::newRow("new tab selected")
            << "new_tab_selected.snss" << OptionalList(QStringList{r("c.html")});
        QTest::newRow("two windows, the active one's entry before its last")
            << "two_windows_history.snss" << OptionalList(QStringList{r("nav1.html"), r("c.html")});
        QTest::newRow("tab closed")
            << "tab_closed.snss" << OptionalList(QStringList{r("nav1.html"), r("c.html")});
        QTest::newRow("window closed")
            << "window_closed.snss" << OptionalList(QStringList{r("nav1.html"), r("c.html")});
        QTest::newRow("rewritten file, active window first")
            << "rewritten.snss" << OptionalList(QStringList{r("pq3.html"), r("c.html")});

        QTest::newRow("truncated inside the last command")
            << "truncated_last_command.snss"
            << OptionalList(QStringList{r("nav1.html"), r("c.html")});
        QTest::newRow("truncated before the selected tab has an entry")
            << "truncated_before_history.snss" << OptionalList(QStringList{r("c.html")});
        QTest::newRow("truncated after a size field")
            << "truncated_size_only.snss" << OptionalList(QStringList{r("c.html")});
        QTest::newRow("truncated header") << "truncated_header.snss" << OptionalList();

        QTest::newRow("corrupted magic") << "corrupted_magic.snss" << OptionalList();
        QTest::newRow("corrupted version") << "corrupted_version.snss" << OptionalList();
        QTest::newRow("command size past the end")
            << "corrupted_size.snss" << OptionalList(QStringList{r("d.html"), r("c.html")});
        QTest::newRow("url length past the end")
            << "corrupted_url_length.snss" << OptionalList(QStringList{r("nav1.html")});
        QTest::newRow("negative url length")
            << "corrupted_url_negative.snss" << OptionalList(QStringList{r("nav1.html")});
        QTest::newRow("pickle size past the end")
            << "corrupted_pickle_size.snss" << OptionalList(QStringList{r("nav1.html")});
        QTest::newRow("negative selected tab")
            << "corrupted_selected_tab.snss" << OptionalList(QStringList{r("d.html"), r("c.html")});
        QTest::newRow("sizes zeroed after the first window")
            << "corrupted_zeroed.snss" << OptionalList(QStringList{r("c.html")});
    }

    void sessionFile()
    {
        QFETCH(QString, file);
        QFETCH(OptionalList, expected);
        QFile in(QFINDTESTDATA("data/chromium/" + file));
        QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(file));
        QCOMPARE(bridge::parseChromiumSession(in.readAll()), expected);
    }

    void devToolsList_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("pages in listed order")
            << "[{\"type\":\"page\",\"url\":\"http://b/\"},{\"type\":\"page\",\"url\":\"http://a/\"}]"_ba
            << QStringList{"http://b/", "http://a/"};
        QTest::newRow("other targets skipped")
            << "[{\"type\":\"service_worker\",\"url\":\"http://w/\"},{\"type\":\"iframe\",\"url\":\"http://f/\"}, {\"type\":\"page\",\"url\":\"http://p/\"},{\"type\":\"background_page\",\"url\":\"x\"}]"_ba
            << QStringList{"http://p/"};
        QTest::newRow("missing and odd fields skipped")
            << "[{\"url\":\"http://no-type/\"},{\"type\":\"page\"},{\"type\":\"page\",\"url\":7}, {\"type\":\"page\",\"url\":null},{\"type\":\"page\",\"url\":\"\"},\"page\",3, {\"type\":\"page\",\"url\":\"http://ok/\"}]"_ba
            << QStringList{"http://ok/"};
        QTest::newRow("not an array")
            << "{\"type\":\"page\",\"url\":\"http://p/\"}"_ba << QStringList();
        QTest::newRow("cut short")
            << "[{\"type\":\"page\",\"url\":\"http://p/\"}"_ba << QStringList();
        QTest::newRow("empty") << QByteArray() << QStringList();
        QTest::newRow("binary") << QByteArray("\x00\xff[\"", 4) << QStringList();
    }

    void devToolsList()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, expected);
        QCOMPARE(bridge::parseDevToolsList(json), expected);
    }

    // The endpoint is trusted with nothing: a page that is no answer, one too large or one that
    // never ends all read as "no debugging port here", quickly.
    void devToolsEndpoint_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("answers") << "answers" << true << QStringList{"http://p/"};
        QTest::newRow("not found") << "404" << false << QStringList();
        QTest::newRow("over the size bound") << "large" << false << QStringList();
        QTest::newRow("stalls") << "stall" << false << QStringList();
        QTest::newRow("refused") << "refused" << false << QStringList();
    }

    void devToolsEndpoint()
    {
        QFETCH(QString, kind);
        QFETCH(bool, running);
        QFETCH(QStringList, addresses);
        FixtureServer server;
        if (kind == "answers")
            server.addFile("/json/list", "[{\"type\":\"page\",\"url\":\"http://p/\"}]", 200,
                           "application/json");
        else if (kind == "404")
            server.addFile("/json/list", "[]", 404, "application/json");
        else if (kind == "large")
            server.addLarge("/json/list", 5 * 1024 * 1024);
        else if (kind == "stall")
            server.addStall("/json/list", 10);
        QTemporaryDir profiles; // no profile with a live lock: the session file says nothing
        bridge::Options options;
        options.devtoolsPort = kind == "refused" ? server.refusingPort() : server.port();
        options.chromiumProfile = profiles.path() + "/Default";
        QElapsedTimer timer;
        timer.start();
        const bridge::Windows windows = bridge::makeChromiumReader(options)->read();
        QCOMPARE(windows.running, running);
        QCOMPARE(windows.addresses, addresses);
        QVERIFY2(timer.elapsed() < 4000, qPrintable(u"took %1 ms"_s.arg(timer.elapsed())));
    }

    // Without a debugging port the browser runs while the process its SingletonLock names
    // lives; then the newest session file of the profile answers.
    void profileLock_data()
    {
        QTest::addColumn<QString>("lock");             // HOST: this host, PID: this process
        QTest::addColumn<QStringList>("sessionFiles"); // file name=data file
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("addresses");
        const QStringList two{kRecorded + "nav1.html", kRecorded + "c.html"};
        const QStringList both{"Session_9=one_window.snss", "Session_10=two_windows_history.snss"};
        QTest::newRow("no lock") << QString() << both << false << QStringList();
        QTest::newRow("dead holder") << "HOST-2147483000" << both << false << QStringList();
        QTest::newRow("other host") << "elsewhere.invalid-PID" << both << false << QStringList();
        QTest::newRow("odd lock") << "HOST-xPID" << both << false << QStringList();
        QTest::newRow("live holder, newest by number") << "HOST-PID" << both << true << two;
        QTest::newRow("older version's Current Session")
            << "HOST-PID" << QStringList{"Current Session=new_tab_selected.snss"} << true
            << QStringList{kRecorded + "c.html"};
        QTest::newRow("no session file yet")
            << "HOST-PID" << QStringList() << true << QStringList();
        QTest::newRow("not a session file")
            << "HOST-PID" << QStringList{"Session_1=README"} << true << QStringList();
    }

    void profileLock()
    {
        QFETCH(QString, lock);
        QFETCH(QStringList, sessionFiles);
        QFETCH(bool, running);
        QFETCH(QStringList, addresses);
        QTemporaryDir userData;
        const QString profile = userData.path() + "/Default";
        QVERIFY(QDir().mkpath(profile + "/Sessions"));
        if (!lock.isEmpty())
            QVERIFY(QFile::link(QString(lock)
                                    .replace("HOST", QSysInfo::machineHostName())
                                    .replace("PID", QString::number(::getpid())),
                                userData.path() + "/SingletonLock"));
        for (const QString& entry : sessionFiles) {
            const QString name = entry.section('=', 0, 0), data = entry.section('=', 1);
            const QString target =
                name.startsWith("Session_") ? profile + "/Sessions/" + name : profile + '/' + name;
            QVERIFY(QFile::copy(QFINDTESTDATA("data/chromium/" + data), target));
        }
        FixtureServer server;
        bridge::Options options;
        options.devtoolsPort = server.refusingPort();
        options.chromiumProfile = profile;
        const bridge::Windows windows = bridge::makeChromiumReader(options)->read();
        QCOMPARE(windows.running, running);
        QCOMPARE(windows.addresses, addresses);
    }

    void headlessDevTools()
    {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (apt-get install chromium)");
        FixtureServer server;
        server.addFile("/shown.html", page("shown"), 200, "text/html");
        const QString url = server.baseUrl() + "/shown.html";
        QTemporaryDir userData;
        const int port = freePort();
        Group browser;
        QVERIFY(
            browser.start(chromium, {"--headless", "--no-sandbox", "--disable-gpu",
                                     "--no-first-run", u"--remote-debugging-port=%1"_s.arg(port),
                                     "--user-data-dir=" + userData.path(), url}));
        bridge::Options options;
        options.devtoolsPort = port;
        options.chromiumProfile = userData.path() + "/Default";
        const auto reader = bridge::makeChromiumReader(options);
        bridge::Windows windows;
        const bool answered = waitFor(
            [&] {
                windows = reader->read();
                return windows.addresses.contains(url);
            },
            20000);
        QVERIFY2(answered, qPrintable("last answer: " + windows.addresses.join(' ')));
        QVERIFY(windows.running);
        QCOMPARE(windows.addresses, QStringList{url});
    }

    void sessionFileOfRealBrowser()
    {
        const QString chromium = QStandardPaths::findExecutable("chromium");
        if (chromium.isEmpty())
            QSKIP("chromium is not installed (apt-get install chromium)");
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        if (xvfb.isEmpty())
            QSKIP("Xvfb is not installed (apt-get install xvfb)");

        // -displayfd: Xvfb picks a free display and tells its number once it accepts clients.
        Group display;
        QVERIFY(display.start(
            xvfb, {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"}));
        QVERIFY2(waitFor([&] { return display.process().canReadLine(); }, 10000),
                 "Xvfb did not start");
        const QByteArray number = display.process().readLine().trimmed();
        QVERIFY2(!number.isEmpty(), "Xvfb told no display");

        FixtureServer server;
        server.addFile("/first.html", page("first"), 200, "text/html");
        server.addFile("/second.html", page("second"), 200, "text/html");
        const QString first = server.baseUrl() + "/first.html";
        QTemporaryDir userData;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", ":" + QString::fromLatin1(number));
        Group browser;
        // Opened with two addresses, the browser selects the first tab.
        QVERIFY(browser.start(chromium,
                              {"--no-sandbox", "--disable-gpu", "--no-first-run",
                               "--no-default-browser-check", "--user-data-dir=" + userData.path(),
                               first, server.baseUrl() + "/second.html"},
                              environment));
        QVERIFY2(
            waitFor(
                [&] { return server.hits("/first.html") > 0 && server.hits("/second.html") > 0; },
                20000),
            "chromium did not load both pages");

        bridge::Options options;
        options.devtoolsPort = server.refusingPort();
        options.chromiumProfile = userData.path() + "/Default";
        const auto reader = bridge::makeChromiumReader(options);
        QElapsedTimer loaded;
        loaded.start();
        bridge::Windows windows;
        const bool answered = waitFor(
            [&] {
                windows = reader->read();
                return windows.addresses == QStringList{first};
            },
            15000);
        QVERIFY2(answered, qPrintable(u"after %1 ms: running %2, %3"_s.arg(loaded.elapsed())
                                          .arg(windows.running)
                                          .arg(windows.addresses.join(' '))));
        QVERIFY(windows.running);
        qInfo("the session file named the tab %lld ms after both pages loaded", loaded.elapsed());

        browser.stop();
        QVERIFY(!reader->read().running);
    }
};

QTEST_GUILESS_MAIN(TestBridgeChromium)
#include "tst_bridge_chromium.moc"
