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

QByteArray le32(quint32 n)
{
    const char bytes[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    return QByteArray(bytes, 4);
}

// A session store as Firefox writes it: magic, little-endian size, one LZ4 block.
QByteArray mozLz4(const QByteArray& json)
{
    QByteArray block(LZ4_compressBound(int(json.size())), Qt::Uninitialized);
    block.resize(
        LZ4_compress_default(json.constData(), block.data(), int(json.size()), int(block.size())));
    return QByteArrayView("mozLz40\0", 8).toByteArray() + le32(quint32(json.size())) + block;
}

// Three windows: the first shows b2 (a history it went back in), the second c1 (its selected
// tab is gone: the first tab), the third e3 (no entry index: the newest).
QByteArray threeWindows(int selectedWindow)
{
    return R"({"windows":[
        {"selected":2,"tabs":[{"index":2,"entries":[{"url":"a1"},{"url":"a2"}]},
                              {"index":2,"entries":[{"url":"b1"},{"url":"b2"},{"url":"b3"}]}]},
        {"selected":7,"tabs":[{"index":1,"entries":[{"url":"c1"}]},{"entries":[{"url":"d1"}]}]},
        {"selected":1,"tabs":[{"entries":[{"url":"e1"},{"url":"e2"},{"url":"e3"}]}]}
        ],"selectedWindow":)" +
           QByteArray::number(selectedWindow) + "}";
}

// The crash helpers of a Firefox: they leave its process group for a session of their own and
// end once they see Firefox gone.
QList<pid_t> crashHelpers(qint64 firefox)
{
    QList<pid_t> found;
    for (QDirIterator it("/proc", QDir::Dirs | QDir::NoDotAndDotDot); it.hasNext();) {
        QFile cmdline(it.next() + "/cmdline");
        const QList<QByteArray> args =
            cmdline.open(QIODevice::ReadOnly) ? cmdline.readAll().split('\0') : QByteArrayList();
        if (args.size() > 1 && args[0].endsWith("/crashhelper") &&
            args[1] == QByteArray::number(firefox))
            found << pid_t(it.fileName().toInt());
    }
    return found;
}

// A Firefox in a process group of its own, ended with the whole group; what is left of it
// (a crash helper that did not end) is killed on the way out.
struct FirefoxProcess
{
    QProcess process;
    pid_t pid = 0;

    ~FirefoxProcess()
    {
        stop();
        for (pid_t helper : crashHelpers(pid))
            ::kill(helper, SIGKILL);
    }
    void stop()
    {
        if (pid <= 0)
            return;
        ::kill(-pid, SIGKILL);
        process.waitForFinished(5000);
        QElapsedTimer waited;
        waited.start();
        while ((::kill(-pid, 0) == 0 || !crashHelpers(pid).isEmpty()) && waited.elapsed() < 10000)
            QTest::qSleep(100);
    }
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
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("addresses");
        const QStringList unreadable{"(unreadable)"};
        const QByteArray good = mozLz4(threeWindows(0));
        const auto withSize = [&good](quint32 n) { return good.left(8) + le32(n) + good.mid(12); };
        const auto data = [](const char* name) {
            QFile file(QFINDTESTDATA(u"data/firefox/"_s + QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTest::newRow("selectedWindow 0: the first") << good << QStringList{"b2", "c1", "e3"};
        QTest::newRow("selectedWindow the last")
            << mozLz4(threeWindows(3)) << QStringList{"e3", "b2", "c1"};
        QTest::newRow("selectedWindow past the end")
            << mozLz4(threeWindows(4)) << QStringList{"b2", "c1", "e3"};
        QTest::newRow("windows of another shape left out")
            << mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":5}]}]},{"tabs":"x"},7,
                         {"tabs":[{"entries":[{"url":"w"}]}]}]})")
            << QStringList{"w"};
        QTest::newRow("windows not an array") << mozLz4(R"({"windows":{"0":1}})") << unreadable;
        QTest::newRow("other magic") << "mozLz41" + good.mid(7) << unreadable;
        QTest::newRow("header only") << good.left(12) << unreadable;
        QTest::newRow("block cut short") << good.chopped(9) << unreadable;
        QTest::newRow("size one more")
            << withSize(quint32(threeWindows(0).size()) + 1) << unreadable;
        QTest::newRow("size past the cap") << withSize(0xffffffffu) << unreadable;
        QTest::newRow("size past what the block can hold")
            << withSize(quint32(good.size()) * 300) << unreadable;
        // As firefox-esr 153 wrote it, showing one page; then that file cut short and with a
        // block overwritten.
        QTest::newRow("firefox-esr 153")
            << data("firefox-esr-153.jsonlz4") << QStringList{"http://127.0.0.1:18765/page.html"};
        QTest::newRow("cut mid-block") << data("cut-mid-block.jsonlz4") << unreadable;
        QTest::newRow("block overwritten") << data("overwritten-block.jsonlz4") << unreadable;
    }
    void sessionStore()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, addresses);
        QVERIFY(!file.isEmpty());
        QCOMPARE(firefox::parseFirefoxSessionStore(file).value_or(QStringList{"(unreadable)"}),
                 addresses);
    }

    void profiles_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("candidates");
        // Laid out as firefox-esr 153 wrote it in a fresh home: its Install section names the
        // profile it uses, Default=1 marks another.
        QTest::newRow("Install section before Default=1")
            << QByteArray("[Profile1]\nIsRelative=1\nPath=d.default\nDefault=1\n[Profile0]\n"
                          "IsRelative=1\nPath=h.default-esr\n[Install3B6073811A6ABF12]\n"
                          "Default=h.default-esr\nLocked=1\n")
            << QStringList{"/ini/h.default-esr", "/ini/d.default"};
        QTest::newRow("relative path only where marked so")
            << QByteArray("[Profile0]\nPath=a\n[Profile1]\nIsRelative=0\nPath=/srv/p\n"
                          "[Profile2]\nIsRelative=1\nPath=c\n")
            << QStringList{"/srv/p", "/ini/c"};
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
        QTest::newRow("address and pid") << QByteArray("127.0.0.1:+19442") << qint64(19442);
        QTest::newRow("letters") << QByteArray("127.0.0.1:+12ab") << qint64(-1);
        QTest::newRow("past int") << QByteArray("127.0.0.1:+99999999999") << qint64(-1);
    }
    void lockOwner()
    {
        QFETCH(QByteArray, target);
        QFETCH(qint64, pid);
        QCOMPARE(firefox::lockOwner(target).value_or(-1), pid);
    }

    // The default profile of a home laid out here, its lock held by this test process; a
    // backup store beside the store. A store older than the lock is left from an earlier run.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("ageS");
        QTest::addColumn<QStringList>("addresses");
        const QByteArray store = mozLz4(threeWindows(3));
        QTest::newRow("store of this run") << store << 0 << QStringList{"e3", "b2", "c1"};
        QTest::newRow("store of an earlier run") << store << 60 << QStringList{"bak"};
        QTest::newRow("store unreadable") << store.chopped(5) << 0 << QStringList{"bak"};
    }
    void reader()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, ageS);
        QFETCH(QStringList, addresses);
        const QString root = m_home.filePath(".mozilla/firefox");
        QDir(root).removeRecursively();
        write(root + "/profiles.ini", "[Install1]\nDefault=p\n[Profile0]\nIsRelative=1\nPath=p\n");
        QDir().mkpath(root + "/p");
        const QByteArray lock = "127.0.0.1:+" + QByteArray::number(::getpid());
        QVERIFY(::symlink(lock.constData(), QFile::encodeName(root + "/p/lock")) == 0);
        QFile file(root + "/p/sessionstore-backups/recovery.jsonlz4");
        write(file.fileName(), store);
        write(root + "/p/sessionstore-backups/recovery.baklz4",
              mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"bak"}]}]}]})"));
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime::currentDateTime().addSecs(-ageS),
                                 QFileDevice::FileModificationTime));
        const Windows windows = makeFirefoxReader({})->read();
        QVERIFY(windows.running);
        QCOMPARE(windows.addresses, addresses);
    }

    void family_data()
    {
        QTest::addColumn<QString>("desktopFile");
        QTest::addColumn<BrowserFamily>("family");
        const auto rows = [](BrowserFamily family, std::initializer_list<const char*> files) {
            for (const char* file : files)
                QTest::newRow(file) << QString::fromLatin1(file) << family;
        };
        rows(BrowserFamily::Firefox,
             {"firefox-esr.desktop", "org.mozilla.firefox.desktop", "iceweasel.desktop"});
        rows(BrowserFamily::Chromium,
             {"chromium.desktop", "org.chromium.Chromium.desktop", "chrome.desktop"});
        rows(BrowserFamily::Unknown,
             {"chromeless.desktop", "my-firefox-launcher.desktop", ".desktop"});
    }
    void family()
    {
        QFETCH(QString, desktopFile);
        QFETCH(BrowserFamily, family);
        QCOMPARE(browserFamilyOfDesktopFile(desktopFile), family);
    }

    // The real xdg-settings, which outside a desktop environment reads mimeapps.list and
    // answers only with a desktop file that exists.
    void xdgSettings()
    {
        if (QStandardPaths::findExecutable("xdg-settings").isEmpty())
            QSKIP("xdg-settings is not installed (Debian's xdg-utils)");
        write(m_home.filePath(".local/share/applications/mybrowser.desktop"),
              "[Desktop Entry]\nType=Application\nName=B\nExec=true %u\n"
              "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        write(m_home.filePath(".config/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/http=mybrowser.desktop\n"
              "x-scheme-handler/https=mybrowser.desktop\n");
        QCOMPARE(defaultBrowserDesktopFile(), u"mybrowser.desktop"_s);
    }

    void realFirefox()
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
        write(profile.filePath("user.js"),
              "user_pref(\"browser.sessionstore.interval\", 1000);\n"
              "user_pref(\"datareporting.policy.firstRunURL\", \"\");\n"
              "user_pref(\"browser.startup.homepage_override.mstone\", \"ignore\");\n");

        FirefoxProcess firefox;
        firefox.process.setProgram(binary);
        firefox.process.setArguments(
            {"--headless", "-profile", profile.path(), "-no-remote", page});
        firefox.process.setChildProcessModifier([] { ::setsid(); });
        firefox.process.setProcessChannelMode(QProcess::MergedChannels);
        firefox.process.start();
        QVERIFY2(firefox.process.waitForStarted(), qPrintable(firefox.process.errorString()));
        firefox.pid = pid_t(firefox.process.processId());

        const auto reader = makeFirefoxReader({.firefoxProfile = profile.path()});
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

        // Killed, Firefox leaves its lock behind, naming a process that is gone; its crash
        // helper is gone too.
        firefox.stop();
        QVERIFY(QFileInfo(profile.filePath("lock")).isSymLink());
        QCOMPARE(reader->read().running, false);
        QCOMPARE(crashHelpers(firefox.pid), QList<pid_t>{});
    }
};

QTEST_GUILESS_MAIN(TestBridgeFirefox)
#include "tst_bridge_firefox.moc"
