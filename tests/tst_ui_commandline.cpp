#include "fixtureserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kFileSize = 20 * 1024;

// The program loads its English texts; a log line reads as that table says.
QString englishLine(const QString& key, const QString& fileName)
{
    QFile ts(QFINDTESTDATA("../src/Resources/translations/stepgrab_en.ts"));
    if (!ts.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&ts);
    bool inMessage = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"message") {
            inMessage = xml.attributes().value(QLatin1String("id")) == key;
        } else if (inMessage && xml.name() == u"translation") {
            const QString text = xml.readElementText();
            return text.contains(u"%1") ? QString(text).replace(u"%1"_s, fileName)
                                        : text + u' ' + fileName;
        }
    }
    return {};
}

// A home of its own for every launch: nothing of the user's is read or written.
struct Home
{
    QTemporaryDir root;

    QString config() const { return root.filePath(u"config/Stepgrab/Stepgrab.conf"_s); }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"HOME"_s, root.path());
        env.insert(u"XDG_CONFIG_HOME"_s, root.filePath(u"config"_s));
        env.insert(u"XDG_DATA_HOME"_s, root.filePath(u"data"_s));
        env.insert(u"XDG_RUNTIME_DIR"_s, root.path());
        env.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        return env;
    }
};

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

Outcome launch(const Home& home, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(home.environment());
    process.start(QStringLiteral(STEPGRAB_BINARY), arguments);
    if (!process.waitForFinished(40000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void options_data();
    void options();
    void runUntilDone_data();
    void runUntilDone();
};

void TestCommandLine::options_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    QTest::newRow("version") << QStringList{u"--version"_s} << 0
                             << u"^Stepgrab \\d+\\.\\d+\\.\\d+\\n$"_s << u"^$"_s;
    QTest::newRow("help") << QStringList{u"--help"_s} << 0
                          << u"--start(.|\\n)*--quit-when-done(.|\\n)*--log(.|\\n)*--output"_s
                          << u"^$"_s;
    QTest::newRow("unknown option")
        << QStringList{u"--bogus"_s} << 2 << u"^$"_s << u"Unknown option 'bogus'"_s;
    QTest::newRow("output without a folder")
        << QStringList{u"--output"_s} << 2 << u"^$"_s << u"--output"_s;
    QTest::newRow("two addresses") << QStringList{u"http://h/a/p1.jpg"_s, u"http://h/a/p2.jpg"_s}
                                   << 2 << u"^$"_s << u"only one ADDRESS"_s;
    QTest::newRow("start without an address")
        << QStringList{u"--start"_s, u"--quit-when-done"_s} << 1 << u"^$"_s
        << u"--start needs a counted address"_s;
}

void TestCommandLine::options()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    Home home;
    const Outcome result = launch(home, arguments);
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY2(QRegularExpression(out).match(result.out).hasMatch(), qPrintable(result.out));
    QVERIFY2(QRegularExpression(err).match(result.err).hasMatch(), qPrintable(result.err));
}

void TestCommandLine::runUntilDone_data()
{
    QTest::addColumn<bool>("secondFileCut");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("lastWritten");
    QTest::addColumn<QString>("endKey");
    QTest::addColumn<QString>("endName");

    QTest::newRow("series ends with a page")
        << false << 0 << 20 << u"CantFound"_s << u"pic021.jpg"_s;
    QTest::newRow("second file cut") << true << 1 << 12 << u"FailureDownload"_s << u"pic013.jpg"_s;
}

void TestCommandLine::runUntilDone()
{
    QFETCH(bool, secondFileCut);
    QFETCH(int, exitCode);
    QFETCH(int, lastWritten);
    QFETCH(QString, endKey);
    QFETCH(QString, endName);

    FixtureServer server;
    server.addSeries(u"d"_s, u"pic"_s, 12, 20, 3, u"jpg"_s, FixtureServer::End::HtmlPage,
                     kFileSize);
    if (secondFileCut)
        server.addCut(u"/d/pic013.jpg"_s, 1000, kFileSize);
    Home home;
    const QString chosen = home.root.filePath(u"chosen"_s);
    {
        QSettings store(home.config(), QSettings::IniFormat);
        store.setValue(u"SGOutputDirectory"_s, chosen);
    }
    const QString once = home.root.filePath(u"once"_s);
    QVERIFY(QDir().mkpath(once));

    const Outcome result =
        launch(home, {u"--start"_s, u"--quit-when-done"_s, u"--log"_s, u"--output"_s, once,
                      server.baseUrl() + u"/d/pic012.jpg"_s});
    QCOMPARE(result.exitCode, exitCode);

    QStringList expected, written;
    for (int n = 12; n <= lastWritten; ++n)
        expected << u"pic%1.jpg"_s.arg(n, 3, 10, QLatin1Char('0'));
    for (const QString& name : QDir(once).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        QFile file(QDir(once).filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == FixtureServer::seriesBody(name, kFileSize), qPrintable(name));
        written << name;
    }
    QCOMPARE(written, expected);

    const QString endLine = englishLine(endKey, endName);
    QVERIFY(!endLine.isEmpty());
    QVERIFY2(result.out.contains(endLine + u'\n'), qPrintable(result.out));
    QVERIFY2(result.out.contains(englishLine(u"DownloadComleted"_s, u"pic012.jpg"_s) + u'\n'),
             qPrintable(result.out));
    // Written at quit, yet with the folder the user chose, not the one of this launch.
    QSettings store(home.config(), QSettings::IniFormat);
    QVERIFY(store.contains(u"SGWebBrowser"_s));
    QCOMPARE(store.value(u"SGOutputDirectory"_s).toString(), chosen);
}

QTEST_GUILESS_MAIN(TestCommandLine)

#include "tst_ui_commandline.moc"
