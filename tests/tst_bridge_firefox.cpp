#include "fixtureserver.h"
#include "readers/browserchoice.h"
#include "readers/firefox.h"
#include "support/processes.h"
#include "support/processgroup.h"

#include <QDir>
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

// Firefox's crash helpers leave its process group and end once they see Firefox gone.
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
    QFile file(path);
    QVERIFY(
        QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
        file.write(content) == content.size() && file.flush() &&
        file.setFileTime(QDateTime::currentDateTime().addSecs(-ageS), QFile::FileModificationTime));
}

} // namespace

class TestBridgeFirefox : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(".config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(".local/share")));
    }

    // A profile locked by this process: a store unreadable, or older than the lock (left from
    // an earlier run), gives way to the backup store.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<int>("ageS");
        QTest::addColumn<QByteArray>("lockOwner");
        QTest::addColumn<QStringList>("addresses");
        const auto row = [](const char* name, const QByteArray& store, const QStringList& addresses,
                            int ageS = 0, const char* pidSuffix = "") {
            QTest::newRow(name) << store << ageS << QByteArray::number(::getpid()) + pidSuffix
                                << addresses;
        };
        const auto data = [](const char* name) {
            QFile file(QFINDTESTDATA(u"data/firefox/"_s + QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        // The first window shows b2 (a history it went back in), the second c1 (its selected
        // tab is gone: the first tab), the third e3 (no entry index: the newest).
        const auto threeWindows = [](const char* selectedWindow) {
            return QByteArray(R"({"selectedWindow":)") + selectedWindow + R"(,"windows":[
        {"selected":2,"tabs":[{"index":2,"entries":[{"url":"a1"},{"url":"a2"}]},
                              {"index":2,"entries":[{"url":"b1"},{"url":"b2"},{"url":"b3"}]}]},
        {"selected":7,"tabs":[{"index":1,"entries":[{"url":"c1"}]},{"entries":[{"url":"d1"}]}]},
        {"selected":1,"tabs":[{"entries":[{"url":"e1"},{"url":"e2"},{"url":"e3"}]}]}]})";
        };
        const QByteArray json = threeWindows("0");
        row("selectedWindow the last", mozLz4(threeWindows("3")), {"e3", "b2", "c1"});
        row("selectedWindow past the end", mozLz4(threeWindows("4")), {"b2", "c1", "e3"});
        row("selected window without a page",
            mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"a1"}]}]},{}],"selectedWindow":2})"),
            {"", "a1"});
        row("firefox-esr 153", data("firefox-esr-153.jsonlz4"),
            {"http://127.0.0.1:18765/page.html"});
        row("cut mid-block", data("cut-mid-block.jsonlz4"), {"bak"});
        row("size one more", mozLz4(json, json.size() + 1), {"bak"});
        row("store of an earlier run", mozLz4(json), {"bak"}, 60);
        row("lock target garbage", mozLz4(json), {"(not running)"}, 0, "ab");
    }
    void reader()
    {
        QFETCH(QByteArray, store);
        QFETCH(int, ageS);
        QFETCH(QByteArray, lockOwner);
        QVERIFY(!store.isEmpty());
        const QString root = m_home.filePath(".mozilla/firefox");
        QDir(root).removeRecursively();
        // As firefox-esr 153 laid it out: the Install section, not Default=1, names the profile.
        write(root + "/profiles.ini", "[Profile1]\nIsRelative=1\nPath=d.default\nDefault=1\n"
                                      "[Profile0]\nIsRelative=1\nPath=p\n"
                                      "[Install3B6073811A6ABF12]\nDefault=p\nLocked=1\n");
        write(root + "/p/sessionstore-backups/recovery.baklz4",
              mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"bak"}]}]}]})"));
        write(root + "/p/sessionstore-backups/recovery.jsonlz4", store, ageS);
        QVERIFY(::symlink("127.0.0.1:+" + lockOwner, QFile::encodeName(root + "/p/lock")) == 0);
        const Windows windows = makeFirefoxReader({})->read();
        QTEST(windows.running ? windows.addresses : QStringList{"(not running)"}, "addresses");
    }

    // Outside a desktop, xdg-settings reads mimeapps.list and names only a desktop file that
    // exists.
    void family_data()
    {
        QTest::addColumn<QString>("desktopFile");
        QTest::addColumn<BrowserFamily>("family");
        using enum BrowserFamily;
        for (const auto& [file, family] : {std::pair{"org.mozilla.firefox.desktop", Firefox},
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
              "MimeType=x-scheme-handler/http;\n");
        write(m_home.filePath(".config/mimeapps.list"),
              "[Default Applications]\nx-scheme-handler/http=" + desktopFile.toUtf8() + "\n");
        QCOMPARE(defaultBrowserDesktopFile(), desktopFile);
        QTEST(browserFamilyOfDesktopFile(desktopFile), "family");
    }

    void realFirefox()
    {
        const QString binary = QStandardPaths::findExecutable("firefox-esr");
        if (binary.isEmpty())
            QSKIP("firefox-esr is not installed");
        FixtureServer server;
        server.addFile("/front.html", "<title>front</title>", 200, "text/html");
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
        QTRY_COMPARE_WITH_TIMEOUT(reader->read().addresses, QStringList{page}, 30000);
        QVERIFY(reader->read().running);
        // Killed, Firefox leaves its lock naming a process that is gone; its crash helper goes.
        ::kill(-pid, SIGKILL);
        firefox.stop();
        QVERIFY(QFileInfo(profile.filePath("lock")).isSymLink());
        QCOMPARE(reader->read().running, false);
        QTRY_COMPARE_WITH_TIMEOUT(crashHelpers(pid), QList<qint64>{}, 10000);
    }
};

QTEST_GUILESS_MAIN(TestBridgeFirefox)
#include "tst_bridge_firefox.moc"
