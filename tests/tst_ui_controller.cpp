#include "app/controller.h"
#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
#include "host/host.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

// Set before the application exists: the settings' location is fixed at first use.
const QTemporaryDir kConfigHome;
const bool kConfigIsolated = qputenv("XDG_CONFIG_HOME", kConfigHome.path().toLocal8Bit());

// Browser, new folder, open folder, sound alert, attention, output folder, sound name.
using Prefs = std::tuple<int, bool, bool, bool, bool, QString, QString>;

auto prefs(Controller& c)
{
    return std::tie(c.mWebBrowser, c.mCreateNewFolder, c.mOpenFolder, c.mNoticeSoundAlert,
                    c.mNoticeDockingAction, c.mOutputDirectory, c.mNoticeSound);
}

const QStringList kFields{"mLocation", "mFileName", "mNumber", "mExtension"};

// A launched window; as its host it ignores what nothing here asks of a desktop.
struct Window : Host
{
    Controller controller{this};

    Window() { controller.applicationDidFinishLaunching(); }
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    QStringList opened;

    void revealFile(const QString&) override {}
    bool openFile(const QString& path) override
    {
        opened << path;
        return true;
    }
    void openFilesEach(const QStringList&) override {}
    template <class T = QLineEdit> T* get(const QString& n) const
    {
        return controller.mainWindow()->findChild<T*>(n);
    }
    // Typed over the fields in turn, split at "|"; the fields after the last "|" keep theirs.
    void type(const QString& typed) const
    {
        for (int i = 0; !typed.isEmpty() && i <= typed.count(u'|'); ++i) {
            get(kFields.at(i))->selectAll();
            QTest::keyClicks(get(kFields.at(i)), u'\b' + typed.section(u'|', i, i));
        }
    }
    QString fields() const
    {
        QStringList out;
        for (const QString& name : kFields)
            out << get(name)->text();
        return out.join(u'|');
    }
    // Fields | log | counter | buttons Start, Stop, Reset, Init | menu items tagged -1, 0 … 9 |
    // log drawer | alert, its modality (1: the window's) and buttons.
    QString state() const
    {
        QStringList out;
        for (const QString& name : kFields + QStringList{"mDrawer_Text", "mCounter"})
            out << get<QObject>(name)
                       ->property(name == u"mDrawer_Text" ? "plainText" : "text")
                       .toString();
        QString enabled, tags;
        for (const char* name : {"mStartButton", "mStopButton", "mResetButton", "mInitButton"})
            enabled += get<QObject>(name)->property("enabled").toBool() ? u'1' : u'0';
        QAction item;
        for (int tag = -1; tag <= 9; ++tag) {
            item.setProperty("tag", tag);
            tags += controller.validateMenuItem(&item) ? u'1' : u'0';
        }
        out << enabled << tags << QString::number(get<LogDrawer>(u"mDrawer"_s)->state());
        if (auto* box = get<QMessageBox>(u"alertSheet"_s)) {
            out << box->text() << QString::number(box->windowModality());
            for (QAbstractButton* button : box->buttons())
                out << button->text();
        }
        return out.join(u'|');
    }
};

} // namespace

Q_DECLARE_METATYPE(Prefs)

class TestController : public QObject
{
    Q_OBJECT

private slots:
    // Through QSettings, so its cache of the file cannot hold an earlier case's values.
    void init() { QSettings(u"Stepgrab"_s, u"Stepgrab"_s).clear(); }

    void commands_data()
    {
        QTest::addColumn<QString>("typed");    // into the fields in turn, split at "|"
        QTest::addColumn<QString>("commands"); // set-up words, then clicks and calls in turn
        QTest::addColumn<QString>("state");

        auto row = [](const char* name, const QString& typed, const QString& state,
                      const QString& cmds = {}) { QTest::newRow(name) << typed << cmds << state; };
        const QString given = u"http://h/d|pic|012|jpg|L|1|1011|11101110111|0"_s;
        // Each edit sets the buttons and items at once.
        row("all erased", "|||", "||||L|1|0000|11001000111|0");
        row("no file-name prefix", "l||7|e", "l||7|e|L|1|1011|11101110111|0");
        row("file name only", "|p||", "|p|||L|1|0010|11001000111|0");
        row("number only", "||7|", "||7||L|1|0011|11001000111|0");
        row("number erased", "http://h/d|pic||jpg", "http://h/d|pic||jpg|L|1|0010|11001110111|0");
        row("extension missing", "l|p|7|", "l|p|7||L|1|0011|11001110111|0");
        row("location missing", "|p|7|e", "|p|7|e|L|1|0011|11001000111|0");
        row("blanks count as text", " || | ", " || | |L|1|1011|11101110111|0");
        row("ftp refused", "ftp://h/b01.zip\r", "|||||0|0000|11001000111|0|InvalidURLInfo|1|OK");
        row("https counted", "https://h/a/p1.jpg\r", "https://h/a|p|1|jpg|L|1|1011|11101110111|0");
        row("no extension kept whole", "http://h/p1\r", "http://h/p1|||||0|0010|11001110111|0");
        row("digit only in extension kept whole", "http://h/song.mp3\r",
            "http://h/song.mp3|||||0|0010|11001110111|0");
        row("percent shown verbatim", "", given + u"|100% of %1 and %s, %@ %%|1|OK"_s, "alert");
        row("init puts the first number back", "http://h/d|pic|0x7",
            QString(given).replace(u"L|1"_s, u"L|0"_s), "mInitButton");
        row("reset clears everything", "http://h/d|pic|0x7", "|||||0|0000|11001000111|0",
            "mResetButton");
        row("running", "", "http://h/d|pic|012|jpg|StartedDownload|0|0111|11010110001|1",
            "mStartButton");
        row("return in the locked field", "",
            "http://h/d|pic|012|jpg|StartedDownload|0|0111|11010110001|1", "mStartButton return");
        row("files, no new folder", "", given, "files");
        row("new folder, no files", "", given, "new-folder");
        row("new folder, files", "", u"http://h/d|pic|012|jpg|L|1|1011|11101111111|0"_s,
            "new-folder files");
        row("log pressed twice", "", QString(given).chopped(1) + u'1', "mLogButton mLogButton");
    }

    void commands()
    {
        QFETCH(QString, typed);
        QFETCH(QString, commands);
        QFETCH(QString, state);

        Window w;
        QCOMPARE(Prefs(prefs(w.controller)), Prefs(0, {}, {}, {}, {}, QDir::homePath(), {}));
        FixtureServer server;
        server.addDelayed(u"/d/pic012.jpg"_s, "held", 10000);
        w.controller.takeAddress(server.baseUrl() + u"/d/pic012.jpg"_s);
        w.controller.writeLogView(u"L"_s);
        w.controller.updateCounter();
        QTemporaryDir out;
        w.controller.mOutputDirectory = out.path();
        if (commands.contains(u"files"))
            QVERIFY(QFile(out.filePath(u"a.jpg"_s)).open(QFile::WriteOnly));
        w.controller.updateOutputDirectoryInfo();
        w.controller.updateOpenDownloadMenu();
        w.controller.mCreateNewFolder = commands.contains(u"new-folder");
        w.type(typed);
        for (const QString& command : commands.split(u' ', Qt::SkipEmptyParts)) {
            if (command == u"alert")
                w.controller.showAlertSheet(u"100% of %1 and %s, %@ %%"_s);
            else if (command == u"return")
                QTest::keyClick(w.get(u"mLocation"_s), Qt::Key_Return);
            else if (command.startsWith(u'm'))
                QTest::mouseClick(w.get<QWidget>(command), Qt::LeftButton);
        }

        QCOMPARE(w.state().replace(server.baseUrl(), u"http://h"_s), state);
        QCOMPARE(w.get(u"mNumber"_s)->isReadOnly(), commands.startsWith(u"mStartButton"));
    }

    // A key in the location field, after typing; the Start item's key is Ctrl+Return.
    void keys_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("after"); // fields | Start button, Start item, running

        const QString address = u"http://h/d|pic|012|jpg"_s;
        QTest::newRow("typed into the four fields, Ctrl+Return starts the run")
            << address << "ctrl+return" << address + u"|001"_s;
        QTest::newRow("an item left stale is validated before its key fires")
            << address << "stale ctrl+return" << address + u"|001"_s;
        QTest::newRow("number erased: Start and its item disabled, its key does nothing")
            << u"http://h/d|pic||jpg"_s << "ctrl+return" << u"http://h/d|pic||jpg|000"_s;
        QTest::newRow("Return in the location field splits a typed address")
            << u"http://h/d/pic012.jpg"_s << "return" << address + u"|110"_s;
    }

    void keys()
    {
        QFETCH(QString, typed);
        QFETCH(QString, keys);

        Window w;
        QVERIFY(QTest::qWaitForWindowActive(w.controller.mainWindow()));
        FixtureServer server;
        server.addDelayed(u"/d/pic012.jpg"_s, "held", 10000);
        QTemporaryDir out;
        w.controller.mOutputDirectory = out.path();
        w.type(typed.replace(u"http://h"_s, server.baseUrl()));
        QLineEdit* location = w.get(u"mLocation"_s);
        location->setFocus();
        auto* start = w.get<QAction>(u"actionStart"_s);
        if (keys.contains(u"stale"))
            start->setEnabled(false);
        QTest::keyClick(location, Qt::Key_Return,
                        keys.contains(u"ctrl") ? Qt::ControlModifier : Qt::NoModifier);

        const bool running = w.controller.isRunning();
        QTEST(w.fields().replace(server.baseUrl(), u"http://h"_s) + u'|' +
                  QString::number(w.get<QWidget>(u"mStartButton"_s)->isEnabled()) +
                  QString::number(start->isEnabled()) + QString::number(running),
              "after");
        if (running)
            QTRY_COMPARE(server.hits(u"/d/pic012.jpg"_s), 1);
        w.controller.stop_download();
    }

    // The downloaded files' menu: items of one page at the end of the run, longer lists
    // in sections titled by their first and last files, laid out when opened.
    void openDownloadMenu_data()
    {
        QTest::addColumn<int>("files"); // pic0001.jpg …, and a hidden file that gets no item
        QTest::addColumn<QStringList>("before"); // the items past the layout's two, unopened
        QTest::addColumn<QStringList>("opened"); // once opened
        QTest::addColumn<QStringList>("last");   // the last section once opened

        const auto titles = [](int first, int last) {
            QStringList out;
            for (int n = first; n <= last; ++n)
                out << u"pic%1"_s.arg(n, 4, 10, QChar(u'0'));
            return out;
        };
        QTest::newRow("none") << 0 << QStringList() << QStringList() << QStringList();
        QTest::newRow("one page: items at the end of the run")
            << 250 << titles(1, 250) << titles(1, 250) << QStringList();
        QTest::newRow("beyond a page: sections, laid out when opened")
            << 501 << QStringList()
            << QStringList{u"pic0001 \u2026 pic0250"_s, u"pic0251 \u2026 pic0500"_s,
                           u"pic0501 \u2026 pic0501"_s}
            << titles(501, 501);
    }

    void openDownloadMenu()
    {
        QFETCH(int, files);
        QFETCH(QStringList, before);
        QFETCH(QStringList, opened);
        QFETCH(QStringList, last);

        QTemporaryDir out;
        for (int n = files; n >= 1; --n)
            QVERIFY(QFile(out.filePath(u"pic%1.jpg"_s.arg(n, 4, 10, QChar(u'0'))))
                        .open(QFile::WriteOnly));
        QVERIFY(QFile(out.filePath(u".hidden"_s)).open(QFile::WriteOnly));
        Window w;
        w.controller.mOutputDirectory = out.path();
        w.controller.mCreateNewFolder = false;
        w.controller.updateOutputDirectoryInfo();
        w.controller.updateOpenDownloadMenu();
        QMenu* menu = w.get<QToolButton>(u"mOpenDownloadMenu"_s)->menu();
        const auto titles = [](QMenu* m, qsizetype from) {
            QStringList out;
            for (QAction* item : m->actions().mid(from))
                out << item->text();
            return out;
        };
        QCOMPARE(titles(menu, 2), before);
        emit menu->aboutToShow();
        QCOMPARE(titles(menu, 0), QStringList({u"MenuOpenAll"_s, QString()}) + opened);
        QMenu* section = menu->actions().constLast()->menu();
        QCOMPARE(section != nullptr, !last.isEmpty());
        if (!section)
            return;
        emit section->aboutToShow();
        QCOMPARE(titles(section, 0), last);
        section->actions().constLast()->trigger();
        QCOMPARE(w.opened, QStringList{out.filePath(u"pic0501.jpg"_s)});
        // Hidden files are listed (the reveal and the open-all command see them), not shown.
        w.controller.mCreateNewFolder = true;
        QAction tagged;
        tagged.setProperty("tag", 6);
        QVERIFY(w.controller.validateMenuItem(&tagged));
    }

    // The window's place is kept as soon as it has settled, not only at quit.
    void windowPlace_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("moved") << "move";
        QTest::newRow("grown by the log drawer") << "mLogButton";
    }

    void windowPlace()
    {
        QFETCH(QString, change);
        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        const QString key = u"StepgrabWindow"_s;
        Window w;
        MainPanel* window = w.controller.mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(700); // what showing the window stored is not what this looks for
        store.remove(key);
        const QByteArray shown = window->saveGeometry();
        if (change == u"move")
            window->move(window->pos() + QPoint(40, 30));
        else
            QTest::mouseClick(w.get<QWidget>(change), Qt::LeftButton);
        QCoreApplication::processEvents();
        QVERIFY(!store.contains(key)); // not at every step of a drag
        // Without quitting: a crash or a kill later still finds it.
        QTRY_VERIFY(store.contains(key));
        QTRY_COMPARE(store.value(key).toByteArray(), window->saveGeometry());
        QVERIFY(store.value(key).toByteArray() != shown);
    }

    void preferences_data()
    {
        QTest::addColumn<Prefs>("held"); // after a launch with the output folder <temp>/once
        QTest::addColumn<Prefs>("readBack");

        const QString dir = QDir::tempPath();
        QTest::newRow("flags, a sound, output emptied after launch reads back as home")
            << Prefs(2, true, false, true, false, {}, u"Glass"_s)
            << Prefs(2, true, false, true, false, QDir::homePath(), u"Glass"_s);
        QTest::newRow("the other flags, no sound, launch output not kept")
            << Prefs(0, false, true, false, true, dir + u"/once"_s, {})
            << Prefs(0, false, true, false, true, dir + u"/chosen"_s, {});
    }

    void preferences()
    {
        QFETCH(Prefs, held);
        QFETCH(Prefs, readBack);

        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        // A sound name stored by an earlier launch must go when none is held now.
        store.setValue(u"SGNoticeSoundName"_s, u"Old"_s);
        store.setValue(u"SGOutputDirectory"_s, QDir::tempPath() + u"/chosen"_s);
        {
            Window first;
            first.controller.setOutputDirectoryForLaunch(QDir::tempPath() + u"/once"_s);
            prefs(first.controller) = held;
            first.controller.applicationWillTerminate();
        }
        QCOMPARE(store.contains(u"SGNoticeSoundName"_s), !std::get<6>(held).isEmpty());
        Window second;
        QVERIFY(second.controller.mainWindow()->isVisible());
        QCOMPARE(second.state(), u"|||||0|0000|11001000111|0"_s);
        QCOMPARE(Prefs(prefs(second.controller)), readBack);
    }
};

QTEST_MAIN(TestController)

#include "tst_ui_controller.moc"
