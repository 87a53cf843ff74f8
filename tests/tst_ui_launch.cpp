#include "fixtureserver.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/uirun.h"

#include <QLocalSocket>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

using namespace Qt::StringLiterals;

static constexpr qint64 kSize = 1024;

// Someone accepts connections at path: a fresh socket each time, as the window reads what it
// is sent.
static bool listening(const QString& path)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    return probe.waitForConnected(100);
}

// A series pic012..pic013 served, a home, settings and runtime folder of its own, and in it
// s.URL, a bookmark of the series.
struct Desk
{
    FixtureServer server;
    QTemporaryDir home, out1, out2;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString runtime = home.filePath(u"run"_s);
    QString socket = runtime + u"/stepgrab-%1.sock"_s.arg(::getuid());
    QProcess run;
    Desk()
    {
        server.addSeries(u"d"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        QDir().mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const QString& name : {u"HOME"_s, u"XDG_CONFIG_HOME"_s})
            env.insert(name, home.path());
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(home.path()); // bookmarks are passed by a relative name
        write(u"s.URL=[InternetShortcut]\r\nURL=@/d/pic012.jpg"_s);
    }
    // name=text, @: the server; the bytes written, "-" when they could not be.
    QByteArray write(const QString& file)
    {
        QFile out(home.filePath(file.section(u'=', 0, 0)));
        const QByteArray bytes = file.section(u'=', 1).replace(u'@', server.baseUrl()).toUtf8();
        return out.open(QFile::WriteOnly) && out.write(bytes) == bytes.size() ? bytes : "-";
    }
    // The exit code, -1 for a crash.
    int launch(QString command, const QByteArray& input = {})
    {
        command.replace(u"%out"_s, out2.path()).replace(u'@', server.baseUrl());
        run.start(QStringLiteral(STEPGRAB_BINARY), QProcess::splitCommand(command));
        run.write(input);
        run.closeWriteChannel();
        const bool ended = run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit;
        return ended ? run.exitCode() : -1;
    }
};

class TestLaunch : public QObject
{
    Q_OBJECT

private slots:
    // A bookmark or a list, written to a file (and given as standard input), and the launch.
    void batch_data()
    {
        QTest::addColumn<QString>("file"); // name=content, @: the server
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("last");      // last number written into %out
        QTest::addColumn<QString>("error"); // part of the standard error
        auto row = [](const char* name, const QString& file, const char* options, int exitCode,
                      int last, const char* error = "") {
            QTest::newRow(name) << file << u"--quit-when-done --log --output %out "_s + options
                                << exitCode << last << QString::fromUtf8(error);
        };
        const QString list = u"l=@/d/pic012.jpg\r\n\r\n@/d/pic013.jpg\r\n"_s;
        row("not a bookmark", u"n.url=just some notes\n"_s, "--start n.url", 1, 11,
            "n.url is not a bookmark");
        row("list from standard input", list, "--url-list -", 0, 13);
        row("a failing address", u"l=@/d/pic012.jpg\n@/x/none.jpg\n@/d/pic013.jpg"_s,
            "--url-list l", 1, 12);
        row("no address", u"l= \n"_s, "--url-list l", 1, 11, "l holds no address");
        row("unreadable file", list, "--url-list missing", 2, 11, "cannot read missing: ");
        row("list with --start", list, "--start --url-list -", 2, 11, "cannot be combined");
    }
    void batch()
    {
        QFETCH(QString, file);
        QFETCH(QString, options);
        QFETCH(QString, error);
        Desk desk;
        const QByteArray text = desk.write(file);
        QVERIFY(text != "-");
        QTEST(desk.launch(options, text), "exitCode");
        const QString stderrText = QString::fromLocal8Bit(desk.run.readAllStandardError());
        QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
        QFETCH(int, last);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, last));
    }
    // A second launch hands a typed address or a bookmark to the running window, even after a
    // crashed window's socket; a batch run of a bookmark runs alone, into %out.
    void secondLaunch_data()
    {
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("handedOver");
        QTest::newRow("typed address") << false << "--start @/d/pic012.jpg" << true;
        QTest::newRow(".URL after a stale socket") << true << "--start s.URL" << true;
        QTest::newRow("batch") << false << "--start --quit-when-done --output %out s.URL" << false;
    }
    void secondLaunch()
    {
        QFETCH(bool, handedOver);
        QFETCH(bool, stale);
        Desk desk;
        if (stale) { // what a crashed window leaves: a bound socket nobody listens at
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{AF_UNIX, {}};
            qstrncpy(address.sun_path, QFile::encodeName(desk.socket), sizeof address.sun_path);
            QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            ::close(fd);
        }
        Group first;
        QVERIFY(first.start(QStringLiteral(STEPGRAB_BINARY),
                            {u"--log"_s, u"--output"_s, desk.out1.path()}, desk.env));
        QTRY_VERIFY_WITH_TIMEOUT(listening(desk.socket), 15000);
        const qint64 started = QDateTime::currentMSecsSinceEpoch();
        QFETCH(QString, second);
        QCOMPARE(desk.launch(second), 0);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, handedOver ? 11 : 13));
        if (handedOver) // no window of its own, no run
            QVERIFY(QDateTime::currentMSecsSinceEpoch() - started < 5000);
        QTRY_COMPARE_WITH_TIMEOUT(seriesFilesBelow(desk.out1.path(), kSize),
                                  names(12, handedOver ? 13 : 11), 15000);
        QTRY_VERIFY(!handedOver || first.process.peek(1 << 16).contains("Download finished."));
        QCOMPARE(first.process.state(), QProcess::Running);
        first.stop();
    }

    // A launch that gave up on a frozen window runs the series itself; the window, once woken,
    // must not run it a second time.
    void frozenWindow()
    {
        Desk desk;
        Group first;
        QVERIFY(first.start(QStringLiteral(STEPGRAB_BINARY),
                            {u"--log"_s, u"--output"_s, desk.out1.path()}, desk.env));
        QTRY_VERIFY_WITH_TIMEOUT(listening(desk.socket), 15000);
        QCOMPARE(::kill(pid_t(first.pid), SIGSTOP), 0);
        Group second;
        QVERIFY(second.start(QStringLiteral(STEPGRAB_BINARY),
                             {u"--start"_s, u"--log"_s, u"--output"_s, desk.out2.path(),
                              desk.server.baseUrl() + u"/d/pic012.jpg"_s},
                             desk.env));
        QTRY_VERIFY_WITH_TIMEOUT(second.process.peek(1 << 16).contains("Download finished."),
                                 20000);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, 13));
        second.stop();
        const int hits = desk.server.hits(u"/d/pic012.jpg"_s);
        QCOMPARE(::kill(pid_t(first.pid), SIGCONT), 0);
        // A later launch taken by the window shows that it has read what was queued before.
        QCOMPARE(desk.launch(QString()), 0);
        QTest::qWait(1000);
        QCOMPARE(desk.server.hits(u"/d/pic012.jpg"_s), hits);
        QCOMPARE(seriesFilesBelow(desk.out1.path(), kSize), QStringList());
        QCOMPARE(first.process.state(), QProcess::Running);
        first.stop();
    }

    // The socket's folder must be the user's alone; any other is not used, and each launch
    // runs on its own. Without XDG_RUNTIME_DIR the socket goes into a private cache folder.
    void socketFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("handedOver");
        QTest::addColumn<QString>("error"); // part of the second launch's standard error
        QTest::newRow("no runtime folder") << u"unset"_s << true << QString();
        QTest::newRow("another user's")
            << u"squatted"_s << false << u"it belongs to another user"_s;
        QTest::newRow("open to the group") << u"0770"_s << false << u"others can write"_s;
        QTest::newRow("open to all, sticky") << u"1777"_s << false << u"others can write"_s;
        QTest::newRow("a link to a private folder")
            << u"link"_s << false << u"it is a symbolic link"_s;
    }
    void socketFolder()
    {
        QFETCH(QString, folder);
        QFETCH(bool, handedOver);
        Desk desk;
        const QString runtime = desk.home.filePath(u"r"_s);
        QString socket = runtime + u"/stepgrab-%1.sock"_s.arg(::getuid());
        desk.env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        if (folder == u"unset") {
            desk.env.remove(u"XDG_RUNTIME_DIR"_s);
            desk.env.remove(u"XDG_CACHE_HOME"_s);
            socket = desk.home.filePath(u".cache/Stepgrab/stepgrab-%1.sock"_s.arg(::getuid()));
        } else if (folder == u"link") {
            QVERIFY(QDir().mkdir(desk.runtime + u"/inner"_s,
                                 QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
            QVERIFY(QFile::link(desk.runtime + u"/inner"_s, runtime));
        } else {
            QVERIFY(QDir().mkdir(runtime));
            if (folder == u"squatted" && ::chown(QFile::encodeName(runtime), 65534, 65534) != 0)
                QSKIP("giving a folder to another user needs root");
            const mode_t mode = folder == u"squatted" ? 0700 : folder.toUInt(nullptr, 8);
            QCOMPARE(::chmod(QFile::encodeName(runtime), mode), 0);
        }
        desk.run.setProcessEnvironment(desk.env);
        const QString address = desk.server.baseUrl() + u"/d/pic012.jpg"_s;
        Group first;
        QVERIFY(first.start(QStringLiteral(STEPGRAB_BINARY),
                            {u"--start"_s, u"--log"_s, u"--output"_s, desk.out1.path(), address},
                            desk.env));
        QTRY_VERIFY_WITH_TIMEOUT(first.process.peek(1 << 16).contains("Download finished."), 20000);
        QCOMPARE(listening(socket), handedOver);
        desk.run.start(QStringLiteral(STEPGRAB_BINARY),
                       {u"--start"_s, u"--log"_s, u"--output"_s, desk.out2.path(), address});
        if (handedOver) {
            QVERIFY(desk.run.waitForFinished(10000));
            QCOMPARE(desk.run.exitCode(), 0);
            QTRY_COMPARE_WITH_TIMEOUT(first.process.peek(1 << 16).count("Download finished."), 2,
                                      20000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(desk.run.peek(1 << 16).contains("Download finished."), 20000);
            QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, 13));
            QCOMPARE(first.process.peek(1 << 16).count("Download finished."), 1);
            QFETCH(QString, error);
            const QString stderrText = QString::fromLocal8Bit(desk.run.readAllStandardError());
            QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
            QCOMPARE(QDir(runtime).entryList(QDir::System | QDir::NoDotAndDotDot), QStringList());
            desk.run.terminate();
            QVERIFY(desk.run.waitForFinished(10000));
        }
        first.stop();
        if (folder == u"squatted")
            QVERIFY(::chown(QFile::encodeName(runtime), ::getuid(), ::getgid()) == 0);
    }
};

QTEST_MAIN(TestLaunch)
#include "tst_ui_launch.moc"
