#include "fixtureserver.h"
#include "readers/browserchoice.h"
#include "readers/firefox.h"
#include "support/processes.h"
#include "support/processgroup.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <lz4.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace bridge;

Q_DECLARE_METATYPE(bridge::BrowserFamily)

namespace {

// A session store as Firefox writes it: magic, little-endian size, one LZ4 block.
QByteArray mozLz4(const QByteArray& json, std::optional<quint32> size = {})
{
    QByteArray block(LZ4_compressBound(int(json.size())), Qt::Uninitialized);
    block.resize(
        LZ4_compress_default(json.constData(), block.data(), int(json.size()), int(block.size())));
    QByteArray header("mozLz40\0size", 12);
    qToLittleEndian(size.value_or(quint32(json.size())), header.data() + 8);
    return header + block;
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

// Firefox's crash helpers leave its process group for a session of their own and end once
// they see Firefox gone.
QList<qint64> crashHelpers(qint64 firefox)
{
    return processesWhere([firefox](const QByteArray& cmdline) {
        const QByteArrayList args = cmdline.split('\0');
        return args.size() > 1 && args[0].endsWith("/crashhelper") &&
               args[1] == QByteArray::number(firefox);
    });
}

void write(const QString& path, const QByteArray& content, int ageS = 0)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            file.write(content) == content.size() && file.flush());
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageS),
                             QFileDevice::FileModificationTime));
}

} // namespace

class TestBridgeFirefox : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        // The readers look for profiles.ini and xdg-settings for mimeapps.list in the home.
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(".config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(".local/share")));
    }

    // The default profile of a home laid out here, its lock naming this test process, a backup
    // store beside the store: a store unreadable, or older than the lock (left from an earlier
    // run), gives way to the backup.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("ageS");
        QTest::addColumn<QByteArray>("lockOwner");
        QTest::addColumn<QStringList>("addresses");
        const QStringList bak{"bak"};
        const auto row = [](const char* name, const QByteArray& store, const QStringList& addresses,
                            int ageS = 0, const char* pidSuffix = "") {
            QTest::newRow(name) << store << ageS << QByteArray::number(::getpid()) + pidSuffix
                                << addresses;
        };
        const auto data = [](const char* name) {
            QFile file(QFINDTESTDATA(u"data/firefox/"_s + QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        const QByteArray json = threeWindows(0);
        row("selectedWindow the last", mozLz4(threeWindows(3)), {"e3", "b2", "c1"});
        row("selectedWindow past the end", mozLz4(threeWindows(4)), {"b2", "c1", "e3"});
        row("selected window without a page",
            mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"a1"}]}]},{"tabs":[]}],)"
                   R"("selectedWindow":2})"),
            {"", "a1"});
        // As firefox-esr 153 wrote it, showing one page; then that file cut short and with a
        // block overwritten.
        row("firefox-esr 153", data("firefox-esr-153.jsonlz4"),
            {"http://127.0.0.1:18765/page.html"});
        row("cut mid-block", data("cut-mid-block.jsonlz4"), bak);
        row("block overwritten", data("overwritten-block.jsonlz4"), bak);
        row("size one more", mozLz4(json, json.size() + 1), bak);
        row("store of an earlier run", mozLz4(json), bak, 60);
        row("lock target garbage", mozLz4(json), {"(not running)"}, 0, "ab");
    }
    void reader()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, ageS);
        QFETCH(QByteArray, lockOwner);
        QFETCH(QStringList, addresses);
        QVERIFY(!store.isEmpty());
        const QString root = m_home.filePath(".mozilla/firefox");
        QDir(root).removeRecursively();
        // Laid out as firefox-esr 153 wrote it in a fresh home: its Install section names the
        // profile it uses, Default=1 marks another.
        write(root + "/profiles.ini", "[Profile1]\nIsRelative=1\nPath=d.default\nDefault=1\n"
                                      "[Profile0]\nIsRelative=1\nPath=p\n"
                                      "[Install3B6073811A6ABF12]\nDefault=p\nLocked=1\n");
        const QByteArray lock = "127.0.0.1:+" + lockOwner;
        QVERIFY(QDir().mkpath(root + "/p") &&
                ::symlink(lock.constData(), QFile::encodeName(root + "/p/lock")) == 0);
        write(root + "/p/sessionstore-backups/recovery.jsonlz4", store, ageS);
        write(root + "/p/sessionstore-backups/recovery.baklz4",
              mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"bak"}]}]}]})"));
        const Windows windows = makeFirefoxReader({})->read();
        QCOMPARE(windows.running ? windows.addresses : QStringList{"(not running)"}, addresses);
    }

    // Each desktop file made the default through the real xdg-settings, which outside a
    // desktop environment reads mimeapps.list and answers only with a desktop file that exists.
    void family_data()
    {
        QTest::addColumn<QString>("desktopFile");
        QTest::addColumn<BrowserFamily>("family");
        using enum BrowserFamily;
        for (const auto& [file, family] : {std::pair{"org.mozilla.firefox.desktop", Firefox},
                                           {"firefox.desktop", Firefox},
                                           {"chrome.desktop", Chromium},
                                           {"chromeless.desktop", Unknown},
                                           {"my-firefox-launcher.desktop", Unknown}})
            QTest::newRow(file) << QString::fromLatin1(file) << family;
    }
    void family()
    {
        QFETCH(QString, desktopFile);
        if (QStandardPaths::findExecutable("xdg-settings").isEmpty())
            QSKIP("xdg-settings is not installed (Debian's xdg-utils)");
        write(m_home.filePath(".local/share/applications/" + desktopFile),
              "[Desktop Entry]\nType=Application\nName=B\nExec=true %u\n"
              "MimeType=x-scheme-handler/http;x-scheme-handler/https;\n");
        write(m_home.filePath(".config/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/http=" + desktopFile.toUtf8() +
                  "\nx-scheme-handler/https=" + desktopFile.toUtf8() + "\n");
        QCOMPARE(defaultBrowserDesktopFile(), desktopFile);
        QTEST(browserFamilyOfDesktopFile(desktopFile), "family");
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

        Group firefox;
        QVERIFY(
            firefox.start(binary, {"--headless", "-profile", profile.path(), "-no-remote", page}));
        const qint64 pid = firefox.pid;
        const auto helpers = qScopeGuard([pid] {
            for (qint64 helper : crashHelpers(pid))
                ::kill(helper, SIGKILL);
        });
        const auto reader = makeFirefoxReader({.firefoxProfile = profile.path()});
        Windows windows;
        QElapsedTimer waited;
        waited.start();
        while (windows.addresses != QStringList{page} && waited.elapsed() < 30000) {
            if (firefox.process.state() == QProcess::NotRunning)
                QSKIP("firefox-esr cannot run here (it exited at once)");
            QTest::qWait(200);
            windows = reader->read();
        }
        QVERIFY(windows.running);
        QCOMPARE(windows.addresses, QStringList{page});

        // Killed, Firefox leaves its lock behind, naming a process that is gone; its crash
        // helper goes too.
        ::kill(-pid, SIGKILL);
        firefox.stop();
        QVERIFY(QFileInfo(profile.filePath("lock")).isSymLink());
        QCOMPARE(reader->read().running, false);
        QTRY_COMPARE_WITH_TIMEOUT(crashHelpers(pid), QList<qint64>{}, 10000);
    }
};

QTEST_GUILESS_MAIN(TestBridgeFirefox)
#include "tst_bridge_firefox.moc"
