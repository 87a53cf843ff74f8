#include "fixtureserver.h"
#include "support/files.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/table.h"
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

// The program's own handlers for the signals that end it like Quit (asked once it is fetching).
static bool catchesQuitSignals(qint64 pid)
{
    const QString all = QString::fromLatin1(fileBytes(u"/proc/%1/status"_s.arg(pid)));
    const quint64 caught = all.section(u"SigCgt:\t"_s, 1).left(16).toULongLong(nullptr, 16);
    return (caught >> (SIGTERM - 1) & caught >> (SIGINT - 1) & caught >> (SIGHUP - 1) & 1) != 0;
}

// A file the program holds open in `dir`: the one in transfer, once part of it is written.
static bool writesInto(qint64 pid, const QString& dir)
{
    QDirIterator it(u"/proc/%1/fd"_s.arg(pid),
                    QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext())
        if (QFileInfo(it.next()).symLinkTarget().startsWith(dir + u'/'))
            return true;
    return false;
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
        // The same series behind a login: a page for whoever does not send the cookie.
        server.addSeries(u"m"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        server.requireCookie(u"m"_s, "sid=abc");
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
        const QByteArray bytes = file.section(u'=', 1).replace(u'@', server.baseUrl()).toUtf8();
        return writeFile(home.filePath(file.section(u'=', 0, 0)), bytes) ? bytes : "-";
    }
    // %out: `out`, @: the server.
    QStringList arguments(QString command, const QTemporaryDir& out) const
    {
        command.replace(u"%out"_s, out.path()).replace(u'@', server.baseUrl());
        return QProcess::splitCommand(command);
    }
    void begin(const QString& command) { run.start(STEPGRAB_BINARY, arguments(command, out2)); }
    // A first window, writing into out1.
    bool open(Group& window, const QString& command)
    {
        return window.start(STEPGRAB_BINARY, arguments(command, out1), env);
    }
    // The exit code, -1 for a crash.
    int launch(const QString& command, const QByteArray& input = {})
    {
        begin(command);
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
        // file: name=content (@: the server); last: the last number written into %out; error:
        // part of the standard error or of the log
        columns<QString, QString, int, int, QString>("file", "options", "exitCode", "last",
                                                     "error");
        auto row = [](const char* name, const QString& file, const char* options, int exitCode,
                      int last, const char* error = "") {
            QTest::newRow(name) << file << u"--quit-when-done --log --output %out "_s + options
                                << exitCode << last << QString::fromUtf8(error);
        };
        row("not a bookmark", u"n.url=just some notes\n"_s, "--start n.url", 1, 11,
            "n.url is not a bookmark");
        row("list from standard input", u"l=@/d/pic012.jpg\r\n\r\n@/d/pic013.jpg\r\n"_s,
            "--url-list -", 0, 13);
        row("a failing address, going on", u"l=@/d/pic012.jpg\n@/x/none.jpg\n@/d/pic013.jpg"_s,
            "--url-list l --keep-going", 1, 13);
        row("no address", u"l= \n"_s, "--url-list l", 1, 11, "l holds no address");
        const QString jar =
            u"c=# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc\n"_s;
        row("a line that is no cookie: said, the others sent", jar + u"junk\n"_s,
            "--cookies c --start @/m/pic012.jpg", 0, 13, "Some cookies (1) could not be read");
        row("behind a login, without cookies", jar, "--start @/m/pic012.jpg", 1, 11,
            "the server sent a web page");
        row("cookie file missing: the run goes on without", jar,
            "--cookies none --start @/d/pic012.jpg", 0, 13, "cannot read the cookie file");
        row("no browser profile: said, the run goes on without", jar,
            "--cookies-from-browser chromium --start @/d/pic012.jpg", 0, 13,
            "No profile of Chromium");
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
        // The log, mirrored, is on standard output.
        const QString stderrText = QString::fromLocal8Bit(desk.run.readAllStandardError() +
                                                          desk.run.readAllStandardOutput());
        QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
        QFETCH(int, last);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, last));
        // --keep-going is for its launch: the stored choice stays as it was.
        QSettings kept(desk.home.filePath(u"Stepgrab/Stepgrab.conf"_s), QSettings::IniFormat);
        QCOMPARE(kept.value(u"SGListGoOn"_s, false).toBool(), false);
    }
    // A second launch hands a typed address or a bookmark to the running window, even after a
    // crashed window's socket; a batch run of a bookmark runs alone, into %out. The socket's
    // folder must be the user's alone: any other is not used, and each launch runs on its own.
    // Without XDG_RUNTIME_DIR the socket goes into a private cache folder.
    void secondLaunch_data()
    {
        // folder: the socket's; error: part of the second launch's standard error
        columns<QString, QString, bool, QString>("folder", "second", "handedOver", "error");
        const auto row = [](const char* name, const char* folder, const QString& second,
                            bool handedOver, const char* error = "") {
            QTest::newRow(name) << QString::fromLatin1(folder) << second << handedOver
                                << QString::fromLatin1(error);
        };
        const QString typed = u"--start --log --output %out @/d/pic012.jpg"_s;
        row(".URL after a stale socket", "stale", u"--start --output %out s.URL"_s, true);
        row("batch", "private", u"--start --quit-when-done --log --output %out s.URL"_s, false);
        row("no runtime folder", "unset", typed, true);
        row("another user's", "squatted", typed, false, "it belongs to another user");
        row("open to the group", "0770", typed, false, "others can write");
        row("a link to a private folder", "link", typed, false, "it is a symbolic link");
    }
    void secondLaunch()
    {
        QFETCH(QString, folder);
        QFETCH(QString, second);
        QFETCH(bool, handedOver);
        QFETCH(QString, error);
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
            const uint mode = folder.startsWith(u'0') ? folder.toUInt(nullptr, 8) : 0700;
            QCOMPARE(::chmod(QFile::encodeName(runtime), mode), 0);
        }
        if (folder == u"stale") { // what a crashed window leaves: a bound socket nobody listens at
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{AF_UNIX, {}};
            qstrncpy(address.sun_path, QFile::encodeName(socket), sizeof address.sun_path);
            QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
            ::close(fd);
        }
        desk.run.setProcessEnvironment(desk.env);
        Group first;
        QVERIFY(desk.open(first, u"--start --log --output %out @/d/pic012.jpg"_s));
        const auto finished = [](QProcess& p) {
            return p.peek(1 << 16).count("Download finished.");
        };
        QTRY_COMPARE_WITH_TIMEOUT(finished(first.process), 1, 20000);
        QCOMPARE(listening(socket), error.isEmpty());
        desk.begin(second);
        if (handedOver) { // no window of its own, no run
            QVERIFY(desk.run.waitForFinished(10000));
            QCOMPARE(desk.run.exitCode(), 0);
            QTRY_COMPARE_WITH_TIMEOUT(finished(first.process), 2, 20000);
            QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), QStringList());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(finished(desk.run), 1, 20000);
            QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, 13));
            QCOMPARE(finished(first.process), 1);
            const QString stderrText = QString::fromLocal8Bit(desk.run.readAllStandardError());
            QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
            if (!error.isEmpty())
                QCOMPARE(QDir(runtime).entryList(QDir::System | QDir::NoDotAndDotDot),
                         QStringList());
            desk.run.terminate(); // a window of its own; a batch run has ended by itself
            QVERIFY(desk.run.waitForFinished(10000) || desk.run.state() == QProcess::NotRunning);
        }
        QCOMPARE(first.process.state(), QProcess::Running);
        first.stop();
        if (folder == u"squatted")
            QVERIFY(::chown(QFile::encodeName(runtime), ::getuid(), ::getgid()) == 0);
    }

    // A launch that gave up on a frozen window runs the series itself; the window, once woken,
    // must not run it a second time.
    void frozenWindow()
    {
        Desk desk;
        Group first;
        QVERIFY(desk.open(first, u"--log --output %out"_s));
        QTRY_VERIFY_WITH_TIMEOUT(listening(desk.socket), 15000);
        QCOMPARE(::kill(pid_t(first.pid), SIGSTOP), 0);
        desk.begin(u"--start --log --output %out @/d/pic012.jpg"_s);
        QTRY_VERIFY_WITH_TIMEOUT(desk.run.peek(1 << 16).contains("Download finished."), 20000);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, 13));
        desk.run.terminate();
        QVERIFY(desk.run.waitForFinished(10000));
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

    // Each signal that ends the program like Quit, while it fetches: the run is stopped (and
    // counts as stopped), the log closes, the preferences and the window's place are kept, and
    // no part of the file in transfer stays. A second signal while it quits changes nothing.
    void quitSignalDuringAFetch_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::newRow("SIGINT, then SIGTERM while it quits") << QList{SIGINT, SIGTERM};
        QTest::newRow("SIGHUP: the terminal closed") << QList{SIGHUP};
    }
    void quitSignalDuringAFetch()
    {
        QFETCH(QList<int>, sent);
        Desk desk;
        desk.server.addFile(u"/q/pic012.jpg"_s, FixtureServer::seriesBody(u"pic012.jpg"_s, kSize));
        // About a kilobyte a second: half a second in, part of it is on disk, the rest far off.
        desk.server.addDrip(u"/q/pic013.jpg"_s, 1 << 20, 1);
        QProcess& process = desk.run;
        desk.begin(u"--log --output %out --start --quit-when-done @/q/pic012.jpg"_s);
        QTRY_VERIFY_WITH_TIMEOUT(desk.server.hits(u"/q/pic013.jpg"_s) &&
                                     catchesQuitSignals(process.processId()) &&
                                     writesInto(process.processId(), desk.out2.path()),
                                 15000);
        for (int signal : sent)
            ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, 0);
        QCOMPARE(process.readAllStandardOutput() +
                     seriesFilesBelow(desk.out2.path(), kSize).join(u' '),
                 u"Download started.\nDownloaded pic012.jpg\n\nDownload finished.\npic012.jpg"_s);
        const QSettings written(desk.home.filePath(u"Stepgrab/Stepgrab.conf"_s),
                                QSettings::IniFormat);
        // Written at quit, with the user's folder, not this launch's --output.
        QCOMPARE(written.value(u"SGOutputDirectory"_s).toString(), desk.home.path());
        QVERIFY(!written.value(u"StepgrabWindow"_s).toByteArray().isEmpty());
    }
};

QTEST_MAIN(TestLaunch)
#include "tst_ui_launch.moc"
