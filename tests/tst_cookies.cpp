#include "sources/browsercookies.h"
#include "support/files.h"
#include "support/table.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace Qt::StringLiterals;

// What the capture page set, as libcurl should get it back (see data/cookies/capture.sh).
// Firefox keeps no session cookie on disk; Chromium keeps "sid" without an expiry.
static const QByteArrayList firefoxCaptured = {
    "www.stepgrab.test\tFALSE\t/\tFALSE\t1828142556\tjs\tj1",
    "www.stepgrab.test\tFALSE\t/members\tFALSE\t1828142556\tdeep\tp1",
    "localhost\tFALSE\t/\tFALSE\t1828142556\tjs\tj1",
    "www.stepgrab.test\tFALSE\t/\tFALSE\t1796606676\tshort\tx1",
    "www.stepgrab.test\tFALSE\t/\tFALSE\t1828142556\tkeep\tk1",
    "#HttpOnly_www.stepgrab.test\tFALSE\t/\tFALSE\t1828142556\tho\th1",
    ".stepgrab.test\tTRUE\t/\tFALSE\t1828142556\tdom\td1",
    "localhost\tFALSE\t/\tTRUE\t1828142556\tsec\ts2",
};
static const QByteArrayList chromiumCaptured = {
    "www.stepgrab.test\tFALSE\t/members\tFALSE\t1828142554\tdeep\tp1",
    ".stepgrab.test\tTRUE\t/\tFALSE\t1828142554\tdom\td1",
    "#HttpOnly_www.stepgrab.test\tFALSE\t/\tFALSE\t1828142554\tho\th1",
    "localhost\tFALSE\t/\tFALSE\t1828142554\tjs\tj1",
    "www.stepgrab.test\tFALSE\t/\tFALSE\t1828142554\tjs\tj1",
    "www.stepgrab.test\tFALSE\t/\tFALSE\t1828142554\tkeep\tk1",
    "localhost\tFALSE\t/\tTRUE\t1828142554\tsec\ts2",
    "www.stepgrab.test\tFALSE\t/\tFALSE\t1796606674\tshort\tx1",
    "www.stepgrab.test\tFALSE\t/\tFALSE\t0\tsid\ts1",
};
static constexpr qint64 captured = 1796606593;
static constexpr qint64 yearLater = captured + 400 * 86400;

static QByteArrayList without(QByteArrayList lines, const QByteArray& part)
{
    lines.removeIf([&](const QByteArray& line) { return line.contains(part); });
    return lines;
}

static QByteArrayList sorted(QByteArrayList lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

static QByteArrayList linesOf(const QByteArray& text)
{
    QByteArrayList lines = text.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// Changes the Cookies file in place at the encrypted value that follows the row's host and
// name (SQLite keeps a row's columns side by side, the empty plain value between them).
static bool alterValue(const QString& path, const QByteArray& hostAndName, int offset, char to)
{
    QByteArray bytes = fileBytes(path);
    const qsizetype at = bytes.indexOf(hostAndName + "v10");
    if (at < 0 || bytes.indexOf(hostAndName + "v10", at + 1) >= 0)
        return false;
    bytes[at + hostAndName.size() + offset] = to;
    return writeFile(path, bytes);
}

class TestCookies : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void lockedByBrowser();
    void rowLine_data();
    void rowLine();
    void netscape_data();
    void netscape();
    void firefoxSession_data();
    void firefoxSession();
};

void TestCookies::readers_data()
{
    // layout: where the captured files go in the profile; damage: what is done to them.
    columns<QString, QString, QString, qint64, QByteArrayList, int, bool>(
        "browser", "layout", "damage", "now", "lines", "unreadable", "problem");
    const auto row = [](const char* name, const char* browser, const char* layout,
                        const char* damage, qint64 now, const QByteArrayList& lines, int unreadable,
                        bool problem) {
        QTest::newRow(name) << QString::fromLatin1(browser) << QString::fromLatin1(layout)
                            << QString::fromLatin1(damage) << now << lines << unreadable << problem;
    };
    row("firefox at capture", "firefox", "both", "", captured, firefoxCaptured, 0, false);
    row("firefox a year later", "firefox", "both", "", yearLater, {}, 0, false);
    row("firefox without its -wal file shows no rows", "firefox", "main only", "", captured, {}, 0,
        false);
    row("firefox database not SQLite", "firefox", "both", "garbage", captured, {}, 0, true);
    row("firefox profile without a database", "firefox", "none", "", captured, {}, 0, true);
    row("firefox missing profile", "firefox", "no profile", "", captured, {}, 0, true);
    row("chromium at capture", "chromium", "both", "", captured, chromiumCaptured, 0, false);
    row("chromium a year later keeps the session cookie", "chromium", "both", "", yearLater,
        {chromiumCaptured.last()}, 0, false);
    row("chromium database under Network/", "chromium", "network", "", captured, chromiumCaptured,
        0, false);
    row("chromium value altered", "chromium", "both", "alter", captured,
        without(chromiumCaptured, "keep"), 1, true);
    row("chromium v11 value without a keyring", "chromium", "both", "v11", captured,
        without(chromiumCaptured, "keep"), 1, true);
    row("chromium database cut short", "chromium", "both", "truncate", captured, {}, 0, true);
    row("chromium database beyond 256 MiB", "chromium", "both", "huge", captured, {}, 0, true);
}

void TestCookies::readers()
{
    QFETCH(QString, browser);
    QFETCH(QString, layout);
    QFETCH(QString, damage);
    QFETCH(qint64, now);
    QFETCH(QByteArrayList, lines);
    QFETCH(int, unreadable);
    QFETCH(bool, problem);

    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString profile = home.filePath(u"profile"_s);
    const QString source = QFINDTESTDATA(u"data/cookies/"_s + browser);
    QVERIFY(!source.isEmpty());
    const bool firefox = browser == u"firefox";
    const QString name = firefox ? u"cookies.sqlite"_s : u"Cookies"_s;
    const QString database = profile + (layout == u"network" ? u"/Network/"_s : u"/"_s) + name;
    if (layout != u"no profile")
        QVERIFY(QDir().mkpath(profile));
    if (layout == u"both" || layout == u"main only" || layout == u"network") {
        QVERIFY(writeFile(database, fileBytes(source + u'/' + name)));
        if (firefox && layout != u"main only")
            QVERIFY(writeFile(database + u"-wal"_s, fileBytes(source + u'/' + name + u"-wal"_s)));
    }
    if (damage == u"garbage")
        QVERIFY(writeFile(database, QByteArray(4096, 'x')));
    else if (damage == u"truncate")
        QVERIFY(writeFile(database, fileBytes(database).first(5000)));
    else if (damage == u"huge")
        QVERIFY(QFile::resize(database, (qint64(256) << 20) + 1)); // sparse: nothing written
    else if (damage == u"alter")
        QVERIFY(alterValue(database, "www.stepgrab.testkeep", 3 + 5, '\x55'));
    else if (damage == u"v11")
        QVERIFY(alterValue(database, "www.stepgrab.testkeep", 2, '1'));

    const QString scratch = home.filePath(u"tmp"_s);
    QVERIFY(QDir().mkpath(scratch));
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(scratch));
    // No Secret Service answers here: the keyring is asked on a bus that is not there.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/stepgrab-test-bus");
    const cookies::Jar jar = firefox ? cookies::readFirefoxAt(profile, now)
                                     : cookies::readChromiumAt(profile, u"chromium"_s, now);
    QCOMPARE(sorted(linesOf(jar.lines)), sorted(lines));
    QCOMPARE(jar.lines.isEmpty() || jar.lines.endsWith('\n'), true);
    QCOMPARE(jar.unreadable, unreadable);
    QCOMPARE(!jar.problem.isEmpty(), problem);
    // The private copy is gone with the read.
    QCOMPARE(entries(scratch), QStringList());
    qputenv("TMPDIR", savedTmp);
}

// A database held by another process's exclusive transaction, as a running browser holds
// it, is still read through the private copy.
void TestCookies::lockedByBrowser()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString database = home.filePath(u"Cookies"_s);
    QVERIFY(writeFile(database, fileBytes(QFINDTESTDATA("data/cookies/chromium/Cookies"))));
    QProcess holder;
    holder.start(u"sqlite3"_s, {database});
    if (!holder.waitForStarted())
        QSKIP("the sqlite3 shell is not installed");
    holder.write("BEGIN EXCLUSIVE; SELECT 'held';\n");
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAllStandardOutput().trimmed(), QByteArray("held"));

    const cookies::Jar jar = cookies::readChromiumAt(home.path(), u"chromium"_s, captured);
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(jar.problem, QString());
    QCOMPARE(sorted(linesOf(jar.lines)), sorted(chromiumCaptured));
}

void TestCookies::rowLine_data()
{
    columns<QByteArray, QByteArray, QByteArray, QByteArray, qint64, QByteArray>(
        "host", "path", "name", "value", "expiry", "line");
    const auto row = [](const char* name, QByteArray host, QByteArray path, QByteArray cookie,
                        QByteArray value, qint64 expiry, QByteArray line) {
        QTest::newRow(name) << host << path << cookie << value << expiry << line;
    };
    row("host-only", "a.test", "/", "n", "v", 0, "a.test\tFALSE\t/\tFALSE\t0\tn\tv\n");
    row("domain", ".a.test", "/p", "n", "v", 2000, ".a.test\tTRUE\t/p\tFALSE\t2000\tn\tv\n");
    row("empty value", "a.test", "/", "n", "", 0, "a.test\tFALSE\t/\tFALSE\t0\tn\t\n");
    row("value with blanks and semicolon", "a.test", "/", "n", "x y;z", 0,
        "a.test\tFALSE\t/\tFALSE\t0\tn\tx y;z\n");
    row("expired at now", "a.test", "/", "n", "v", 1000, "");
    row("line feed in value", "a.test", "/", "n", "v\nevil.test\tTRUE\t/\tFALSE\t0\tx\ty", 0, "");
    row("carriage return in name", "a.test", "/", "n\r", "v", 0, "");
    row("NUL in host", QByteArray("a.test\0b", 8), "/", "n", "v", 0, "");
    row("tab in path", "a.test", "/a\tb", "n", "v", 0, "");
    row("host a comment", "#HttpOnly_a.test", "/", "n", "v", 0, "");
    row("host a header line", "Set-Cookie:a=b", "/", "n", "v", 0, "");
    row("host only a dot", ".", "/", "n", "v", 0, "");
    row("empty name", "a.test", "/", "", "v", 0, "");
    row("path not absolute", "a.test", "p", "n", "v", 0, "");
    row("IPv6 literal", "[::1]", "/", "n", "v", 0, "[::1]\tFALSE\t/\tFALSE\t0\tn\tv\n");
}

void TestCookies::rowLine()
{
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, value);
    QFETCH(qint64, expiry);
    QFETCH(QByteArray, line);
    const auto got = cookies::netscapeLine({host, path, name, value, expiry}, 1000);
    QCOMPARE(got.value_or(QByteArray()), line);
}

void TestCookies::netscape_data()
{
    columns<QByteArray, QByteArray, int>("text", "lines", "dropped");
    QTest::newRow("curl's own file")
        << QByteArray("# Netscape HTTP Cookie File\n# https://curl.se/docs/http-cookies.html\n\n"
                      ".a.test\tTRUE\t/\tFALSE\t2000\tn\tv\n"
                      "#HttpOnly_b.test\tFALSE\t/x\tTRUE\t0\tm\tw\n")
        << QByteArray(".a.test\tTRUE\t/\tFALSE\t2000\tn\tv\n"
                      "#HttpOnly_b.test\tFALSE\t/x\tTRUE\t0\tm\tw\n")
        << 0;
    QTest::newRow("CRLF line ends") << QByteArray("a.test\tFALSE\t/\tFALSE\t0\tn\tv\r\n")
                                    << QByteArray("a.test\tFALSE\t/\tFALSE\t0\tn\tv\n") << 0;
    QTest::newRow("no final line end") << QByteArray("a.test\tFALSE\t/\tFALSE\t0\tn\tv")
                                       << QByteArray("a.test\tFALSE\t/\tFALSE\t0\tn\tv\n") << 0;
    QTest::newRow("expired dropped") << QByteArray("a.test\tFALSE\t/\tFALSE\t999\tn\tv\n"
                                                   "a.test\tFALSE\t/\tFALSE\t1001\tn\tv\n")
                                     << QByteArray("a.test\tFALSE\t/\tFALSE\t1001\tn\tv\n") << 0;
    QTest::newRow("six fields") << QByteArray("a.test\tFALSE\t/\tFALSE\t0\tn\n") << QByteArray()
                                << 1;
    QTest::newRow("flag not TRUE or FALSE")
        << QByteArray("a.test\tyes\t/\tFALSE\t0\tn\tv\n") << QByteArray() << 1;
    QTest::newRow("expiry not a number")
        << QByteArray("a.test\tFALSE\t/\tFALSE\t-5\tn\tv\na.test\tFALSE\t/\tFALSE\t\tn\tv\n")
        << QByteArray() << 2;
    QTest::newRow("expiry beyond 64 bits")
        << QByteArray("a.test\tFALSE\t/\tFALSE\t99999999999999999999\tn\tv\n") << QByteArray() << 1;
    QTest::newRow("header line") << QByteArray("Set-Cookie: n=v; Domain=a.test\n") << QByteArray()
                                 << 1;
    QTest::newRow("a good line among bad ones")
        << QByteArray("junk\n\ta.test\tFALSE\t/\tFALSE\t0\tn\tv\na.test\tfalse\t/\ttrue\t0\tn\tv\n")
        << QByteArray("a.test\tfalse\t/\ttrue\t0\tn\tv\n") << 2;
}

void TestCookies::netscape()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, lines);
    QFETCH(int, dropped);
    const cookies::Jar jar = cookies::parseNetscapeAt(text, 1000);
    QCOMPARE(jar.lines, lines);
    QCOMPARE(jar.unreadable, dropped);
}

// Firefox's session cookies, from its session store's "cookies" (as firefox-esr 153 writes
// them: secure and httponly only when true, the default origin attributes spelled out).
void TestCookies::firefoxSession_data()
{
    columns<QByteArray, QByteArray>("cookies", "lines");
    const QByteArray plain = R"("originAttributes":{"firstPartyDomain":"","partitionKey":"",)"
                             R"("privateBrowsingId":0,"userContextId":0})";
    QTest::newRow("host-only, domain, Secure and HttpOnly")
        << (R"([{"host":"a.test","value":"v","path":"/","name":"n",)" + plain +
            R"(},{"host":".b.test","value":"w","path":"/x","name":"m","secure":true,)"
            R"("httponly":true,)" +
            plain + "}]")
        << QByteArray("a.test\tFALSE\t/\tFALSE\t0\tn\tv\n"
                      "#HttpOnly_.b.test\tTRUE\t/x\tTRUE\t0\tm\tw\n");
    QTest::newRow("a container's, a private window's and another site's partition: not sent")
        << QByteArray(R"([{"host":"a.test","value":"v","path":"/","name":"c",)"
                      R"("originAttributes":{"userContextId":2}},)"
                      R"({"host":"a.test","value":"v","path":"/","name":"p",)"
                      R"("originAttributes":{"privateBrowsingId":1}},)"
                      R"({"host":"a.test","value":"v","path":"/","name":"k",)"
                      R"j("originAttributes":{"partitionKey":"(http,b.test)"}}])j")
        << QByteArray();
    QTest::newRow("a value that would forge a second line: dropped")
        << QByteArray(R"([{"host":"a.test","value":"v\nb.test\tFALSE\t/\tFALSE\t0\tx\ty",)"
                      R"("path":"/","name":"n"}])")
        << QByteArray();
}

void TestCookies::firefoxSession()
{
    QFETCH(QByteArray, cookies);
    const auto jar = cookies::parseFirefoxSessionCookies(R"({"version":["sessionrestore",1],)"
                                                         R"("windows":[],"cookies":)" +
                                                         cookies + "}");
    QVERIFY(jar);
    QTEST(jar->lines, "lines");
    QVERIFY(!cookies::parseFirefoxSessionCookies(QByteArray("mozLz40\0 not inflated", 22)));
}

QTEST_GUILESS_MAIN(TestCookies)
#include "tst_cookies.moc"
