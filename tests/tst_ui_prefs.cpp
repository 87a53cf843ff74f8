#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/desktophost.h"
#include "support/files.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/uirun.h"

#include <QSpinBox>

using namespace Qt::StringLiterals;

namespace {

// Home, data folders and sounds, before the application exists: the user's bell and mine,
// the system theme's bell and complete, so the pop-up holds mine, bell, complete.
const QString kUser = kHome.filePath(u"home"_s);
const bool kLaidOut = [] {
    for (const QString& name :
         {u"home/Documents/"_s, u"home/Pictures/"_s, u"data/sounds/bell.wav"_s,
          u"data/sounds/mine.wav"_s, u"sys/sounds/freedesktop/stereo/bell.oga"_s,
          u"sys/sounds/freedesktop/stereo/complete.oga"_s}) {
        // Mine is half a second of a square tone.
        writeFile(kHome.filePath(name), name.endsWith(u"mine.wav")
                                            ? fileBytes(QFINDTESTDATA("data/sounds/tone.wav"))
                                            : QByteArray());
    }
    qputenv("HOME", kUser.toLocal8Bit());
    qputenv("XDG_DATA_HOME", kHome.filePath(u"data"_s).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", kHome.filePath(u"sys"_s).toLocal8Bit());
    return true;
}();

const QStringList kBoxes{u"create_folder"_s, u"open_folder"_s,     u"notice_docking"_s,
                         u"notice_sound"_s,  u"keep_downloaded"_s, u"send_referer"_s,
                         u"use_cookies"_s};
struct Window : RecordingHost
{
    Controller c{this};
    Window() { c.applicationDidFinishLaunching(); }

    // Browser | output | create, open, docking, sound, keep, referer, cookies | missing in a row |
    // pop-up's title | sheet up or down.
    QString sheet() const
    {
        QString flags;
        for (const QString& box : kBoxes)
            flags += QString::number(in<QCheckBox>(u"mPrefs_"_s + box)->isChecked());
        return QStringList{QString::number(in<QComboBox>(u"mPrefs_browser"_s)->currentIndex()),
                           in<QLineEdit>(u"mPrefs_output"_s)->text().replace(kUser, u"~"_s),
                           flags,
                           in<QSpinBox>(u"mPrefs_missing_in_row"_s)->text(),
                           in<QComboBox>(u"mPrefs_sound_popup"_s)->currentText(),
                           in<QDialog>({})->isVisible() ? u"up"_s : u"down"_s}
            .join(u'|');
    }
    // Browser | output | create, open, docking, sound, keep, referer, cookies | missing | sound
    // name.
    QString fields() const
    {
        return QStringList{
            QString::number(int(c.mWebBrowser)), QString(c.mOutputDirectory).replace(kUser, u"~"_s),
            QString::asprintf("%d%d%d%d%d%d%d", c.mCreateNewFolder, c.mOpenFolder,
                              c.mNoticeDockingAction, c.mNoticeSoundAlert, c.mKeepDownloaded,
                              c.mSendReferer, c.mUseBrowserCookies),
            QString::number(c.mMissingInRow), c.mNoticeSound}
            .join(u'|');
    }
    // The sheet itself for no name.
    template <class T> T* in(const QString& name) const
    {
        auto* sheet = c.mainWindow()->findChild<QDialog*>(u"PreferencesSheet"_s);
        return name.isEmpty() ? qobject_cast<T*>(sheet) : sheet->findChild<T*>(name);
    }
};

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings(u"Stepgrab"_s, u"Stepgrab"_s).clear(); }

    // Stored before the launch, commands on the sheet shown at once, the sheet at each show,
    // the fields then and the desktop's calls. What quit writes, and the next launch reads,
    // are those fields.
    void sheet_data()
    {
        QTest::addColumn<QVariantMap>("stored");
        QTest::addColumn<QString>("commands");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QStringList>("calls");
        const auto row = [](const char* name, const QVariantMap& stored, const QString& commands,
                            const QStringList& shown, const QString& fields,
                            const QStringList& calls = {}) {
            QTest::newRow(name) << stored << commands << shown << fields << calls;
        };
        const QVariantMap none;
        const QVariantMap some{{"SGWebBrowser", 1},           {"SGCreateNewFolder", true},
                               {"SGNoticeSoundAlert", true},  {"SGOutputDirectory", "/data"},
                               {"SGNoticeSoundName", "bell"}, {"SGMissingInRow", 3},
                               {"SGSendReferer", false}};
        row("first launch: OK untouched takes the pop-up's title; a sound off is not played", none,
            "ok;show;listen;ok;end", {"0|~|0000010|0|mine|up", "0|~|0000010|0|mine|up"},
            "0|~|0000010|0|bell", {"sound bell"});
        row("first launch, Cancel drops every change and no sound is written", none,
            "browser=3;output=/x;create;open;docking;sound;keep;referer;cookies;missing=7;"
            "pick=complete;cancel",
            {"0|~|0000010|0|mine|up"}, "0|~|0000010|0|");
        row("every control taken over by OK, and shown so next time", none,
            "browser=2;output=/x/y;create;open;docking;sound;keep;referer;cookies;missing=12;"
            "pick=complete;ok;show;cancel",
            {"0|~|0000010|0|mine|up", "2|/x/y|1111101|12|complete|up"},
            "2|/x/y|1111101|12|complete");
        row("a chosen folder reaches the output with OK; a missing count typed past 99 stops there",
            some, "choose=Pictures;keep;referer;missing=990;ok", {"1|/data|1001000|3|bell|up"},
            "1|~/Pictures|1001110|99|bell");
        row("listening plays each chosen title; the end of a run the accepted one", some,
            "listen;ok;end", {"1|/data|1001000|3|bell|up"}, "1|/data|1001000|3|complete",
            {"sound complete", "sound complete"});
    }

    void sheet()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QString, commands);
        QFETCH(QString, fields);
        for (auto [key, value] : stored.asKeyValueRange())
            QSettings(u"Stepgrab"_s, u"Stepgrab"_s).setValue(key, value);
        {
            Window w;
            QStringList sheets;
            for (const QString& command : (u"show;"_s + commands).split(u';')) {
                const QString key = command.section(u'=', 0, 0), value = command.section(u'=', 1);
                const auto box = std::find_if(kBoxes.cbegin(), kBoxes.cend(),
                                              [&](const QString& b) { return b.contains(key); });
                // Buttons and boxes by their name or a word of it, pressed as a user would.
                auto* button = w.in<QAbstractButton>(u"mPrefs_"_s + key);
                if (!button && box != kBoxes.cend())
                    button = w.in<QAbstractButton>(u"mPrefs_"_s + *box);
                if (button)
                    qobject_cast<QCheckBox*>(button) ? QTest::keyClick(button, Qt::Key_Space)
                                                     : QTest::mouseClick(button, Qt::LeftButton);
                if (key == u"browser")
                    w.in<QComboBox>(u"mPrefs_browser"_s)->setCurrentIndex(value.toInt());
                else if (key == u"output") {
                    w.in<QLineEdit>(u"mPrefs_output"_s)->clear();
                    QTest::keyClicks(w.in<QLineEdit>(u"mPrefs_output"_s), value);
                } else if (key == u"pick")
                    w.in<QComboBox>(u"mPrefs_sound_popup"_s)->setCurrentText(value);
                else if (key == u"missing") {
                    auto* spin = w.in<QSpinBox>(u"mPrefs_missing_in_row"_s);
                    spin->selectAll();
                    QTest::keyClicks(spin, value);
                } else if (key == u"listen")
                    QTest::keyClick(w.in<QComboBox>(u"mPrefs_sound_popup"_s), Qt::Key_Down);
                else if (key == u"show") {
                    w.c.showPreferences();
                    sheets << w.sheet();
                } else if (key == u"end")
                    w.c.finishDownload();
                else if (key == u"choose") {
                    QPointer panel = w.in<QFileDialog>(u"prefsFolderPanel"_s);
                    QVERIFY(panel && panel->isVisible());
                    // Its localized "choose", in the home folder with Documents proposed.
                    QCOMPARE(panel->labelText(QFileDialog::Accept) + u'|' +
                                 panel->directory().absolutePath() + u'|' +
                                 panel->findChild<QLineEdit*>(u"fileNameEdit"_s)->text(),
                             u"ChooseFolderButton|"_s + kUser + u"|Documents"_s);
                    panel->selectFile(kUser + u'/' + value);
                    auto* select =
                        panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
                    QTRY_VERIFY(select->isEnabled());
                    QTest::mouseClick(select, Qt::LeftButton);
                    QTRY_VERIFY(!panel || !panel->isVisible());
                }
            }
            QVERIFY(!w.in<QDialog>({})->isVisible());
            QTEST(sheets, "shown");
            QTEST(w.fields(), "fields");
            QTEST(w.calls, "calls");
            w.c.applicationWillTerminate();
        }
        // Every key quit wrote holds what the fields held; no sound name is no key.
        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        const auto at = [&](const char* key) { return store.value(QLatin1String(key), u"-"_s); };
        QString flags;
        for (const char* key :
             {"SGCreateNewFolder", "SGOpenOutputDirectory", "SGNoticeDockingAction",
              "SGNoticeSoundAlert", "SGKeepDownloaded", "SGSendReferer", "SGUseBrowserCookies"})
            flags += QString::number(at(key).toBool());
        QCOMPARE(QStringList({at("SGWebBrowser").toString(),
                              at("SGOutputDirectory").toString().replace(kUser, u"~"_s), flags,
                              at("SGMissingInRow").toString(), at("SGNoticeSoundName").toString()})
                     .join(u'|'),
                 fields.endsWith(u'|') ? fields + u'-' : fields);
        QCOMPARE(Window().fields(), fields);
    }

    // The desktop host plays the user's file through a real sound server into a null sink,
    // and what the sink's monitor records is not silence.
    void soundComesOut()
    {
        const QString pulse = QStandardPaths::findExecutable(u"pulseaudio"_s);
        const QString parec = QStandardPaths::findExecutable(u"parec"_s);
        if (pulse.isEmpty() || parec.isEmpty())
            QSKIP("pulseaudio or parec is not installed (scripts/deps installs them)");
        QTemporaryDir runtime;
        const QString socket = runtime.filePath(u"native"_s);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime.path());
        env.insert(u"HOME"_s, runtime.path());
        Group server, recorder;
        QVERIFY(
            server.start(pulse,
                         {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s,
                          u"--use-pid-file=no"_s, u"-L"_s, u"module-null-sink sink_name=probe"_s,
                          u"-L"_s, u"module-native-protocol-unix socket="_s + socket},
                         env));
        QTRY_VERIFY_WITH_TIMEOUT(
            QFileInfo::exists(socket) || server.process.state() == QProcess::NotRunning, 5000);
        if (!QFileInfo::exists(socket))
            QSKIP("pulseaudio could not start here");
        env.insert(u"PULSE_SERVER"_s, u"unix:"_s + socket);
        qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
        const auto unset = qScopeGuard([] { qunsetenv("PULSE_SERVER"); });
        QVERIFY(recorder.start(
            parec, {u"-d"_s, u"probe.monitor"_s, u"--raw"_s, u"--latency-msec=50"_s}, env));
        QByteArray heard;
        const auto loud = [&] {
            heard += recorder.process.readAllStandardOutput();
            return heard.count('\0') < heard.size();
        };
        QTest::qWait(300);
        QVERIFY(!loud());
        DesktopHost host;
        host.playSound(u"mine"_s);
        QTRY_VERIFY_WITH_TIMEOUT(loud(), 5000);
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_ui_prefs.moc"
