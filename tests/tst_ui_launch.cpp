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

// A home, settings and runtime folder of its own for each launch pair.
struct Desk
{
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString runtime = home.filePath(u"run"_s);
    QString socket = runtime + u"/stepgrab-%1.sock"_s.arg(::getuid());
    Desk()
    {
        QDir().mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(u"HOME"_s, home.path());
        env.insert(u"XDG_CONFIG_HOME"_s, home.path());
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    }
    QString bookmark(const QString& name, const QByteArray& bytes) const
    {
        QFile file(home.filePath(name));
        file.open(QFile::WriteOnly);
        file.write(bytes);
        return name; // launched from the home folder, by a relative name
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

static QByteArray internetShortcut(const QString& address)
{
    return "[InternetShortcut]\r\nURL=" + address.toUtf8() + "\r\n";
}

class TestLaunch : public QObject
{
    Q_OBJECT

private slots:
    void bookmarkArgument_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("address"); // "@" is the fixture server; empty: not a bookmark
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<int>("last");
        QTest::addColumn<QString>("error"); // part of the standard error
        QTest::newRow(".url file") << "s.url"
                                   << "@/d/pic012.jpg" << 0 << 13 << "";
        QTest::newRow(".URL file") << "S.URL"
                                   << "@/d/pic012.jpg" << 0 << 13 << "";
        QTest::newRow("first file missing") << "x.url"
                                            << "@/x/pic012.jpg" << 1 << 11 << "";
        QTest::newRow("no counted address")
            << "d.url"
            << "@/d/" << 1 << 11 << "--start needs a counted address";
        QTest::newRow("not a bookmark") << "n.url"
                                        << "" << 1 << 11 << "n.url is not a bookmark";
    }

    void bookmarkArgument()
    {
        QFETCH(QString, name);
        QFETCH(QString, address);
        QFETCH(QString, error);
        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        const Desk desk;
        QTemporaryDir out;
        const QByteArray bytes = address.isEmpty()
                                     ? "just some notes\n"
                                     : internetShortcut(address.replace(u'@', server.baseUrl()));
        QProcess run;
        run.setProcessEnvironment(desk.env);
        run.setWorkingDirectory(desk.home.path());
        run.start(QStringLiteral(STEPGRAB_BINARY),
                  {u"--start"_s, u"--quit-when-done"_s, u"--log"_s, u"--output"_s, out.path(),
                   desk.bookmark(name, bytes)});
        QVERIFY(run.waitForFinished(30000));
        QTEST(run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1, "exitCode");
        QVERIFY(QString::fromLocal8Bit(run.readAllStandardError()).contains(error));
        QFETCH(int, last);
        QCOMPARE(seriesFilesBelow(out.path(), kSize), names(12, last));
    }

    void secondLaunch_data()
    {
        QTest::addColumn<bool>("stale");
        QTest::addColumn<QString>("second"); // %file: a bookmark of the series, %out: a folder
        QTest::addColumn<int>("firstLast");  // the last file the running window downloads
        QTest::addColumn<int>("secondLast"); // and the second launch, into %out
        QTest::newRow("a .url file reaches the running window")
            << false << "--start %file" << 13 << 11;
        QTest::newRow("a typed address reaches the running window")
            << false << "--start @/d/pic012.jpg" << 13 << 11;
        QTest::newRow("after a crashed window's socket") << true << "--start %file" << 13 << 11;
        QTest::newRow("a batch run runs alone")
            << false << "--start --quit-when-done --output %out %file" << 11 << 13;
    }

    void secondLaunch()
    {
        QFETCH(bool, stale);
        QFETCH(QString, second);
        FixtureServer server;
        server.addSeries(u"d"_s, u"pic"_s, 12, 13, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                         kSize);
        const Desk desk;
        QTemporaryDir out1, out2;
        QVERIFY(!stale || desk.leaveStaleSocket());
        Group first;
        QVERIFY(first.start(QStringLiteral(STEPGRAB_BINARY),
                            {u"--log"_s, u"--output"_s, out1.path()}, desk.env));
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(desk.socket);
                return probe.waitForConnected(100);
            }(),
            15000);

        const QString file =
            desk.bookmark(u"s.URL"_s, internetShortcut(server.baseUrl() + u"/d/pic012.jpg"_s));
        QProcess run;
        run.setProcessEnvironment(desk.env);
        run.setWorkingDirectory(desk.home.path());
        QElapsedTimer took;
        took.start();
        run.start(QStringLiteral(STEPGRAB_BINARY),
                  QProcess::splitCommand(second.replace(u"%file"_s, file)
                                             .replace(u"%out"_s, out2.path())
                                             .replace(u'@', server.baseUrl())));
        QVERIFY(run.waitForFinished(30000));
        QCOMPARE(run.exitStatus() == QProcess::NormalExit ? run.exitCode() : -1, 0);
        QFETCH(int, secondLast);
        QCOMPARE(seriesFilesBelow(out2.path(), kSize), names(12, secondLast));
        if (secondLast == 11) // handed over: no window of its own, no run
            QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));

        QFETCH(int, firstLast);
        QTRY_COMPARE_WITH_TIMEOUT(seriesFilesBelow(out1.path(), kSize), names(12, firstLast),
                                  15000);
        if (firstLast > 11)
            QTRY_VERIFY(first.process.peek(1 << 16).contains("Download finished."));
        QCOMPARE(first.process.state(), QProcess::Running);
        first.stop();
    }
};

QTEST_MAIN(TestLaunch)

#include "tst_ui_launch.moc"
