#include "fixtureserver.h"
#include "readers/browserreader.h"
#include "readers/firefox.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/processgroup.h"
#include "support/table.h"

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

static QByteArray firefoxData(const char* name)
{
    return fileBytes(QFINDTESTDATA(u"data/firefox/"_s + QLatin1String(name)));
}

static bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        process.kill(), process.waitForFinished();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
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
        columns<QByteArray, QStringList>("store", "addresses");
        // Selected window first; b2: a history gone back in, c1: selected tab gone, e3: newest.
        QTest::newRow("windows") << mozLz4(firefoxData("windows.json"))
                                 << QStringList{"e3", "b2", "c1"};
        QTest::newRow("firefox-esr 153") << firefoxData("firefox-esr-153.jsonlz4")
                                         << QStringList{"http://127.0.0.1:18765/page.html"};
        QTest::newRow("cut mid-block")
            << firefoxData("cut-mid-block.jsonlz4") << QStringList{"bak"};
    }
    void reader()
    {
        QFETCH(QByteArray, store);
        QVERIFY(!store.isEmpty());
        const QString root = m_home.filePath(".mozilla/firefox");
        QDir(root).removeRecursively();
        // As firefox-esr 153 laid it out: the Install section, not Default=1, names the profile.
        QVERIFY(writeFile(root + "/profiles.ini", firefoxData("profiles.ini")));
        // The lock first: a store older than the lock was left by an earlier run.
        QVERIFY(QDir().mkpath(root + "/p"));
        QVERIFY(::symlink("127.0.0.1:+" + QByteArray::number(::getpid()),
                          QFile::encodeName(root + "/p/lock")) == 0);
        QVERIFY(writeFile(root + "/p/sessionstore-backups/recovery.baklz4",
                          mozLz4(R"({"windows":[{"tabs":[{"entries":[{"url":"bak"}]}]}]})")));
        QVERIFY(writeFile(root + "/p/sessionstore-backups/recovery.jsonlz4", store));
        const Windows windows = makeFirefoxReader({})->read();
        QVERIFY(windows.running);
        QTEST(windows.addresses, "addresses");
    }
    // The Firefox window (process 100) on top, matched to a session window by its tab's title.
    void frontWindow_data()
    {
        // stacking: "pid title", bottom first
        columns<QStringList, QStringList, int>("stacking", "tabTitles", "front");
        QTest::newRow("topmost, with Firefox's name")
            << QStringList{"100 Alpha — Mozilla Firefox", "100 Beta — Mozilla Firefox"}
            << QStringList{"Alpha", "Beta"} << 1;
        QTest::newRow("other programs and another Firefox above are passed over")
            << QStringList{"100 Alpha — Mozilla Firefox", "7 Beta — Mozilla Firefox", "0 Beta"}
            << QStringList{"Beta", "Alpha"} << 1;
        QTest::newRow("title alone")
            << QStringList{"100 Beta"} << QStringList{"Alpha", "Beta"} << 1;
        QTest::newRow("hyphen and another name")
            << QStringList{"100 Beta - Firefox ESR"} << QStringList{"Beta", "Alpha"} << 0;
        QTest::newRow("longest title wins") << QStringList{"100 News - Sport — Mozilla Firefox"}
                                            << QStringList{"News", "News - Sport"} << 1;
        QTest::newRow("a word cut short is no match")
            << QStringList{"100 Alphabet — Mozilla Firefox"} << QStringList{"Alpha"} << -1;
        QTest::newRow("two windows alike")
            << QStringList{"100 Alpha — Mozilla Firefox"} << QStringList{"Alpha", "Alpha"} << -1;
        QTest::newRow("untitled tab")
            << QStringList{"100 Mozilla Firefox"} << QStringList{"", "Alpha"} << -1;
        QTest::newRow("a dialog of Firefox on top")
            << QStringList{"100 Alpha — Mozilla Firefox", "100 Library"} << QStringList{"Alpha"}
            << -1;
        QTest::newRow("no Firefox window")
            << QStringList{"7 Alpha — Mozilla Firefox"} << QStringList{"Alpha"} << -1;
    }
    void frontWindow()
    {
        QFETCH(QStringList, stacking);
        QFETCH(QStringList, tabTitles);
        QList<TopLevel> windows;
        for (const QString& window : stacking)
            windows.append({window.section(' ', 0, 0).toLongLong(), window.section(' ', 1)});
        QList<firefox::SessionWindow> session;
        for (const QString& title : tabTitles)
            session.append({"http://" + title, title});
        QTEST(int(firefox::frontSessionWindow(windows, 100, session)), "front");
    }
    // Two real windows under a window manager: bringing one to the front changes the answer at
    // once, from a copy of the session store that Firefox can no longer update. Killed, Firefox
    // leaves its lock naming a process that is gone.
    void realFirefoxWindows()
    {
        const QString exe = QStandardPaths::findExecutable("firefox-esr");
        const QString xvfbExe = QStandardPaths::findExecutable("Xvfb");
        if (exe.isEmpty() || xvfbExe.isEmpty())
            QSKIP("firefox-esr or Xvfb is not installed");
        const QString openbox = QStandardPaths::findExecutable("openbox");
        const QString xdotool = QStandardPaths::findExecutable("xdotool");
        QVERIFY2(!openbox.isEmpty() && !xdotool.isEmpty(), "scripts/deps installs them");
        FixtureServer server;
        QMap<QString, QString> pages; // title -> address
        for (const char* name : {"Alpha", "Beta"}) {
            const QString title = name + u" page"_s, path = u"/%1.html"_s.arg(name);
            server.addFile(path, "<title>" + title.toUtf8() + "</title>", 200, "text/html");
            pages[title] = server.baseUrl() + path;
        }
        QTemporaryDir profile, frozen;
        QVERIFY(writeFile(profile.filePath("user.js"), firefoxData("user.js")));

        Group xvfb, wm, browser; // stopped in reverse: the browser first
        const QString display = startDisplay(xvfb, xvfbExe);
        QVERIFY(!display.isEmpty());
        const QByteArray oldDisplay = qgetenv("DISPLAY");
        qputenv("DISPLAY", display.toLatin1());
        const auto restore = qScopeGuard([&] { qputenv("DISPLAY", oldDisplay); });
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("MOZ_HEADLESS");
        QVERIFY(wm.start(openbox, {}, environment));
        QVERIFY(browser.start(exe,
                              {"-profile", profile.path(), "-no-remote", "-new-window",
                               pages["Alpha page"], "-new-window", pages["Beta page"]},
                              environment));
        const qint64 pid = browser.pid;
        const auto helpers = qScopeGuard([pid] {
            for (qint64 helper : crashHelpers(pid))
                ::kill(helper, SIGKILL);
        });

        // Once the store knows both pages by their titles, a copy of it stays as it is.
        const QString store = profile.filePath("sessionstore-backups/recovery.jsonlz4");
        const auto storedTitles = [&store] {
            const auto json = firefox::inflateMozLz4(fileBytes(store));
            const auto session = json ? firefox::parseSession(*json) : std::nullopt;
            QStringList titles;
            for (const firefox::SessionWindow& window :
                 session.value_or(firefox::Session{}).windows)
                titles.append(window.title);
            titles.sort();
            return titles;
        };
        QTRY_COMPARE_WITH_TIMEOUT(storedTitles(), pages.keys(), 30000);
        char target[256];
        const ssize_t length =
            ::readlink(QFile::encodeName(profile.filePath("lock")), target, sizeof target);
        QVERIFY(length > 0 && length < ssize_t(sizeof target));
        QVERIFY(::symlink(QByteArray(target, length), QFile::encodeName(frozen.filePath("lock"))) ==
                0);
        QVERIFY(
            writeFile(frozen.filePath("sessionstore-backups/recovery.jsonlz4"), fileBytes(store)));
        const auto frozenReader = makeFirefoxReader({.firefoxProfile = frozen.path()});
        const auto liveReader = makeFirefoxReader({.firefoxProfile = profile.path()});

        for (const QString& title : {u"Alpha page"_s, u"Beta page"_s, u"Alpha page"_s}) {
            QVERIFY(run(xdotool, {"search", "--name", "^" + title, "windowactivate", "--sync"}));
            QTRY_COMPARE_WITH_TIMEOUT(frozenReader->read().addresses.value(0), pages[title], 3000);
            QCOMPARE(liveReader->read().addresses.value(0), pages[title]);
        }
        QVERIFY(liveReader->read().running);
        ::kill(-pid, SIGKILL);
        browser.stop();
        QVERIFY(QFileInfo(profile.filePath("lock")).isSymLink());
        QCOMPARE(liveReader->read().running, false);
    }
};

QTEST_GUILESS_MAIN(TestBridgeFirefox)
#include "tst_bridge_firefox.moc"
