#include "fixtureserver.h"
#include "readers/browserchoice.h"
#include "readers/firefox.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <lz4.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace bridge;

Q_DECLARE_METATYPE(bridge::BrowserFamily)

namespace {

// A session store as Firefox writes it: magic, little-endian size, one LZ4 block.
QByteArray mozLz4(const QByteArray& json)
{
    QByteArray block(LZ4_compressBound(int(json.size())), Qt::Uninitialized);
    block.resize(
        LZ4_compress_default(json.constData(), block.data(), int(json.size()), int(block.size())));
    const quint32 n = quint32(json.size());
    const char size[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    return QByteArrayView("mozLz40\0", 8).toByteArray() + QByteArray(size, 4) + block;
}

// A tab whose history holds `urls`, at the 1-based entry `index` (0: the field left out).
QByteArray tab(const QList<QByteArray>& urls, int index)
{
    QByteArrayList entries;
    for (const QByteArray& url : urls)
        entries << R"({"url":")" + url + R"(","title":"t"})";
    const QByteArray at = index ? R"(,"index":)" + QByteArray::number(index) : QByteArray();
    return R"({"entries":[)" + entries.join(',') + "]" + at + "}";
}

QByteArray window(const QByteArrayList& tabs, const QByteArray& selected)
{
    return R"({"tabs":[)" + tabs.join(',') + R"(],"selected":)" + selected + "}";
}

// Two windows; the first shows b2 (its second tab, a history it went back in), the second d1.
QByteArray twoWindows(const QByteArray& selectedWindow)
{
    return R"({"version":["sessionrestore",1],"windows":[)" +
           window({tab({"a1", "a2"}, 2), tab({"b1", "b2", "b3"}, 2)}, "2") + "," +
           window({tab({"c1"}, 1), tab({"d1", "d2"}, 1)}, "2") + "]" + selectedWindow + "}";
}

QByteArray oneWindow(const QByteArray& window)
{
    return R"({"windows":[)" + window + R"(],"selectedWindow":1})";
}

class FixedReader : public BrowserReader
{
public:
    FixedReader(bool running, QString address) : m_windows{running, {address}} {}
    Windows read() override { return m_windows; }

private:
    Windows m_windows;
};

} // namespace

class TestBridgeFirefox : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

    static void write(const QString& path, const QByteArray& content)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(content), content.size());
    }

private slots:
    void initTestCase()
    {
        // The readers look for profiles.ini and xdg-settings for mimeapps.list in the home.
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(".config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(".local/share")));
    }

    void sessionStore_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("addresses");
        const QStringList firstFront{"b2", "d1"};
        QTest::newRow("selectedWindow 0") << twoWindows(R"(,"selectedWindow":0)") << firstFront;
        QTest::newRow("selectedWindow 1") << twoWindows(R"(,"selectedWindow":1)") << firstFront;
        QTest::newRow("selectedWindow 2")
            << twoWindows(R"(,"selectedWindow":2)") << QStringList{"d1", "b2"};
        QTest::newRow("selectedWindow missing") << twoWindows("") << firstFront;
        QTest::newRow("selectedWindow past the end")
            << twoWindows(R"(,"selectedWindow":3)") << firstFront;
        QTest::newRow("selectedWindow a string")
            << twoWindows(R"(,"selectedWindow":"2")") << firstFront;
        QTest::newRow("selected second of three, the others keep their order")
            << QByteArray(R"({"windows":[)" + window({tab({"x"}, 1)}, "1") + "," +
                          window({tab({"y"}, 1)}, "1") + "," + window({tab({"z"}, 1)}, "1") +
                          R"(],"selectedWindow":2})")
            << QStringList{"y", "x", "z"};
        QTest::newRow("entry index missing: the newest")
            << oneWindow(window({tab({"e1", "e2", "e3"}, 0)}, "1")) << QStringList{"e3"};
        QTest::newRow("entry index past the end: the newest")
            << oneWindow(window({tab({"e1", "e2"}, 9)}, "1")) << QStringList{"e2"};
        QTest::newRow("entry index negative: the oldest")
            << oneWindow(window({tab({"e1", "e2"}, -4)}, "1")) << QStringList{"e1"};
        QTest::newRow("selected tab past the end: the first")
            << oneWindow(window({tab({"t1"}, 1), tab({"t2"}, 1)}, "7")) << QStringList{"t1"};
        QTest::newRow("selected tab a fraction: the first")
            << oneWindow(window({tab({"t1"}, 1), tab({"t2"}, 1)}, "1.5")) << QStringList{"t1"};
        QTest::newRow("window without tabs left out")
            << QByteArray(R"({"windows":[{"tabs":[]},)" + window({tab({"w"}, 1)}, "1") + "]}")
            << QStringList{"w"};
        QTest::newRow("url not a string: window left out")
            << QByteArray(R"({"windows":[{"tabs":[{"entries":[{"url":5}]}]},{"tabs":"x"},)" +
                          window({tab({"w"}, 1)}, "1") + R"(,7]})")
            << QStringList{"w"};
        QTest::newRow("non-ASCII address")
            << oneWindow(window({tab({"http://h/\xc3\xa9"}, 1)}, "1"))
            << QStringList{u"http://h/\u00e9"_s};
        QTest::newRow("no windows")
            << QByteArray(R"({"windows":[],"selectedWindow":0})") << QStringList{};
    }
    void sessionStore()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, addresses);
        const std::optional<QStringList> read = firefox::parseFirefoxSessionStore(mozLz4(json));
        QVERIFY(read);
        QCOMPARE(*read, addresses);
    }

    void unreadable_data()
    {
        QTest::addColumn<QByteArray>("file");
        const QByteArray good = mozLz4(twoWindows(""));
        QVERIFY(firefox::parseFirefoxSessionStore(good));
        const auto withSize = [&good](quint32 n) {
            const char le[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
            return good.left(8) + QByteArray(le, 4) + good.mid(12);
        };
        const quint32 size = quint32(twoWindows("").size());
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("header only") << good.left(12);
        QTest::newRow("other magic") << "mozLz41" + good.mid(7);
        QTest::newRow("block cut short") << good.chopped(9);
        QTest::newRow("trailing bytes") << good + "xx";
        QTest::newRow("size one more") << withSize(size + 1);
        QTest::newRow("size one less") << withSize(size - 1);
        QTest::newRow("size zero") << withSize(0);
        QTest::newRow("size past the cap") << withSize(0xffffffffu);
        QTest::newRow("size past what the block can hold") << withSize(quint32(good.size()) * 300);
        QTest::newRow("not JSON") << mozLz4("{\"windows\":[");
        QTest::newRow("JSON array") << mozLz4("[1,2]");
        QTest::newRow("windows not an array") << mozLz4(R"({"windows":{"0":1}})");
        for (const char* name : {"cut-mid-block.jsonlz4", "overwritten-block.jsonlz4"}) {
            QFile file(QFINDTESTDATA(u"data/firefox/"_s + QLatin1String(name)));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QTest::newRow(name) << file.readAll();
        }
    }
    void unreadable()
    {
        QFETCH(QByteArray, file);
        QCOMPARE(firefox::parseFirefoxSessionStore(file), std::nullopt);
    }

    // As firefox-esr 153 wrote it, with the page it showed and the tab it opens on a first run.
    void realSessionStore()
    {
        QFile file(QFINDTESTDATA("data/firefox/firefox-esr-153.jsonlz4"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(firefox::parseFirefoxSessionStore(file.readAll()),
                 QStringList{"http://127.0.0.1:18765/page.html"});
    }

    void profiles_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("candidates");
        // What firefox-esr 153 wrote in a fresh home: its Install section names the profile it
        // uses, Default=1 marks another.
        QTest::newRow("Install section before Default=1")
            << QByteArray("[Profile1]\nName=default\nIsRelative=1\nPath=dgva3l5h.default\n"
                          "Default=1\n\n[Profile0]\nName=default-esr\nIsRelative=1\n"
                          "Path=h9wnuvrl.default-esr\n\n[General]\nStartWithLastProfile=1\n"
                          "Version=2\n\n[Install3B6073811A6ABF12]\nDefault=h9wnuvrl.default-esr\n"
                          "Locked=1\n")
            << QStringList{"/ini/h9wnuvrl.default-esr", "/ini/dgva3l5h.default"};
        QTest::newRow("Default=1 before the first")
            << QByteArray("[Profile0]\nIsRelative=1\nPath=a\n[Profile1]\nIsRelative=1\nPath=b\n"
                          "Default=1\n")
            << QStringList{"/ini/b", "/ini/a"};
        QTest::newRow("only profile, CRLF, blanks and comments")
            << QByteArray("; made by hand\r\n[Profile0]\r\n Path = x.default \r\n"
                          "IsRelative=1\r\n# done\r\n")
            << QStringList{"/ini/x.default"};
        QTest::newRow("absolute path")
            << QByteArray("[Profile0]\nIsRelative=0\nPath=/srv/ff/p\nDefault=1\n")
            << QStringList{"/srv/ff/p"};
        QTest::newRow("absolute Install default")
            << QByteArray("[Install1]\nDefault=/srv/ff/q\n[Profile0]\nIsRelative=1\nPath=a\n")
            << QStringList{"/srv/ff/q", "/ini/a"};
        QTest::newRow("relative path not marked relative")
            << QByteArray("[Profile0]\nPath=a\n[Profile1]\nIsRelative=1\nPath=b\n")
            << QStringList{"/ini/b"};
        QTest::newRow("keys before any section, no Path")
            << QByteArray("Path=a\n[Profile0]\nIsRelative=1\n") << QStringList{};
        QTest::newRow("not an ini") << QByteArray("\x89PNG\r\n\x1a\n\0\0[", 12) << QStringList{};
    }
    void profiles()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, candidates);
        QCOMPARE(firefox::profileCandidates(ini, "/ini"), candidates);
    }

    void lockOwner_data()
    {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<qint64>("pid");
        QTest::newRow("IPv4") << QByteArray("127.0.0.1:+19442") << qint64(19442);
        QTest::newRow("IPv6") << QByteArray("fe80::1:+77") << qint64(77);
        QTest::newRow("no plus") << QByteArray("127.0.0.1:19442") << qint64(-1);
        QTest::newRow("no pid") << QByteArray("127.0.0.1:+") << qint64(-1);
        QTest::newRow("letters") << QByteArray("127.0.0.1:+12ab") << qint64(-1);
        QTest::newRow("zero") << QByteArray("127.0.0.1:+0") << qint64(-1);
        QTest::newRow("too large") << QByteArray("127.0.0.1:+99999999999") << qint64(-1);
    }
    void lockOwner()
    {
        QFETCH(QByteArray, target);
        QFETCH(qint64, pid);
        QCOMPARE(firefox::lockOwner(target).value_or(-1), pid);
    }

    // The reader over the default profile of a home laid out by the test; this test process
    // plays the Firefox that holds the lock.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("lockTarget");
        QTest::addColumn<QByteArray>("recovery");
        QTest::addColumn<QByteArray>("backup");
        QTest::addColumn<bool>("stale");
        QTest::addColumn<bool>("running");
        QTest::addColumn<QStringList>("addresses");
        const QByteArray alive = "127.0.0.1:+" + QByteArray::number(::getpid());
        const QByteArray store = mozLz4(twoWindows(R"(,"selectedWindow":2)"));
        const QByteArray backup = mozLz4(oneWindow(window({tab({"bak"}, 1)}, "1")));
        QTest::newRow("running") << alive << store << QByteArray() << false << true
                                 << QStringList{"d1", "b2"};
        QTest::newRow("lock of a process gone") << QByteArray("127.0.0.1:+2147483000") << store
                                                << QByteArray() << false << false << QStringList{};
        QTest::newRow("no lock") << QByteArray() << store << QByteArray() << false << false
                                 << QStringList{};
        QTest::newRow("running, nothing written yet")
            << alive << QByteArray() << QByteArray() << false << true << QStringList{};
        QTest::newRow("store of an earlier run")
            << alive << store << QByteArray() << true << true << QStringList{};
        QTest::newRow("store unreadable, backup read")
            << alive << store.chopped(5) << backup << false << true << QStringList{"bak"};
    }
    void reader()
    {
        QFETCH(QByteArray, lockTarget);
        QFETCH(QByteArray, recovery);
        QFETCH(QByteArray, backup);
        QFETCH(bool, stale);
        QFETCH(bool, running);
        QFETCH(QStringList, addresses);
        const QString root = m_home.filePath(".mozilla/firefox");
        QDir(root).removeRecursively();
        write(root + "/profiles.ini",
              "[Install1]\nDefault=p.default\n[Profile0]\nIsRelative=1\nPath=p.default\n");
        const QString profile = root + "/p.default";
        QDir().mkpath(profile);
        if (!lockTarget.isEmpty())
            QVERIFY(::symlink(lockTarget.constData(), QFile::encodeName(profile + "/lock")) == 0);
        const QString backups = profile + "/sessionstore-backups/";
        if (!recovery.isEmpty())
            write(backups + "recovery.jsonlz4", recovery);
        if (!backup.isEmpty())
            write(backups + "recovery.baklz4", backup);
        if (stale) {
            QFile file(backups + "recovery.jsonlz4");
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                     QFileDevice::FileModificationTime));
        }
        const Windows windows = makeFirefoxReader({})->read();
        QCOMPARE(windows.running, running);
        QCOMPARE(windows.addresses, addresses);
    }

    void family_data()
    {
        QTest::addColumn<QString>("desktopFile");
        QTest::addColumn<BrowserFamily>("family");
        const auto row = [](const char* file, BrowserFamily family) {
            QTest::newRow(file) << QString::fromLatin1(file) << family;
        };
        for (const char* file :
             {"firefox-esr.desktop", "firefox.desktop", "firefox_firefox.desktop",
              "iceweasel.desktop", "org.mozilla.firefox.desktop"})
            row(file, BrowserFamily::Firefox);
        for (const char* file :
             {"chromium.desktop", "chromium-browser.desktop", "google-chrome.desktop",
              "google-chrome-beta.desktop", "chrome.desktop", "org.chromium.Chromium.desktop",
              "brave-browser.desktop", "microsoft-edge.desktop", "vivaldi-stable.desktop"})
            row(file, BrowserFamily::Chromium);
        for (const char* file : {"", ".desktop", "epiphany.desktop", "chromeless.desktop",
                                 "my-firefox-launcher.desktop"})
            row(file, BrowserFamily::Unknown);
    }
    void family()
    {
        QFETCH(QString, desktopFile);
        QFETCH(BrowserFamily, family);
        QCOMPARE(browserFamilyOfDesktopFile(desktopFile), family);
    }

    // The real xdg-settings, which outside a desktop environment reads mimeapps.list and
    // answers only with a desktop file that exists.
    void xdgSettings_data()
    {
        QTest::addColumn<QString>("handler");
        QTest::addColumn<QString>("answer");
        QTest::newRow("firefox-esr") << "firefox-esr.desktop"
                                     << "firefox-esr.desktop";
        QTest::newRow("chromium") << "chromium.desktop"
                                  << "chromium.desktop";
        QTest::newRow("a browser of the user's") << "mybrowser.desktop"
                                                 << "mybrowser.desktop";
    }
    void xdgSettings()
    {
        QFETCH(QString, handler);
        QFETCH(QString, answer);
        if (QStandardPaths::findExecutable("xdg-settings").isEmpty())
            QSKIP("xdg-settings is not installed (Debian's xdg-utils)");
        const QString apps = m_home.filePath(".local/share/applications/");
        if (!QFileInfo::exists("/usr/share/applications/" + handler))
            write(apps + handler, "[Desktop Entry]\nType=Application\nName=B\nExec=true %u\n"
                                  "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        write(m_home.filePath(".config/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/http=" + handler.toUtf8() +
                  "\nx-scheme-handler/https=" + handler.toUtf8() + "\n");
        QCOMPARE(defaultBrowserDesktopFile(), answer);
    }

    void choice_data()
    {
        QTest::addColumn<BrowserFamily>("family");
        QTest::addColumn<bool>("firefoxRuns");
        QTest::addColumn<bool>("chromiumRuns");
        QTest::addColumn<QString>("answer");
        QTest::newRow("Firefox, Chromium runs") << BrowserFamily::Firefox << false << true << "ff";
        QTest::newRow("Chromium, Firefox runs") << BrowserFamily::Chromium << true << false << "cr";
        QTest::newRow("unknown, both run") << BrowserFamily::Unknown << true << true << "ff";
        QTest::newRow("unknown, Chromium runs") << BrowserFamily::Unknown << false << true << "cr";
    }
    void choice()
    {
        QFETCH(BrowserFamily, family);
        QFETCH(bool, firefoxRuns);
        QFETCH(bool, chromiumRuns);
        QFETCH(QString, answer);
        FixedReader firefox(firefoxRuns, "ff"), chromium(chromiumRuns, "cr");
        QCOMPARE(readBrowserOfFamily(family, firefox, chromium).addresses, QStringList{answer});
    }

    void realFirefox();
};

namespace {

// A Firefox started in a process group of its own, ended with the whole group. Its crash
// helper leaves the group (a session of its own) and ends when it sees Firefox gone: it is
// waited for too.
class FirefoxProcess
{
public:
    QProcess process;

    ~FirefoxProcess() { stop(); }
    void stop()
    {
        const qint64 pid = process.processId();
        if (pid <= 0)
            return;
        ::kill(-pid_t(pid), SIGKILL);
        process.waitForFinished(5000);
        QElapsedTimer waited;
        waited.start();
        while ((::kill(-pid_t(pid), 0) == 0 || !helpers(pid).isEmpty()) && waited.elapsed() < 10000)
            QTest::qSleep(100);
        for (qint64 helper : helpers(pid))
            ::kill(pid_t(helper), SIGKILL);
    }

private:
    static QList<qint64> helpers(qint64 firefox)
    {
        QList<qint64> found;
        for (QDirIterator it("/proc", QDir::Dirs | QDir::NoDotAndDotDot); it.hasNext();) {
            QFile cmdline(it.next() + "/cmdline");
            if (!cmdline.open(QIODevice::ReadOnly))
                continue;
            const QList<QByteArray> args = cmdline.readAll().split('\0');
            if (args.size() > 1 && args[0].endsWith("/crashhelper") &&
                args[1] == QByteArray::number(firefox))
                found << it.fileName().toLongLong();
        }
        return found;
    }
};

} // namespace

void TestBridgeFirefox::realFirefox()
{
    const QString binary = QStandardPaths::findExecutable("firefox-esr");
    if (binary.isEmpty())
        QSKIP("firefox-esr is not installed");
    FixtureServer server;
    server.addFile("/front.html", "<html><title>front</title>the front page</html>", 200,
                   "text/html");
    const QString page = server.baseUrl() + "/front.html";
    QTemporaryDir profile;
    // A session store every second instead of every 15, and no first-run tab beside the page.
    write(profile.filePath("user.js"), "user_pref(\"browser.sessionstore.interval\", 1000);\n"
                                       "user_pref(\"datareporting.policy.firstRunURL\", \"\");\n"
                                       "user_pref(\"browser.startup.homepage_override.mstone\", "
                                       "\"ignore\");\n");

    FirefoxProcess firefox;
    firefox.process.setProgram(binary);
    firefox.process.setArguments({"--headless", "-profile", profile.path(), "-no-remote", page});
    firefox.process.setChildProcessModifier([] { ::setsid(); });
    firefox.process.setProcessChannelMode(QProcess::MergedChannels);
    firefox.process.start();
    QVERIFY2(firefox.process.waitForStarted(), qPrintable(firefox.process.errorString()));

    const std::unique_ptr<BrowserReader> reader =
        makeFirefoxReader({.firefoxProfile = profile.path()});
    Windows windows;
    QElapsedTimer waited;
    waited.start();
    while (windows.addresses != QStringList{page} && waited.elapsed() < 30000) {
        if (firefox.process.state() == QProcess::NotRunning)
            QSKIP(qPrintable("firefox-esr cannot run here: " +
                             QString::fromLocal8Bit(firefox.process.readAll()).right(500)));
        QTest::qWait(200);
        windows = reader->read();
    }
    QVERIFY(windows.running);
    QCOMPARE(windows.addresses, QStringList{page});

    // Killed, Firefox leaves its lock behind, naming a process that is gone.
    firefox.stop();
    QVERIFY(QFileInfo(profile.filePath("lock")).isSymLink());
    QCOMPARE(reader->read().running, false);
}

QTEST_GUILESS_MAIN(TestBridgeFirefox)
#include "tst_bridge_firefox.moc"
