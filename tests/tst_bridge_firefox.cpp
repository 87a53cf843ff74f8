#include "fixtureserver.h"
#include "readers/browserreader.h"
#include "readers/firefox.h"
#include "support/processes.h"
#include "support/processgroup.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <lz4.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace bridge;

// A session store as Firefox writes it: magic, little-endian size, one LZ4 block.
static QByteArray mozLz4(const QByteArray& json)
{
    QByteArray block(LZ4_compressBound(int(json.size())), Qt::Uninitialized);
    block.resize(
        LZ4_compress_default(json.constData(), block.data(), int(json.size()), int(block.size())));
    QByteArray header("mozLz40\0size", 12);
    qToLittleEndian(quint32(json.size()), header.data() + 8);
    return header + block;
}

// Firefox's crash helpers leave its process group and end once they see Firefox gone.
static QList<qint64> crashHelpers(qint64 firefox)
{
    return processesWhere([firefox](const QByteArray& cmdline) {
        const QByteArrayList args = cmdline.split('\0');
        return args.size() > 1 && args[0].endsWith("/crashhelper") &&
               args[1] == QByteArray::number(firefox);
    });
}

static void write(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
            file.write(content) == content.size());
}

class TestBridgeFirefox : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase() { qputenv("HOME", QFile::encodeName(m_home.path())); }
    // A profile locked by this process: a store unreadable gives way to the backup store.
    void reader_data()
    {
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<QStringList>("addresses");
        const auto data = [](const char* name) {
            QFile file(QFINDTESTDATA(u"data/firefox/"_s + QLatin1String(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        // Selected window first; b2: a history gone back in, c1: selected tab gone, e3: newest.
        QTest::newRow("windows") << mozLz4(R"({"selectedWindow":3,"windows":[
        {"selected":2,"tabs":[{"index":2,"entries":[{"url":"a1"},{"url":"a2"}]},
                              {"index":2,"entries":[{"url":"b1"},{"url":"b2"},{"url":"b3"}]}]},
        {"selected":7,"tabs":[{"index":1,"entries":[{"url":"c1"}]},{"entries":[{"url":"d1"}]}]},
        {"selected":1,"tabs":[{"entries":[{"url":"e1"},{"url":"e2"},{"url":"e3"}]}]}]})")
                                 << QStringList{"e3", "b2", "c1"};
        QTest::newRow("firefox-esr 153")
            << data("firefox-esr-153.jsonlz4") << QStringList{"http://127.0.0.1:18765/page.html"};
        QTest::newRow("cut mid-block") << data("cut-mid-block.jsonlz4") << QStringList{"bak"};
    }
    void reader()
    {
        QFETCH(QByteArray, store);
        QVERIFY(!store.isEmpty());
        const QString root = m_home.filePath(".mozilla/firefox");
        QDir(root).removeRecursively();
        // As firefox-esr 153 laid it out: the Install section, not Default=1, names the profile.
        write(root + "/profiles.ini", "[Profile1]\nIsRelative=1\nPath=d.default\nDefault=1\n"
                                      "[Profile0]\nIsRelative=1\nPath=p\n"
                                      "[Install3B6073811A6ABF12]\nDefault=p\nLocked=1\n");
        write(root + "/p/sessionstore-backups/recovery.baklz4",
              mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"bak"}]}]}]})"));
        write(root + "/p/sessionstore-backups/recovery.jsonlz4", store);
        QVERIFY(::symlink("127.0.0.1:+" + QByteArray::number(::getpid()),
                          QFile::encodeName(root + "/p/lock")) == 0);
        const Windows windows = makeFirefoxReader({})->read();
        QVERIFY(windows.running);
        QTEST(windows.addresses, "addresses");
    }
    void realFirefox()
    {
        const QString exe = QStandardPaths::findExecutable("firefox-esr");
        if (exe.isEmpty())
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
        QVERIFY(firefox.start(exe, {"--headless", "-profile", profile.path(), "-no-remote", page}));
        const qint64 pid = firefox.pid;
        const auto helpers = qScopeGuard([pid] {
            for (qint64 helper : crashHelpers(pid))
                ::kill(helper, SIGKILL);
        });
        const auto reader = makeFirefoxReader({.firefoxProfile = profile.path()});
        QTRY_COMPARE_WITH_TIMEOUT(reader->read().addresses, QStringList{page}, 30000);
        QVERIFY(reader->read().running);
        // Killed, Firefox leaves its lock naming a process that is gone.
        ::kill(-pid, SIGKILL);
        firefox.stop();
        QVERIFY(QFileInfo(profile.filePath("lock")).isSymLink());
        QCOMPARE(reader->read().running, false);
    }
};

QTEST_GUILESS_MAIN(TestBridgeFirefox)
#include "tst_bridge_firefox.moc"
