#include "app/logdrawer.h"
#include "fixtureserver.h"
#include "support/qt.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

// Browser, new folder, open folder, sound alert, attention, output folder, sound name.
using Prefs = std::tuple<int, bool, bool, bool, bool, QString, QString>;

static auto prefs(Controller& c)
{
    return std::tie(c.mWebBrowser, c.mCreateNewFolder, c.mOpenFolder, c.mNoticeSoundAlert,
                    c.mNoticeDockingAction, c.mOutputDirectory, c.mNoticeSound);
}

// Fields|log|counter|Start, Stop, Reset, Init|items tagged -1 … 9|drawer|file items|alert.
static QString shown(Window& w)
{
    QStringList out = w.fields();
    out << w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText()
        << w.get<QLabel>(u"mCounter"_s)->text();
    QString enabled, tags;
    for (const char* name : {"mStartButton", "mStopButton", "mResetButton", "mInitButton"})
        enabled += w.get<QWidget>(QLatin1String(name))->isEnabled() ? u'1' : u'0';
    QAction item;
    for (int tag = -1; tag <= 9; ++tag) {
        item.setProperty("tag", tag);
        tags += w.controller.validateMenuItem(&item) ? u'1' : u'0';
    }
    out << enabled << tags << QString::number(w.get<LogDrawer>(u"mDrawer"_s)->state());
    for (QAction* item : w.get<QToolButton>(u"mOpenDownloadMenu"_s)->menu()->actions().mid(2))
        out << item->text();
    if (!w.alert().isEmpty())
        out << w.alert();
    return out.join(u'|');
}

Q_DECLARE_METATYPE(Prefs)
class TestController : public QObject
{
    Q_OBJECT

private slots:
    // Through QSettings, so its cache of the file cannot hold an earlier case's values.
    void init() { QSettings(u"Stepgrab"_s, u"Stepgrab"_s).clear(); }

    void commands_data()
    {
        QTest::addColumn<QString>("typed");    // over the fields in turn, split at "|"
        QTest::addColumn<QString>("commands"); // set-up words, then clicks, keys and calls
        QTest::addColumn<QString>("state");
        auto row = [](const char* name, const QString& typed, const QString& state,
                      const QString& cmds = {}) { QTest::newRow(name) << typed << cmds << state; };
        const QString given = u"http://h/d|pic|012|jpg|L|1|1011|11101110111|0"_s;
        const QString running = u"http://h/d|pic|012|jpg|StartedDownload|0|0111|11010110001|1"_s;
        row("number erased, its key does nothing", "http://h/d|pic||jpg",
            "http://h/d|pic||jpg|L|1|0010|11001110111|0", "ctrl-return");
        row("extension missing", "l|p|7|", "l|p|7||L|1|0011|11001110111|0");
        row("location missing", "|p|7|e", "|p|7|e|L|1|0011|11001000111|0");
        row("ftp refused", "ftp://h/b01.zip\r", "|||||0|0000|11001000111|0|InvalidURLInfo");
        row("percent shown verbatim", "", given + u"|100% of %1 and %s, %@ %%"_s, "alert");
        row("init puts the first number back", "http://h/d|pic|0x7",
            QString(given).replace(u"L|1"_s, u"L|0"_s), "mInitButton");
        row("reset clears everything", "h|p|0x7|e", "|||||0|0000|11001000111|0", "mResetButton");
        row("return in the locked field", "", running, "mStartButton return");
        row("typed, Ctrl+Return starts the run", "http://h/d|pic|012|jpg", running, "ctrl-return");
        row("new folder, past a page: sections by their first and last files", "",
            QString(given).replace(u"0111|0"_s, u"1111|0"_s) +
                u"|pic0001 … pic0250|pic0251 … pic0500|pic0501 … pic0501"_s,
            "new-folder 501-files");
    }
    void commands()
    {
        QFETCH(QString, typed);
        QFETCH(QString, commands);
        QFETCH(QString, state);
        Window w;
        QCOMPARE(Prefs(prefs(w.controller)), Prefs(0, {}, {}, {}, {}, QDir::homePath(), {}));
        QVERIFY(QTest::qWaitForWindowActive(w.controller.mainWindow()));
        FixtureServer server;
        server.addDelayed(u"/d/pic012.jpg"_s, "held", 10000);
        w.controller.takeAddress(server.baseUrl() + u"/d/pic012.jpg"_s);
        w.controller.writeLogView(u"L"_s);
        w.controller.updateCounter();
        QTemporaryDir out;
        w.controller.mOutputDirectory = out.path();
        for (int n = commands.contains(u"501") ? 501 : commands.contains(u"file"); n >= 1; --n)
            QFile(out.filePath(QString::asprintf("pic%04d.jpg", n))).open(QFile::WriteOnly);
        w.controller.updateOutputDirectoryInfo();
        w.controller.updateOpenDownloadMenu();
        emit w.get<QToolButton>(u"mOpenDownloadMenu"_s)->menu()->aboutToShow();
        w.controller.mCreateNewFolder = commands.contains(u"new-folder");
        typed.replace(u"http://h"_s, server.baseUrl());
        const QStringList fields{"mLocation", "mFileName", "mNumber", "mExtension"};
        for (int i = 0; !typed.isEmpty() && i <= typed.count(u'|'); ++i) {
            w.get(fields[i])->selectAll();
            QTest::keyClicks(w.get(fields[i]), u'\b' + typed.section(u'|', i, i));
        }
        for (const QString& command : commands.split(u' ', Qt::SkipEmptyParts)) {
            if (command == u"alert")
                w.controller.showAlertSheet(u"100% of %1 and %s, %@ %%"_s);
            else if (command.endsWith(u"return")) // Ctrl+Return is the Start item's key
                QTest::keyClick(w.get(u"mLocation"_s), Qt::Key_Return,
                                command == u"ctrl-return" ? Qt::ControlModifier : Qt::NoModifier);
            else if (command.startsWith(u'm'))
                QTest::mouseClick(w.get<QWidget>(command), Qt::LeftButton);
        }
        QCOMPARE(shown(w).replace(server.baseUrl(), u"http://h"_s), state);
        QCOMPARE(w.get(u"mNumber"_s)->isReadOnly(), state.contains(u"StartedDownload"));
    }
    void preferences_data()
    {
        QTest::addColumn<Prefs>("held");     // after a launch with the output folder <temp>/once
        QTest::addColumn<QString>("output"); // read back
        const QString dir = QDir::tempPath();
        QTest::newRow("flags, a sound, output emptied after launch reads back as home")
            << Prefs(2, true, false, true, false, {}, u"Glass"_s) << QDir::homePath();
        QTest::newRow("the other flags, no sound, launch output not kept")
            << Prefs(0, false, true, false, true, dir + u"/once"_s, {}) << dir + u"/chosen"_s;
    }

    // The window's place is kept once it has settled, not only at quit: a crash still finds it.
    void preferences()
    {
        QFETCH(Prefs, held);
        QFETCH(QString, output);
        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        // A sound name stored by an earlier launch must go when none is held now.
        store.setValue(u"SGNoticeSoundName"_s, u"Old"_s);
        store.setValue(u"SGOutputDirectory"_s, QDir::tempPath() + u"/chosen"_s);
        {
            Window first;
            MainPanel* window = first.controller.mainWindow();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QTest::qWait(700); // what showing the window stored is not what this looks for
            store.remove(u"StepgrabWindow"_s);
            window->move(window->pos() + QPoint(40, 30));
            QTRY_COMPARE(store.value(u"StepgrabWindow"_s).toByteArray(), window->saveGeometry());
            first.controller.setOutputDirectoryForLaunch(QDir::tempPath() + u"/once"_s);
            prefs(first.controller) = held;
            first.controller.applicationWillTerminate();
        }
        QCOMPARE(store.contains(u"SGNoticeSoundName"_s), !std::get<6>(held).isEmpty());
        Window second;
        std::get<5>(held) = output;
        QCOMPARE(Prefs(prefs(second.controller)), held);
    }
};

QTEST_MAIN(TestController)
#include "tst_ui_controller.moc"
