#include "app/controller.h"
#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "host/host.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>

Q_DECLARE_METATYPE(FixtureServer::End)

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 kFileSize = 20 * 1024;

// Stands in for the desktop: what the run asks of it is what the test reads.
class RecordingHost : public Host
{
public:
    QStringList calls;
    bool knowsApplication = true;

    void playSound(const QString& name) override { calls << u"sound "_s + name; }
    void requestAttention(const QString&, const QString&) override { calls << u"attention"_s; }
    void revealFile(const QString& path) override { calls << u"reveal "_s + path; }
    bool openFile(const QString& path) override
    {
        calls << u"open "_s + path;
        return true;
    }
    bool openFilesWithApplicationOf(const QString& first, const QStringList& paths) override
    {
        calls << u"openWith "_s + first + u" | "_s + paths.join(u',');
        return knowsApplication;
    }
};

QString names(int first, int last, const QString& format)
{
    QString out;
    for (int n = first; n <= last; ++n)
        out += format.arg(n, 3, 10, QLatin1Char('0'));
    return out;
}

QString completed(int first, int last)
{
    return names(first, last, u"DownloadComleted pic%1.jpg\n"_s);
}

QStringList fileNames(int first, int last)
{
    return names(first, last, u"pic%1.jpg "_s).split(u' ', Qt::SkipEmptyParts);
}

// Every file below dir, relative; a file whose bytes are not the series body is marked.
QStringList filesBelow(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QString name = it.fileName();
        const bool intact = file.readAll() == FixtureServer::seriesBody(name, kFileSize);
        out << QDir(dir).relativeFilePath(path) + (intact ? QString() : u" (corrupt)"_s);
    }
    out.sort();
    return out;
}

// One window, one server and one output directory, as a user would have them.
struct Session
{
    FixtureServer server;
    QTemporaryDir out;
    RecordingHost host;
    Controller controller{&host};
    QSignalSpy finished{&controller, &Controller::downloadFinished};

    explicit Session(int last = 20, FixtureServer::End end = FixtureServer::End::HtmlPage)
    {
        controller.applicationDidFinishLaunching();
        controller.mOutputDirectory = out.path();
        controller.mCreateNewFolder = controller.mOpenFolder = false;
        controller.mNoticeSoundAlert = controller.mNoticeDockingAction = false;
        controller.mNoticeSound.clear();
        server.addSeries(u"d"_s, u"pic"_s, 12, last, 3, u"jpg"_s, end, kFileSize);
    }
    template <typename T> T* get(const char* name) const
    {
        return controller.mainWindow()->findChild<T*>(QLatin1String(name));
    }
    QString address(const QString& name) const { return server.baseUrl() + u"/d/"_s + name; }
    QString log() const { return get<QPlainTextEdit>("mDrawer_Text")->toPlainText(); }
    QString counter() const { return get<QLabel>("mCounter")->text(); }
    QString number() const { return get<QLineEdit>("mNumber")->text(); }
    void click(const char* button) const
    {
        QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton);
    }
    void start()
    {
        controller.takeAddress(address(u"pic012.jpg"_s));
        click("mStartButton");
    }
    QStringList menuTitles() const
    {
        QStringList titles;
        const QList<QAction*> items = get<QToolButton>("mOpenDownloadMenu")->menu()->actions();
        for (QAction* item : items.mid(2))
            titles << item->text();
        return titles;
    }
    void delay(const QString& name, int ms)
    {
        server.addDelayed(u"/d/"_s + name, FixtureServer::seriesBody(name, kFileSize), ms);
    }
};

const QString kStart = u"StartedDownload"_s;
const QString kEnd = u"\nFinishedDownload"_s;

QString line(const QString& key, const QString& name)
{
    return key + u' ' + name + u'\n';
}

} // namespace

class TestDownload : public QObject
{
    Q_OBJECT

private slots:
    void init() { DownloadWorker::setPause(20); }
    void seriesRunsToItsEnd_data();
    void seriesRunsToItsEnd();
    void firstFileEndsRun_data();
    void firstFileEndsRun();
    void newFolderPerRun();
    void stopEndsRunOnce_data();
    void stopEndsRunOnce();
    void stopShowsNumberInFlight();
    void startRightAfterStop();
    void quitDuringRun();
    void menuOpensFiles_data();
    void menuOpensFiles();
};

void TestDownload::seriesRunsToItsEnd_data()
{
    QTest::addColumn<FixtureServer::End>("end");
    QTest::addColumn<bool>("soundAlert");
    QTest::addColumn<QString>("soundName");
    QTest::addColumn<bool>("attention");
    QTest::addColumn<bool>("reveal");
    QTest::addColumn<QStringList>("notices");

    using E = FixtureServer::End;
    const QString revealFirst = u"reveal %1/pic012.jpg"_s;
    QTest::newRow("html page, every notice")
        << E::HtmlPage << true << u"Glass"_s << true << true
        << QStringList{u"sound Glass"_s, u"attention"_s, revealFirst};
    QTest::newRow("404 image, sound on without a name")
        << E::NotFound404Binary << true << QString() << false << false << QStringList{};
    QTest::newRow("404 page, a name without sound") << E::NotFound404Html << false << u"Glass"_s
                                                    << true << false << QStringList{u"attention"_s};
    QTest::newRow("doctype page, reveal only")
        << E::SoftDoctype << false << QString() << false << true << QStringList{revealFirst};
    QTest::newRow("upper-case page, sound only")
        << E::UpperHtml << true << u"Glass"_s << false << false << QStringList{u"sound Glass"_s};
}

void TestDownload::seriesRunsToItsEnd()
{
    QFETCH(FixtureServer::End, end);
    QFETCH(bool, soundAlert);
    QFETCH(QString, soundName);
    QFETCH(bool, attention);
    QFETCH(bool, reveal);
    QFETCH(QStringList, notices);

    Session s(20, end);
    s.controller.mNoticeSoundAlert = soundAlert;
    s.controller.mNoticeSound = soundName;
    s.controller.mNoticeDockingAction = attention;
    s.controller.mOpenFolder = reveal;
    s.start();
    QTRY_COMPARE_WITH_TIMEOUT(s.finished.count(), 1, 20000);

    QCOMPARE(s.finished.at(0).at(0).toBool(), false);
    QCOMPARE(s.log(), kStart + completed(12, 20) + line(u"CantFound"_s, u"pic021.jpg"_s) + kEnd);
    QCOMPARE(filesBelow(s.out.path()), fileNames(12, 20));
    QCOMPARE(s.counter(), u"9"_s);
    QCOMPARE(s.number(), u"021"_s);
    QList<bool> readOnly;
    for (const char* field : {"mLocation", "mFileName", "mNumber", "mExtension"})
        readOnly << s.get<QLineEdit>(field)->isReadOnly();
    QCOMPARE(readOnly, QList<bool>(4, false));
    QVERIFY(s.get<QPushButton>("mStartButton")->isEnabled());
    QVERIFY(!s.get<QPushButton>("mStopButton")->isEnabled());
    QCOMPARE(s.get<LogDrawer>("mDrawer")->state(), LogDrawer::Open);
    QCOMPARE(s.menuTitles(), names(12, 20, u"pic%1 "_s).split(u' ', Qt::SkipEmptyParts));
    QCOMPARE(s.host.calls, notices.replaceInStrings(u"%1"_s, s.out.path()));
}

void TestDownload::firstFileEndsRun_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("newFolder");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("requests");

    const QString failed = kStart + line(u"FailureDownload"_s, u"pic012.jpg"_s) + kEnd;
    const QString missing = kStart + line(u"CantFound"_s, u"pic012.jpg"_s) + kEnd;
    QTest::newRow("first file answers 404")
        << 404 << QString() << false << QString() << missing << 1;
    QTest::newRow("first file answers 500")
        << 500 << QString() << false << QString() << missing << 1;
    QTest::newRow("output folder missing")
        << 0 << u"missing"_s << false << QString() << failed << 1;
    QTest::newRow("dated folder cannot be made")
        << 0 << u"missing"_s << true << QString() << failed << 0;
    QTest::newRow("address is no URL") << 0 << QString() << false << u"99999"_s << failed << 0;
    QTest::newRow("nothing listens")
        << 0 << QString() << false << u"1"_s << kStart + u">Connection refused\n"_s + kEnd << 0;
}

void TestDownload::firstFileEndsRun()
{
    QFETCH(int, status);
    QFETCH(QString, output);
    QFETCH(bool, newFolder);
    QFETCH(QString, port);
    QFETCH(QString, log);
    QFETCH(int, requests);

    Session s;
    if (status)
        s.server.addFile(u"/d/pic012.jpg"_s, "<html>gone</html>", status, "text/html");
    if (!output.isEmpty())
        s.controller.mOutputDirectory = s.out.filePath(output);
    s.controller.mCreateNewFolder = newFolder;
    QString address = s.address(u"pic012.jpg"_s);
    if (!port.isEmpty())
        address.replace(QString::number(s.server.port()), port);
    s.controller.takeAddress(address);
    s.click("mStartButton");
    QTRY_COMPARE(s.finished.count(), 1);
    // Long enough for a worker that should not exist to have asked for the next file.
    QTest::qWait(300);

    QCOMPARE(s.finished.at(0).at(0).toBool(), true);
    QCOMPARE(s.log(), log);
    QCOMPARE(s.counter(), u"0"_s);
    QCOMPARE(filesBelow(s.out.path()), QStringList());
    QCOMPARE(s.server.hits(u"/d/pic012.jpg"_s), requests);
    QCOMPARE(s.server.hits(u"/d/pic013.jpg"_s), 0);
    QCOMPARE(s.finished.count(), 1);
    QVERIFY(s.get<QPushButton>("mStartButton")->isEnabled());
}

void TestDownload::newFolderPerRun()
{
    Session s(14);
    s.controller.mCreateNewFolder = true;
    s.start();
    QTRY_COMPARE_WITH_TIMEOUT(s.finished.count(), 1, 10000);

    QCOMPARE(s.log(), kStart + u"CreateNewFolder"_s + completed(12, 14) +
                          line(u"CantFound"_s, u"pic015.jpg"_s) + kEnd);
    const QStringList folders = QDir(s.out.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(folders.size(), 1);
    static const QRegularExpression dated(
        u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d [+-]\\d{4}$"_s);
    QVERIFY2(dated.match(folders.first()).hasMatch(), qPrintable(folders.first()));
    QStringList expected = fileNames(12, 14);
    expected.replaceInStrings(QRegularExpression(u"^"_s), folders.first() + u'/');
    QCOMPARE(filesBelow(s.out.path()), expected);
    QVERIFY(s.get<QAction>("actionOpenAllFiles")->isEnabled());
}

void TestDownload::stopEndsRunOnce_data()
{
    QTest::addColumn<QString>("delayed");
    QTest::addColumn<int>("pause");
    QTest::addColumn<QString>("stopAfterRequest");
    QTest::addColumn<QString>("stopAtCounter");
    QTest::addColumn<int>("written");
    QTest::addColumn<QString>("neverAsked");

    QTest::newRow("during the first fetch")
        << u"pic012.jpg"_s << 20 << u"pic012.jpg"_s << u"0"_s << 0 << u"pic013.jpg"_s;
    QTest::newRow("during a later fetch")
        << u"pic014.jpg"_s << 20 << u"pic014.jpg"_s << u"2"_s << 2 << u"pic015.jpg"_s;
    QTest::newRow("during the pause")
        << QString() << 3000 << u"pic013.jpg"_s << u"2"_s << 2 << u"pic014.jpg"_s;
}

void TestDownload::stopEndsRunOnce()
{
    QFETCH(QString, delayed);
    QFETCH(int, pause);
    QFETCH(QString, stopAfterRequest);
    QFETCH(QString, stopAtCounter);
    QFETCH(int, written);
    QFETCH(QString, neverAsked);

    Session s;
    DownloadWorker::setPause(pause);
    // Short enough that an abandoned fetch would still finish within the wait below.
    if (!delayed.isEmpty())
        s.delay(delayed, 1000);
    s.controller.mNoticeDockingAction = true;
    s.start();
    QTRY_COMPARE(s.server.hits(u"/d/"_s + stopAfterRequest), 1);
    QTRY_COMPARE(s.counter(), stopAtCounter);
    s.click("mStopButton");

    const QString log = kStart + completed(12, 11 + written) + kEnd;
    QCOMPARE(s.log(), log);
    QCOMPARE(s.finished.count(), 1);
    QCOMPARE(s.finished.at(0).at(0).toBool(), false);
    QVERIFY(!s.controller.isDownloading());
    QVERIFY(s.get<QPushButton>("mStartButton")->isEnabled());
    QVERIFY(!s.get<QPushButton>("mStopButton")->isEnabled());
    // Whatever the stopped run still had under way must leave no trace.
    QTest::qWait(1500);
    QCOMPARE(s.log(), log);
    QCOMPARE(s.counter(), stopAtCounter);
    QCOMPARE(s.finished.count(), 1);
    QCOMPARE(s.host.calls, QStringList{u"attention"_s});
    QCOMPARE(filesBelow(s.out.path()), fileNames(12, 11 + written));
    QCOMPARE(s.server.hits(u"/d/"_s + neverAsked), 0);
}

void TestDownload::stopShowsNumberInFlight()
{
    Session s;
    DownloadWorker::setPause(400);
    s.delay(u"pic014.jpg"_s, 600);
    s.start();
    QTRY_COMPARE(s.counter(), u"2"_s);
    // No events until the worker asks for pic014: its new number is then still on its way.
    QDeadlineTimer deadline(5000);
    while (s.server.hits(u"/d/pic014.jpg"_s) == 0 && !deadline.hasExpired())
        QThread::msleep(5);
    s.controller.stop_download();
    QTRY_COMPARE(s.number(), u"014"_s);

    // The next run begins with the number the field shows.
    s.finished.clear();
    s.click("mStartButton");
    QTRY_COMPARE_WITH_TIMEOUT(s.finished.count(), 1, 20000);
    QCOMPARE(s.log(), kStart + completed(14, 20) + line(u"CantFound"_s, u"pic021.jpg"_s) + kEnd);
}

void TestDownload::startRightAfterStop()
{
    Session s;
    DownloadWorker::setPause(50);
    s.delay(u"pic014.jpg"_s, 800);
    s.start();
    QTRY_COMPARE(s.server.hits(u"/d/pic014.jpg"_s), 1);
    s.click("mStopButton");
    s.click("mInitButton");
    s.click("mStartButton");
    QTRY_COMPARE_WITH_TIMEOUT(s.finished.count(), 2, 20000);

    const QString log = kStart + completed(12, 20) + line(u"CantFound"_s, u"pic021.jpg"_s) + kEnd;
    QCOMPARE(s.log(), log);
    QCOMPARE(s.counter(), u"9"_s);
    QCOMPARE(filesBelow(s.out.path()), fileNames(12, 20));
    QTest::qWait(1500);
    QCOMPARE(s.log(), log);
    QCOMPARE(s.finished.count(), 2);
}

void TestDownload::quitDuringRun()
{
    const QString conf = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         u"/Stepgrab/Stepgrab.conf"_s;
    QFile::remove(conf);
    Session s;
    s.delay(u"pic013.jpg"_s, 4000);
    s.start();
    QTRY_COMPARE(s.server.hits(u"/d/pic013.jpg"_s), 1);
    s.controller.applicationWillTerminate();

    QVERIFY(!s.controller.isDownloading());
    QCOMPARE(s.finished.count(), 1);
    QCOMPARE(s.log(), kStart + completed(12, 12) + kEnd);
    QCOMPARE(filesBelow(s.out.path()), fileNames(12, 12));
    QSettings stored(conf, QSettings::IniFormat);
    QCOMPARE(stored.value(u"SGOutputDirectory"_s).toString(), s.out.path());
    QCoreApplication::processEvents();
    QCOMPARE(s.log(), kStart + completed(12, 12) + kEnd);
}

void TestDownload::menuOpensFiles_data()
{
    QTest::addColumn<bool>("knowsApplication");
    QTest::addColumn<QStringList>("openAll");

    const QString all = u"%1/pic012.jpg,%1/pic013.jpg,%1/pic014.jpg"_s;
    const QString openWith = u"openWith %1/pic012.jpg | "_s + all;
    QTest::newRow("application of the first file known") << true << QStringList{openWith};
    QTest::newRow("no application known")
        << false
        << QStringList{openWith, u"open %1/pic012.jpg"_s, u"open %1/pic013.jpg"_s,
                       u"open %1/pic014.jpg"_s};
}

void TestDownload::menuOpensFiles()
{
    QFETCH(bool, knowsApplication);
    QFETCH(QStringList, openAll);

    Session s(14);
    s.host.knowsApplication = knowsApplication;
    s.start();
    QTRY_COMPARE_WITH_TIMEOUT(s.finished.count(), 1, 10000);
    const QList<QAction*> items = s.get<QToolButton>("mOpenDownloadMenu")->menu()->actions();
    QCOMPARE(items.size(), 5);

    items.at(3)->trigger();
    QCOMPARE(s.host.calls, QStringList{u"open "_s + s.out.filePath(u"pic013.jpg"_s)});
    s.host.calls.clear();
    items.at(0)->trigger();
    QCOMPARE(s.host.calls, openAll.replaceInStrings(u"%1"_s, s.out.path()));
}

int main(int argc, char* argv[])
{
    // Preferences of the person running the tests stay untouched.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestDownload test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_download.moc"
