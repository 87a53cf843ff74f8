#include "app/logdrawer.h"
#include "fixtureserver.h"
#include "support/qt.h"
#include "support/table.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

// Fields|log|counter|Start, Stop, Reset, Init|items tagged -1 … 9|drawer.
static QString shown(Window& w)
{
    QStringList out = w.fields() << w.get<QPlainTextEdit>(u"mDrawer_Text"_s)->toPlainText()
                                 << w.get<QLabel>(u"mCounter"_s)->text();
    QString flags;
    for (const char* name : {"mStartButton", "mStopButton", "mResetButton", "mInitButton"})
        flags += w.get<QWidget>(QLatin1String(name))->isEnabled() ? u'1' : u'0';
    for (int tag = -1; tag <= 9; ++tag) {
        QAction item;
        item.setProperty("tag", tag);
        flags += w.controller.validateMenuItem(&item) ? u'1' : u'0';
    }
    out << flags.insert(4, u'|') << QString::number(w.get<LogDrawer>(u"mDrawer"_s)->state());
    return out.join(u'|');
}

class TestController : public QObject
{
    Q_OBJECT
private slots:
    void init() { QSettings(u"Stepgrab"_s, u"Stepgrab"_s).clear(); }

    void commands_data()
    {
        // typed: over the fields in turn, split at "|"
        // commands: set-up words, then clicks, keys and calls
        columns<QString, QString, QString>("typed", "commands", "state");
        auto row = [](const char* name, const QString& typed, const QString& state,
                      const QString& cmds = {}) { QTest::newRow(name) << typed << cmds << state; };
        row("location missing", "|p|7|e", "|p|7|e|L|1|0011|11001000111|0");
        row("init puts the first number back", "http://h/d|pic|0x7",
            "http://h/d|pic|012|jpg|L|0|1011|11101110111|0", "mInitButton");
        row("reset clears everything", "h|p|0x7|e", "|||||0|0000|11001000111|0", "mResetButton");
        row("typed, Ctrl+Return starts the run", "http://h/d|pic|012|jpg",
            "http://h/d|pic|012|jpg|StartedDownload\n|0|0111|11010110001|1", "ctrl-return");
    }
    void commands()
    {
        QFETCH(QString, typed);
        QFETCH(QString, commands);
        QFETCH(QString, state);
        Window w;
        QVERIFY(QTest::qWaitForWindowActive(w.controller.mainWindow()));
        FixtureServer server;
        server.addDelayed(u"/d/pic012.jpg"_s, "held", 10000);
        w.controller.takeAddress(server.baseUrl() + u"/d/pic012.jpg"_s);
        w.controller.writeLogView(u"L"_s);
        w.controller.updateCounter();
        typed.replace(u"http://h"_s, server.baseUrl());
        const QStringList fields{"mLocation", "mFileName", "mNumber", "mExtension"};
        for (int i = 0; !typed.isEmpty() && i <= typed.count(u'|'); ++i) {
            w.get(fields[i])->selectAll();
            QTest::keyClicks(w.get(fields[i]), u'\b' + typed.section(u'|', i, i));
        }
        for (const QString& command : commands.split(u' ', Qt::SkipEmptyParts)) {
            if (command == u"ctrl-return") // Ctrl+Return is the Start item's key
                QTest::keyClick(w.get(u"mLocation"_s), Qt::Key_Return, Qt::ControlModifier);
            else
                QTest::mouseClick(w.get<QWidget>(command), Qt::LeftButton);
        }
        QCOMPARE(shown(w).replace(server.baseUrl(), u"http://h"_s), state);
        QCOMPARE(w.get(u"mNumber"_s)->isReadOnly(), state.contains(u"StartedDownload"));
    }
    // With the log open the window shrinks to what its controls need, a wider window widens the
    // fields and a taller one the log; at relaunch the log comes back as the size was saved.
    void layout_data()
    {
        QTest::addColumn<bool>("logOpen");
        QTest::newRow("log open") << true;
        QTest::newRow("log closed") << false;
    }
    void layout()
    {
        QFETCH(bool, logOpen);
        QSize saved;
        {
            Window w;
            QMainWindow* window = w.controller.mainWindow();
            auto* drawer = w.get<LogDrawer>(u"mDrawer"_s);
            auto* controls = w.get<QWidget>(u"controls"_s);
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const int closedWidth = controls->width();
            w.controller.show_log();
            QTRY_COMPARE(drawer->state(), LogDrawer::Open);
            QCOMPARE(controls->width(), closedWidth); // the log slid out of the edge
            window->resize(1, 1);
            const QSize least = window->size();
            QVERIFY2(least.width() <=
                         controls->minimumSizeHint().width() + LogDrawer::kNarrowestWidth + 40,
                     qPrintable(u"%1 wide"_s.arg(least.width())));
            const int location = w.get(u"mLocation"_s)->width(),
                      name = w.get(u"mFileName"_s)->width();
            window->resize(least + QSize(400, 300));
            QTRY_VERIFY(w.get(u"mLocation"_s)->width() >= location + 100);
            QVERIFY(w.get(u"mFileName"_s)->width() >= name + 50);
            QVERIFY(drawer->height() >= controls->height() + 250);
            if (!logOpen) {
                const int wide = controls->width();
                w.controller.show_log();
                QTRY_COMPARE(drawer->state(), LogDrawer::Closed);
                QCOMPARE(controls->width(), wide); // back into the edge
            }
            saved = window->size();
            w.controller.applicationWillTerminate();
        }
        Window again;
        QCOMPARE(again.get<LogDrawer>(u"mDrawer"_s)->state(),
                 logOpen ? LogDrawer::Open : LogDrawer::Closed);
        QCOMPARE(again.controller.mainWindow()->size(), saved);
    }
};
QTEST_MAIN(TestController)
#include "tst_ui_controller.moc"
