#include "app/controller.h"
#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "host/host.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Nothing here ends a run with notices worth reading; the host only has to exist.
class QuietHost : public Host
{
public:
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    void revealFile(const QString&) override {}
    bool openFile(const QString&) override { return true; }
    bool openFilesWithApplicationOf(const QString&, const QStringList&) override { return true; }
};

struct Window
{
    QuietHost host;
    Controller controller{&host};
    QSignalSpy finished{&controller, &Controller::downloadFinished};

    Window() { controller.applicationDidFinishLaunching(); }
    template <typename T = QLineEdit> T* get(const char* name) const
    {
        return controller.mainWindow()->findChild<T*>(QLatin1String(name));
    }
    // Replaces the field's text the way a user does: select all, type over it.
    void type(const char* field, const QString& text) const
    {
        QLineEdit* edit = get(field);
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Delete);
        else
            QTest::keyClicks(edit, text);
    }
    void enter(const QString& text) const
    {
        type("mLocation", text);
        QTest::keyClick(get("mLocation"), Qt::Key_Return);
    }
    QStringList fields() const
    {
        QStringList out;
        for (const char* name : {"mLocation", "mFileName", "mNumber", "mExtension"})
            out << get(name)->text();
        return out;
    }
    // Start, Stop, Reset, Init.
    QList<bool> buttons() const
    {
        QList<bool> out;
        for (const char* name : {"mStartButton", "mStopButton", "mResetButton", "mInitButton"})
            out << get<QPushButton>(name)->isEnabled();
        return out;
    }
    void click(const char* button) const
    {
        QTest::mouseClick(get<QPushButton>(button), Qt::LeftButton);
    }
    QString log() const { return get<QPlainTextEdit>("mDrawer_Text")->toPlainText(); }
    QString counter() const { return get<QLabel>("mCounter")->text(); }
    QMessageBox* alert() const { return get<QMessageBox>("alertSheet"); }
};

// A run that stays in its first fetch until the test stops it.
struct HeldRun
{
    FixtureServer server;
    QTemporaryDir out;

    explicit HeldRun(Window& w)
    {
        server.addDelayed(u"/d/pic012.jpg"_s, "held", 10000);
        w.controller.mOutputDirectory = out.path();
        w.controller.takeAddress(server.baseUrl() + u"/d/pic012.jpg"_s);
        w.click("mStartButton");
    }
};

QList<bool> bools(const char* flags)
{
    QList<bool> out;
    for (const char* c = flags; *c; ++c)
        out << (*c == '1');
    return out;
}

} // namespace

class TestController : public QObject
{
    Q_OBJECT

private slots:
    void buttonsFollowFields_data();
    void buttonsFollowFields();
    void runLocksFieldsButNotReset();
    void menuTags_data();
    void menuTags();
    void typedAddress_data();
    void typedAddress();
    void alertShowsPercentVerbatim();
    void initNumber_data();
    void initNumber();
    void logToggleIgnoresPressWhileMoving();
    void editedNumberIsCounted();
    void defaultPosition();
};

void TestController::buttonsFollowFields_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("recompute");
    QTest::addColumn<QList<bool>>("enabled");

    QTest::newRow("all empty") << QStringList{"", "", "", ""} << true << bools("0000");
    QTest::newRow("all four") << QStringList{"http://h/d", "pic", "012", "jpg"} << true
                              << bools("1011");
    QTest::newRow("no file-name prefix")
        << QStringList{"http://h/d", "", "012", "jpg"} << true << bools("1011");
    QTest::newRow("file name only") << QStringList{"", "pic", "", ""} << true << bools("0010");
    QTest::newRow("number only") << QStringList{"", "", "7", ""} << true << bools("0011");
    QTest::newRow("extension missing")
        << QStringList{"http://h/d", "pic", "012", ""} << true << bools("0011");
    QTest::newRow("location missing")
        << QStringList{"", "pic", "012", "jpg"} << true << bools("0011");
    QTest::newRow("blanks count as text")
        << QStringList{" ", "", " ", " "} << true << bools("1011");
    QTest::newRow("typing alone changes nothing")
        << QStringList{"http://h/d", "pic", "012", "jpg"} << false << bools("0000");
}

void TestController::buttonsFollowFields()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, recompute);
    QFETCH(QList<bool>, enabled);

    Window w;
    QCOMPARE(w.buttons(), bools("0000"));
    const char* names[] = {"mLocation", "mFileName", "mNumber", "mExtension"};
    for (int i = 0; i < 4; ++i)
        w.type(names[i], typed.at(i));
    if (recompute)
        w.controller.controllButtonCondition();
    QCOMPARE(w.buttons(), enabled);
    // The Start and Stop menu items follow the same rules as their buttons.
    QCOMPARE(w.get<QAction>("actionStart")->isEnabled(), enabled.at(0));
    QCOMPARE(w.get<QAction>("actionStop")->isEnabled(), enabled.at(1));
}

void TestController::runLocksFieldsButNotReset()
{
    Window w;
    HeldRun run(w);
    QTRY_COMPARE(run.server.hits(u"/d/pic012.jpg"_s), 1);
    QCOMPARE(w.buttons(), bools("0111"));
    QVERIFY(w.get("mLocation")->isReadOnly());
    QVERIFY(w.get("mNumber")->isReadOnly());
    QCOMPARE(w.log(), u"StartedDownload"_s);

    w.click("mResetButton");
    QCOMPARE(w.fields(), QStringList(4, QString()));
    QCOMPARE(w.log(), QString());
    QCOMPARE(w.counter(), u"0"_s);
    QCOMPARE(w.buttons(), bools("0100"));

    w.click("mStopButton");
    QCOMPARE(w.finished.count(), 1);
    QCOMPARE(w.log(), u"\nFinishedDownload"_s);
    QCOMPARE(w.buttons(), bools("0000"));
    QVERIFY(!w.get("mLocation")->isReadOnly());
}

void TestController::menuTags_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("newFolder");
    QTest::addColumn<bool>("filesListed");
    QTest::addColumn<bool>("enabled");

    const QString full = u"http://h/d/pic012.jpg"_s;
    const QString bare = u"http://h/d/pic012"_s;
    QTest::newRow("0 idle") << 0 << QString() << false << false << false << true;
    QTest::newRow("0 running") << 0 << QString() << true << false << false << true;
    QTest::newRow("9") << 9 << QString() << false << false << false << true;
    QTest::newRow("-1") << -1 << QString() << false << false << false << true;
    QTest::newRow("1 complete") << 1 << full << false << false << false << true;
    QTest::newRow("1 incomplete") << 1 << bare << false << false << false << false;
    QTest::newRow("1 running") << 1 << QString() << true << false << false << false;
    QTest::newRow("2 idle") << 2 << full << false << false << false << false;
    QTest::newRow("2 running") << 2 << QString() << true << false << false << true;
    QTest::newRow("3 idle") << 3 << QString() << false << false << false << true;
    QTest::newRow("3 running") << 3 << QString() << true << false << false << false;
    QTest::newRow("7 running") << 7 << QString() << true << false << false << false;
    QTest::newRow("8 idle") << 8 << QString() << false << false << false << true;
    QTest::newRow("8 running") << 8 << QString() << true << false << false << false;
    QTest::newRow("4 location") << 4 << bare << false << false << false << true;
    QTest::newRow("4 empty") << 4 << QString() << false << false << false << false;
    QTest::newRow("5 location") << 5 << bare << false << false << false << true;
    QTest::newRow("5 empty") << 5 << QString() << false << false << false << false;
    QTest::newRow("6 files, no new folder") << 6 << QString() << false << false << true << false;
    QTest::newRow("6 new folder, no files") << 6 << QString() << false << true << false << false;
    QTest::newRow("6 new folder, files") << 6 << QString() << false << true << true << true;
}

void TestController::menuTags()
{
    QFETCH(int, tag);
    QFETCH(QString, address);
    QFETCH(bool, running);
    QFETCH(bool, newFolder);
    QFETCH(bool, filesListed);
    QFETCH(bool, enabled);

    Window w;
    QTemporaryDir out;
    w.controller.mOutputDirectory = out.path();
    w.controller.mCreateNewFolder = newFolder;
    if (newFolder)
        QVERIFY(w.controller.createDownloadFolder());
    if (filesListed) {
        QFile file(w.controller.currentDownloadFolder() + u"/pic012.jpg"_s);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    // The list and its menu are rebuilt where a run ends.
    w.controller.updateOutputDirectoryInfo();
    w.controller.updateOpenDownloadMenu();
    // A held run brings its own complete address.
    std::unique_ptr<HeldRun> run;
    if (running)
        run = std::make_unique<HeldRun>(w);
    else if (!address.isEmpty())
        w.controller.takeAddress(address);
    QCOMPARE(w.controller.isDownloading(), running);

    QAction item(u"item"_s);
    item.setProperty("tag", tag);
    QCOMPARE(w.controller.validateMenuItem(&item), enabled);
    if (running)
        w.click("mStopButton");
}

void TestController::typedAddress_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("alert");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<bool>("start");
    QTest::addColumn<bool>("logKept");

    const QStringList none(4, QString());
    QTest::newRow("ftp refused") << u"ftp://host/a/b01.zip"_s << true << none << false << false;
    QTest::newRow("no scheme refused") << u"host/a/pic1.jpg"_s << true << none << false << false;
    QTest::newRow("scheme in capitals refused")
        << u"HTTP://host/a/pic1.jpg"_s << true << none << false << false;
    QTest::newRow("counted") << u"http://host/dir/pic012.jpg"_s << false
                             << QStringList{"http://host/dir", "pic", "012", "jpg"} << true << true;
    QTest::newRow("https counted")
        << u"https://host/dir/pic012.jpg"_s << false
        << QStringList{"https://host/dir", "pic", "012", "jpg"} << true << true;
    QTest::newRow("no prefix") << u"http://host/a/012.jpg"_s << false
                               << QStringList{"http://host/a", "", "012", "jpg"} << true << true;
    QTest::newRow("query kept in extension")
        << u"http://host/a/pic012.jpg?size=2"_s << false
        << QStringList{"http://host/a", "pic", "012", "jpg?size=2"} << true << true;
    QTest::newRow("no extension kept whole")
        << u"http://host/dir/pic012"_s << false << QStringList{"http://host/dir/pic012", "", "", ""}
        << false << false;
    QTest::newRow("digit only in extension kept whole")
        << u"http://host/a/song.mp3"_s << false << QStringList{"http://host/a/song.mp3", "", "", ""}
        << false << false;
}

void TestController::typedAddress()
{
    QFETCH(QString, typed);
    QFETCH(bool, alert);
    QFETCH(QStringList, fields);
    QFETCH(bool, start);
    QFETCH(bool, logKept);

    Window w;
    // An earlier address and log, so that clearing shows.
    w.controller.takeAddress(u"http://old/x/img5.png"_s);
    w.controller.writeLogView(u"earlier"_s);
    w.enter(typed);

    QCOMPARE(w.fields(), fields);
    QCOMPARE(w.get<QPushButton>("mStartButton")->isEnabled(), start);
    QCOMPARE(w.log(), logKept ? u"earlier"_s : QString());
    QMessageBox* box = w.alert();
    QCOMPARE(box != nullptr, alert);
    if (!box)
        return;
    QCOMPARE(box->text(), u"InvalidURLInfo"_s);
    QCOMPARE(box->windowTitle(), u"Warning"_s);
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    const QList<QAbstractButton*> choices = box->buttons();
    QCOMPARE(choices.size(), 1);
    QCOMPARE(choices.first()->text(), u"OK"_s);
    QTest::mouseClick(choices.first(), Qt::LeftButton);
    QTRY_VERIFY(!w.alert());
}

void TestController::alertShowsPercentVerbatim()
{
    Window w;
    const QString message = u"100% of %1 and %s, %@ %%"_s;
    w.controller.showAlertSheet(message);
    QVERIFY(w.alert());
    QCOMPARE(w.alert()->text(), message);
}

void TestController::initNumber_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("typedNumber");
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("initEnabled");

    QTest::newRow("no address split yet") << QString() << QString() << QString() << false;
    QTest::newRow("edited number goes back")
        << u"http://h/d/pic012.jpg"_s << u"0x7"_s << u"012"_s << true;
    QTest::newRow("emptied number comes back")
        << u"http://h/d/pic0099.jpg"_s << QString() << u"0099"_s << true;
}

void TestController::initNumber()
{
    QFETCH(QString, address);
    QFETCH(QString, typedNumber);
    QFETCH(QString, number);
    QFETCH(bool, initEnabled);

    Window w;
    if (!address.isEmpty())
        w.controller.takeAddress(address);
    w.type("mNumber", typedNumber);
    w.controller.init_number();
    QCOMPARE(w.get("mNumber")->text(), number);
    QCOMPARE(w.get<QPushButton>("mInitButton")->isEnabled(), initEnabled);
    QCOMPARE(w.counter(), u"0"_s);
    QCOMPARE(w.controller.fileElement().number, number);
}

void TestController::logToggleIgnoresPressWhileMoving()
{
    Window w;
    auto* drawer = w.get<LogDrawer>("mDrawer");
    QCOMPARE(drawer->state(), LogDrawer::Closed);
    w.click("mLogButton");
    w.click("mLogButton");
    QCOMPARE(drawer->state(), LogDrawer::Opening);
    QTRY_COMPARE(drawer->state(), LogDrawer::Open);
    QVERIFY(drawer->isVisible());
    w.click("mLogButton");
    w.click("mLogButton");
    QCOMPARE(drawer->state(), LogDrawer::Closing);
    QTRY_COMPARE(drawer->state(), LogDrawer::Closed);
    QVERIFY(!drawer->isVisible());
}

void TestController::editedNumberIsCounted()
{
    FixtureServer server;
    server.addSeries(u"d"_s, u"pic"_s, 12, 20, 3, u"jpg"_s, FixtureServer::End::HtmlPage, 512);
    QTemporaryDir out;
    Window w;
    w.controller.mOutputDirectory = out.path();
    w.enter(server.baseUrl() + u"/d/pic012.jpg"_s);
    w.type("mNumber", u"018"_s);
    w.click("mStartButton");
    QTRY_COMPARE_WITH_TIMEOUT(w.finished.count(), 1, 10000);

    QCOMPARE(w.log(), u"StartedDownload"
                      "DownloadComleted pic018.jpg\n"
                      "DownloadComleted pic019.jpg\n"
                      "DownloadComleted pic020.jpg\n"
                      "CantFound pic021.jpg\n"
                      "\nFinishedDownload"_s);
    QCOMPARE(w.counter(), u"3"_s);
    QCOMPARE(QDir(out.path()).entryList(QDir::Files),
             (QStringList{"pic018.jpg", "pic019.jpg", "pic020.jpg"}));
    QCOMPARE(server.hits(u"/d/pic012.jpg"_s), 0);
}

void TestController::defaultPosition()
{
    Window w;
    QWidget* window = w.controller.mainWindow();
    window->move(300, 260);
    const QSize size = window->size();
    w.get<QAction>("actionDefaultPosition")->trigger();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(window->pos(), screen.topLeft() + QPoint(49, 22));
    QCOMPARE(window->size(), size);
}

int main(int argc, char* argv[])
{
    // Preferences of the person running the tests stay untouched.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    DownloadWorker::setPause(20);
    TestController test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_controller.moc"
