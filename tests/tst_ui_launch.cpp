#include "fixtureserver.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/uirun.h"

#include <QLocalSocket>
#include <sys/socket.h>
#include <sys/un.h>

using namespace Qt::StringLiterals;

static constexpr qint64 kSize = 1024;

// A series pic012..pic013 served, and a home, settings and runtime folder of its own.
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
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.path());
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        run.setProcessEnvironment(env);
        run.setWorkingDirectory(home.path()); // bookmarks are passed by a relative name
    }
    // The exit code, -1 for a crash.
    int launch(const QString& command, const QByteArray& input = {})
    {
        run.start(
            QStringLiteral(STEPGRAB_BINARY),
            QProcess::splitCommand(
                QString(command).replace(u"%out"_s, out2.path()).replace(u'@', server.baseUrl())));
        run.write(input);
        run.closeWriteChannel();
        return run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit
                   ? run.exitCode()
                   : -1;
    }
    // What a crashed window leaves: a bound socket nobody listens at.
    bool leaveStaleSocket() const
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(socket).constData(), sizeof address.sun_path);
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return bound;
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
        auto row = [](const char* name, const QString& file, const QString& options, int exitCode,
                      int last, const char* error = "") {
            QTest::newRow(name) << file << u"--quit-when-done --log --output %out "_s + options
                                << exitCode << last << QString::fromUtf8(error);
        };
        const QString url = u"[InternetShortcut]\r\nURL=@/d/pic012.jpg"_s;
        row(".url file", u"s.url="_s + url, u"--start s.url"_s, 0, 13);
        row(".URL file", u"S.URL="_s + url, u"--start S.URL"_s, 0, 13);
        row("not a bookmark", u"n.url=just some notes\n"_s, u"--start n.url"_s, 1, 11,
            "n.url is not a bookmark");
        const QString list = u"list.txt=@/d/pic012.jpg\r\n\r\n@/d/pic013.jpg\r\n"_s;
        row("list from standard input", list, u"--url-list -"_s, 0, 13);
        row("list file", list, u"--url-list list.txt"_s, 0, 13);
        row("a failing address", u"list.txt=@/d/pic012.jpg\n@/x/none.jpg\n@/d/pic013.jpg"_s,
            u"--url-list list.txt"_s, 1, 12);
        row("no address", u"list.txt= \n"_s, u"--url-list list.txt"_s, 1, 11,
            "list.txt holds no address");
        row("unreadable file", u"list.txt="_s, u"--url-list missing.txt"_s, 2, 11,
            "cannot read missing.txt: ");
        row("list with --start", list, u"--start --url-list -"_s, 2, 11, "cannot be combined");
    }
    void batch()
    {
        QFETCH(QString, file);
        QFETCH(QString, options);
        Desk desk;
        const QByteArray text = file.section(u'=', 1).replace(u'@', desk.server.baseUrl()).toUtf8();
        QFile out(desk.home.filePath(file.section(u'=', 0, 0)));
        QVERIFY(out.open(QFile::WriteOnly) && out.write(text) == text.size() && out.flush());
        QTEST(desk.launch(options, text), "exitCode");
        const QString stderrText = QString::fromLocal8Bit(desk.run.readAllStandardError());
        QFETCH(QString, error);
        QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
        QFETCH(int, last);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, last));
    }
    void secondLaunch_data()
    {
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("second");  // s.URL: a bookmark of the series, %out: a folder
        QTest::addColumn<bool>("handedOver"); // else the second launch downloads, into %out
        QTest::newRow("a typed address reaches the running window")
            << false << "--start @/d/pic012.jpg" << true;
        QTest::newRow("a .url file, after a crashed window's socket")
            << true << "--start s.URL" << true;
        QTest::newRow("a batch run runs alone")
            << false << "--start --quit-when-done --output %out s.URL" << false;
    }
    void secondLaunch()
    {
        QFETCH(bool, handedOver);
        Desk desk;
        QFETCH(bool, stale);
        QVERIFY(!stale || desk.leaveStaleSocket());
        Group first;
        QVERIFY(first.start(QStringLiteral(STEPGRAB_BINARY),
                            {u"--log"_s, u"--output"_s, desk.out1.path()}, desk.env));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(desk.socket);
                return probe.waitForConnected(100);
            }(),
            15000);
        QFile url(desk.home.filePath(u"s.URL"_s));
        const QByteArray link = "URL=" + desk.server.baseUrl().toUtf8() + "/d/pic012.jpg";
        QVERIFY(url.open(QFile::WriteOnly) && url.write("[InternetShortcut]\n" + link) &&
                url.flush());
        QElapsedTimer took;
        took.start();
        QFETCH(QString, second);
        QCOMPARE(desk.launch(second), 0);
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, handedOver ? 11 : 13));
        if (handedOver) // no window of its own, no run
            QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
        QTRY_COMPARE_WITH_TIMEOUT(seriesFilesBelow(desk.out1.path(), kSize),
                                  names(12, handedOver ? 13 : 11), 15000);
        if (handedOver)
            QTRY_VERIFY(first.process.peek(1 << 16).contains("Download finished."));
        QCOMPARE(first.process.state(), QProcess::Running);
        first.stop();
    }
};

QTEST_MAIN(TestLaunch)
#include "tst_ui_launch.moc"
