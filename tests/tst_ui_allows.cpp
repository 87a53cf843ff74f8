#include "app/logdrawer.h"
#include "fixtureserver.h"
#include "support/files.h"
#include "support/qt.h"
#include "support/table.h"
#include "support/window.h"

#include <functional>

using namespace Qt::StringLiterals;

// The user's query script lives here: one that answers late holds a query pending.
static const QTemporaryDir kData;
static const bool kDataIsolated = qputenv("XDG_DATA_HOME", kData.path().toLocal8Bit());
static const QString kOther = u"http://other.example/x/b05.png"_s;

static void answerAfter(const QString& seconds, const QString& address)
{
    QVERIFY(writeFile(kData.path() + u"/Stepgrab/Safari_Get_URL.txt"_s,
                      ("sleep " + seconds + "; printf '%s\\n' '" + address + "'\n").toUtf8()));
}

// Everything a command can change: the element, the state, what is up, the drawer, what the
// desktop was asked, the counter, the clipboard and the window's place.
static QString observed(Window& w)
{
    QStringList up;
    for (const QDialog* dialog : w.controller.mainWindow()->findChildren<QDialog*>())
        if (dialog->isVisible())
            up << dialog->objectName();
    return QStringList{w.controller.createDownloadFileElement(),
                       QString::number(int(w.controller.windowState())),
                       up.join(u','),
                       QString::number(w.get<LogDrawer>(u"mDrawer"_s)->state()),
                       w.calls.join(u','),
                       w.get<QLabel>(u"mCounter"_s)->text(),
                       QGuiApplication::clipboard()->text(),
                       QString::number(w.controller.mainWindow()->x())}
        .join(u'|');
}

struct Invocation
{
    const char* name;
    Command command;
    std::function<void(Window&)> invoke;
};
static const Invocation kCommands[] = {
    {"Start", Command::Start, [](Window& w) { w.controller.start_download(); }},
    {"Stop", Command::Stop, [](Window& w) { w.controller.stop_download(); }},
    {"Continue", Command::ContinueSeries, [](Window& w) { w.controller.continue_series(); }},
    {"Reset", Command::Reset, [](Window& w) { w.controller.reset_info(); }},
    {"Init", Command::Init, [](Window& w) { w.controller.init_number(); }},
    {"Enter", Command::EnterLocation,
     [](Window& w) { w.get(u"mLocation"_s)->setText(kOther), w.controller.enter_location(); }},
    {"Web", Command::Web, [](Window& w) { w.controller.obtaion_from_web(); }},
    {"Clip", Command::Clip, [](Window& w) { w.controller.obtaion_from_clip(); }},
    {"Drop", Command::Drop, [](Window& w) { w.controller.dropURLWithLink(kOther); }},
    {"Log", Command::Log, [](Window& w) { w.controller.show_log(); }},
    {"Open", Command::OpenBookmark, [](Window& w) { w.controller.openBookmark(); }},
    {"Save", Command::SaveBookmark, [](Window& w) { w.controller.saveAsBookmark(); }},
    {"Prefs", Command::Preferences, [](Window& w) { w.controller.showPreferences(); }},
    {"List", Command::AddressList, [](Window& w) { w.controller.showDownloadText(); }},
    {"All", Command::SearchAll, [](Window& w) { w.controller.showEntrance(); }},
    {"Archives", Command::SearchArchives, [](Window& w) { w.controller.showSearchArchiveFile(); }},
    {"Movies", Command::SearchMovies, [](Window& w) { w.controller.showSearchMovieFile(); }},
    {"Images", Command::SearchImages, [](Window& w) { w.controller.showSearchImageFile(); }},
    {"Copy", Command::CopyAddress, [](Window& w) { w.controller.copyFullAddress(); }},
    {"Folder", Command::ShowFolder, [](Window& w) { w.controller.openOutputDirectory(); }},
    {"OpenAll", Command::OpenAllFiles, [](Window& w) { w.controller.selectOpenAllMenuItem(); }},
    {"Position", Command::DefaultPosition, [](Window& w) { w.controller.moveDefaultPosition(); }},
};

// A window in one state, reached through its own commands.
struct Case : Window
{
    QTemporaryDir output;

    Case(FixtureServer& server, const QString& setup) : Window(setup == "end"_L1 ? 1500 : 20)
    {
        controller.mWebBrowser = WebBrowser::Script;
        controller.mOutputDirectory = output.path();
        controller.mCreateNewFolder = setup != "same-folder run"_L1;
        const bool stall = setup == "stall"_L1;
        // A stall holds the run's first file; a series of one ends in a pause.
        const QString dir = stall ? u"/h"_s : setup == "end"_L1 ? u"/e"_s : u"/s"_s;
        controller.takeAddress(server.baseUrl() + dir + u"/pic001.jpg"_s);
        if (setup.endsWith("run"_L1) || setup == "end"_L1 || stall)
            controller.start_download();
        if (setup.endsWith("run"_L1))
            QTRY_VERIFY(!controller.isRunning());
        if (setup == "end"_L1)
            QTRY_COMPARE_WITH_TIMEOUT(controller.windowState(), WindowState::Stopping, 10000);
        if (setup == "query"_L1)
            controller.obtaion_from_web();
        if (setup == "prefs"_L1)
            controller.showPreferences();
        if (setup == "alert"_L1)
            controller.showAlertSheet(u"x"_s);
        QTRY_VERIFY(get<LogDrawer>(u"mDrawer"_s)->state() % 2 == 0); // at rest
        controller.updateCounter();
        controller.mainWindow()->move(300, 300);
        QGuiApplication::clipboard()->setText(kOther);
        QCoreApplication::processEvents(); // the window hears of a sheet on the next turn
    }
    ~Case() { controller.stop_download(); }
};

class TestAllows : public QObject
{
    Q_OBJECT
    FixtureServer server;
private slots:
    void initTestCase()
    {
        server.addSeries(u"s"_s, u"pic"_s, 1, 2, 3, u"jpg"_s, FixtureServer::End::NotFound404Html,
                         2000);
        server.addSeries(u"e"_s, u"pic"_s, 1, 1, 3, u"jpg"_s, FixtureServer::End::NotFound404Html,
                         2000);
        server.addStall(u"/h/pic001.jpg"_s, 10);
        answerAfter(u"20"_s, kOther);
    }
    void init() { QSettings(u"Stepgrab"_s, u"Stepgrab"_s).clear(); }

    // Every state against every command: its button and items are enabled exactly when
    // invoking it changes something.
    void table_data()
    {
        // refused: the commands not allowed
        columns<QString, QString>("setup", "refused");
        const auto row = [](const char* name, const char* setup, const char* refused) {
            QTest::newRow(name) << QString::fromLatin1(setup) << QString::fromLatin1(refused);
        };
        // While a run lasts nothing puts an address in; a sheet or alert leaves Log and Position.
        const char* running =
            "Start Continue Enter Web Clip Drop Open Prefs List All Archives Movies Images OpenAll";
        const char* sheetUp =
            "Start Continue Stop Reset Init Enter Web Clip Drop Open Save Prefs List "
            "All Archives Movies Images Copy Folder OpenAll";
        row("idle, new folder per run and no run yet: no folder to show", "",
            "Stop Folder OpenAll");
        row("idle after a run into its own folder", "run", "Stop");
        row("idle after a run into the output folder itself: no Open All", "same-folder run",
            "Stop OpenAll");
        row("querying: nothing opens a sheet or takes an address", "query",
            "Start Continue Stop Enter Web Clip Drop Open Save Prefs List All Archives Movies "
            "Images Folder OpenAll");
        row("running: no bookmark opened, no list", "stall", running);
        row("stopping", "end", running);
        row("preferences up", "prefs", sheetUp);
        row("alert up: no list sheet over it", "alert", sheetUp);
    }
    void table()
    {
        QFETCH(QString, setup);
        QFETCH(QString, refused);
        const QStringList no = refused.split(u' ');
        Case w(server, setup);
        QStringList wrong;
        for (const Invocation& c : kCommands) {
            const bool on = w.controller.allows(c.command);
            if (on == no.contains(QLatin1String(c.name)))
                wrong << QLatin1String(c.name);
        }
        QCOMPARE(wrong.join(u' '), QString());
        const std::pair<const char*, Command> buttons[]{
            {"mStartButton", Command::Start}, {"mStopButton", Command::Stop},
            {"mResetButton", Command::Reset}, {"mInitButton", Command::Init},
            {"mWebButton", Command::Web},     {"mClipButton", Command::Clip},
            {"mLogButton", Command::Log}};
        for (const auto& [name, command] : buttons)
            QVERIFY2(w.get<QWidget>(QLatin1String(name))->isEnabled() ==
                         w.controller.allows(command),
                     name);
        for (QMenu* menu : w.controller.mainWindow()->findChildren<QMenu*>())
            emit menu->aboutToShow(); // validated as it opens, the button's pop-up too
        for (QAction* item : w.controller.mainWindow()->findChildren<QAction*>())
            if (const QVariant command = item->property("command"); command.isValid())
                QVERIFY2(item->isEnabled() == w.controller.allows(Command(command.toInt())),
                         qPrintable(item->text()));
        // A refused command changes nothing; an allowed one, each on a window of its own in
        // the same state, changes something.
        for (const Invocation& c : kCommands) {
            if (!no.contains(QLatin1String(c.name)))
                continue;
            const QString before = observed(w);
            c.invoke(w);
            QVERIFY2(observed(w) == before, c.name);
        }
        for (const Invocation& c : kCommands) {
            if (no.contains(QLatin1String(c.name)))
                continue;
            Case fresh(server, setup);
            const QString before = observed(fresh);
            c.invoke(fresh);
            QVERIFY2(observed(fresh) != before, c.name);
        }
    }

    // Edit ▸ Copy Full Address: what the fields make, once they make a whole address.
    void copyAddress_data()
    {
        // typed: over the four fields, split at "|"; copied: empty when the item is disabled
        columns<QString, QString>("typed", "copied");
        QTest::newRow("whole") << u"http://h/d|pic|012|jpg"_s << u"http://h/d/pic012.jpg"_s;
        QTest::newRow("no number") << u"http://h/d|pic||jpg"_s << QString();
    }
    void copyAddress()
    {
        QFETCH(QString, typed);
        QFETCH(QString, copied);
        Window w;
        const QStringList fields{"mLocation", "mFileName", "mNumber", "mExtension"};
        for (int i = 0; i < 4; ++i)
            QTest::keyClicks(w.get(fields[i]), typed.section(u'|', i, i));
        QGuiApplication::clipboard()->setText(u"before"_s);
        emit w.get<QMenu>(u"menuEdit"_s)->aboutToShow();
        w.get<QAction>(u"actionCopyAddress"_s)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), copied.isEmpty() ? u"before"_s : copied);
    }

    // An answer that comes while a sheet is up (a later launch's alert) waits for it to go.
    void lateAnswer()
    {
        answerAfter(u"0.3"_s, kOther);
        Window w;
        w.controller.mWebBrowser = WebBrowser::Script;
        w.controller.takeAddress(u"http://old.example/p/a01.png"_s);
        w.controller.obtaion_from_web();
        w.controller.showAlertSheet(u"x"_s);
        QTRY_VERIFY(!w.controller.isQueryPending());
        QTest::qWait(100);
        QCOMPARE(w.fields().join(u'|'), u"http://old.example/p|a|01|png"_s);
        w.get<QMessageBox>(u"alertSheet"_s)->buttons().first()->click();
        QTRY_COMPARE(w.fields().join(u'|'), u"http://other.example/x|b|05|png"_s);
        answerAfter(u"20"_s, kOther);
    }

    // A link search whose cookies cannot be had says why in an alert; the links wait for it.
    void linksAfterCookieAlert()
    {
        server.addFile(u"/links.html"_s, "<a href=\"a.zip\">a</a> <a href=\"b.zip\">b</a>", 200,
                       "text/html");
        answerAfter(u"0"_s, server.baseUrl() + u"/links.html"_s);
        Window w;
        w.controller.mWebBrowser = WebBrowser::Script;
        w.controller.setCookieFileForLaunch(w.controller.mOutputDirectory + u"/none.txt"_s);
        w.controller.showSearchArchiveFile();
        QTRY_VERIFY(w.alert().contains(u"CookieFileUnreadable"_s));
        QTRY_VERIFY(!w.controller.isQueryPending());
        QTest::qWait(100);
        const auto* links = w.get<QDialog>(u"EntranceSheet"_s);
        QVERIFY(!links->isVisible());
        w.get<QMessageBox>(u"alertSheet"_s)->buttons().first()->click();
        QTRY_VERIFY(links->isVisible());
        answerAfter(u"20"_s, kOther);
    }

    // A run's folder that cannot be made fails the run with its reason; the last run's dated
    // folder is never taken in its place.
    void missingFolder()
    {
        RunWindow w;
        w.controller.mCreateNewFolder = true;
        w.controller.takeAddress(server.baseUrl() + u"/s/pic001.jpg"_s);
        w.controller.start_download();
        QTRY_VERIFY(!w.controller.isRunning());
        const QStringList first =
            QDir(w.output.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(first.size(), 1);
        w.controller.mOutputDirectory = w.output.filePath(u"gone"_s);
        QSignalSpy finished(&w.controller, &Controller::downloadFinished);
        w.controller.init_number();
        w.controller.start_download();
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toBool(), true);
        const QString log = w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText();
        QVERIFY2(log.contains(u"ReasonFolderMissing"_s) && !log.contains(u"CreateNewFolder"_s),
                 qPrintable(log));
        QCOMPARE(QDir(w.output.filePath(first.first())).count(), 2u + 2u); // ., .., two files
        QVERIFY(!w.get<QAction>(u"actionRevealFolder"_s)->isEnabled());
    }
};

QTEST_MAIN(TestAllows)
#include "tst_ui_allows.moc"
