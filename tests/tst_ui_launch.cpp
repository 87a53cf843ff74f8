#include "fixtureserver.h"
#include "support/processgroup.h"
#include "support/series.h"
#include "support/uirun.h"

#include <QLocalSocket>
#include <QtTest>
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
    // "@" stands for the server; empty: not a bookmark.
    void bookmark(const QString& name, QString address) const
    {
        QFile file(home.filePath(name));
        QVERIFY(file.open(QFile::WriteOnly));
        file.write(address.isEmpty() ? "just some notes\n"
                                     : "[InternetShortcut]\r\nURL=" +
                                           address.replace(u'@', server.baseUrl()).toUtf8());
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
    void bookmarkArgument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("error"); // part of the standard error; empty: a full run
        QTest::newRow(".url file") << "s.url"
                                   << "@/d/pic012.jpg"
                                   << "";
        QTest::newRow(".URL file") << "S.URL"
                                   << "@/d/pic012.jpg"
                                   << "";
        QTest::newRow("not a bookmark") << "n.url"
                                        << ""
                                        << "n.url is not a bookmark";
    }
    void bookmarkArgument()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, error);
        Desk desk;
        desk.bookmark(name, address);
        QCOMPARE(desk.launch(u"--start --quit-when-done --log --output %out "_s + name),
                 error.isEmpty() ? 0 : 1);
        QVERIFY(QString::fromLocal8Bit(desk.run.readAllStandardError()).contains(error));
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, error.isEmpty() ? 13 : 11));
    }

    void urlList_data()
    {
        QTest::addColumn<QString>("options"); // list.txt holds the list; "-" reads it from stdin
        QTest::addColumn<QString>("list");    // @: the server
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("last"); // last number written into %out
        QTest::addColumn<QString>("error");
        const QString batch = u"--quit-when-done --log --output %out --url-list "_s;
        const QString list = u"@/d/pic012.jpg\r\n\r\n@/d/pic013.jpg\r\n"_s;
        QTest::newRow("standard input") << batch + u'-' << list << 0 << 13 << "";
        QTest::newRow("list file") << batch + u"list.txt"_s << list << 0 << 13 << "";
        QTest::newRow("a failing address")
            << batch + u"list.txt"_s << u"@/d/pic012.jpg\n@/x/none.jpg\n@/d/pic013.jpg"_s << 1 << 12
            << "";
        QTest::newRow("no address")
            << batch + u"list.txt"_s << u" \n"_s << 1 << 11 << "list.txt holds no address";
        QTest::newRow("unreadable file")
            << batch + u"missing.txt"_s << "" << 2 << 11 << "cannot read missing.txt: ";
        QTest::newRow("with --start")
            << u"--start "_s + batch + u'-' << list << 2 << 11 << "cannot be combined";
    }
    void urlList()
    {
        QFETCH(QString, options);
        QFETCH(QString, list);
        QFETCH(int, exitCode);
        QFETCH(int, last);
        QFETCH(QString, error);
        Desk desk;
        const QByteArray text = list.replace(u'@', desk.server.baseUrl()).toUtf8();
        QFile file(desk.home.filePath(u"list.txt"_s));
        QVERIFY(file.open(QFile::WriteOnly) && file.write(text) == text.size());
        file.close();
        QCOMPARE(desk.launch(options, text), exitCode);
        const QString stderrText = QString::fromLocal8Bit(desk.run.readAllStandardError());
        QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
        QCOMPARE(seriesFilesBelow(desk.out2.path(), kSize), names(12, last));
    }

    void secondLaunch_data()
    {
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("second");  // s.URL: a bookmark of the series, %out: a folder
        QTest::addColumn<bool>("handedOver"); // else the second launch downloads, into %out
        QTest::newRow("a .url file reaches the running window") << false << "--start s.URL" << true;
        QTest::newRow("a typed address reaches the running window")
            << false << "--start @/d/pic012.jpg" << true;
        QTest::newRow("after a crashed window's socket") << true << "--start s.URL" << true;
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
        desk.bookmark(u"s.URL"_s, u"@/d/pic012.jpg"_s);
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
