#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/desktophost.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/uirun.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Half a second of a square tone (8-bit mono PCM), as a sound file of the user's.
QByteArray toneWav()
{
    const QByteArray samples = QByteArray(20, '\x20').append(QByteArray(20, '\xe0')).repeated(275);
    QByteArray wav;
    QDataStream out(&wav, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + samples.size());
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(22050) << quint32(22050) << quint16(1)
        << quint16(8);
    out.writeRawData("data", 4);
    out << quint32(samples.size());
    return wav + samples;
}

// Home, data folders and sounds, before the application exists: the user's bell and mine,
// the system theme's bell and complete, so the pop-up holds mine, bell, complete.
const QString kUser = kHome.filePath(u"home"_s);
const bool kLaidOut = [] {
    for (const char* folder :
         {"home/Documents", "home/Pictures", "data/sounds", "sys/sounds/freedesktop/stereo"})
        QDir().mkpath(kHome.filePath(QString::fromLatin1(folder)));
    for (const char* file : {"data/sounds/bell.wav", "sys/sounds/freedesktop/stereo/bell.oga",
                             "sys/sounds/freedesktop/stereo/complete.oga"})
        QFile(kHome.filePath(QString::fromLatin1(file))).open(QIODevice::WriteOnly);
    QFile mine(kHome.filePath(u"data/sounds/mine.wav"_s));
    mine.open(QIODevice::WriteOnly);
    mine.write(toneWav());
    qputenv("HOME", kUser.toLocal8Bit());
    qputenv("XDG_DATA_HOME", kHome.filePath(u"data"_s).toLocal8Bit());
    qputenv("XDG_DATA_DIRS", kHome.filePath(u"sys"_s).toLocal8Bit());
    return true;
}();

const QHash<QString, QString> kBoxes{{"create", "mPrefs_create_folder"},
                                     {"open", "mPrefs_open_folder"},
                                     {"docking", "mPrefs_notice_docking"},
                                     {"sound", "mPrefs_notice_sound"}};

struct Window : RecordingHost
{
    Controller c{this};
    Window() { c.applicationDidFinishLaunching(); }

    QString home(QString path) const { return path.replace(kUser, u"~"_s); }
    // Browser | output | create, open, docking, sound | pop-up's title | sheet up or down.
    QString sheet() const
    {
        QString flags;
        for (QCheckBox* box :
             {in<QCheckBox>(u"mPrefs_create_folder"_s), in<QCheckBox>(u"mPrefs_open_folder"_s),
              in<QCheckBox>(u"mPrefs_notice_docking"_s), in<QCheckBox>(u"mPrefs_notice_sound"_s)})
            flags += box->isChecked() ? u'1' : u'0';
        return QStringList{QString::number(in<QComboBox>(u"mPrefs_browser"_s)->currentIndex()),
                           home(in<QLineEdit>(u"mPrefs_output"_s)->text()), flags,
                           in<QComboBox>(u"mPrefs_sound_popup"_s)->currentText(),
                           sheetWindow()->isVisible() ? u"up"_s : u"down"_s}
            .join(u'|');
    }
    // Browser | output | create, open, docking, sound | sound name.
    QString fields() const
    {
        QString flags;
        for (bool flag :
             {c.mCreateNewFolder, c.mOpenFolder, c.mNoticeDockingAction, c.mNoticeSoundAlert})
            flags += flag ? u'1' : u'0';
        return QStringList{QString::number(c.mWebBrowser), home(c.mOutputDirectory), flags,
                           c.mNoticeSound}
            .join(u'|');
    }
    QDialog* sheetWindow() const
    {
        return c.mainWindow()->findChild<QDialog*>(u"PreferencesSheet"_s);
    }
    template <class T> T* in(const QString& name) const
    {
        return sheetWindow()->findChild<T*>(name);
    }
};

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings(u"Stepgrab"_s, u"Stepgrab"_s).clear(); }

    void sheet_data()
    {
        QTest::addColumn<QVariantMap>("stored"); // before the launch
        QTest::addColumn<QString>("commands");   // on the sheet shown at once, split at ";"
        QTest::addColumn<QStringList>("shown");  // the sheet at each show
        QTest::addColumn<QString>("fields");     // then
        QTest::addColumn<QStringList>("calls");  // to the desktop
        QTest::addColumn<QString>("written");    // output and sound name (- absent) at quit
        QTest::addColumn<QString>("next");       // the next launch's fields

        const QVariantMap none;
        const QVariantMap some{{"SGWebBrowser", 1},
                               {"SGCreateNewFolder", true},
                               {"SGNoticeSoundAlert", true},
                               {"SGOutputDirectory", "/data"},
                               {"SGNoticeSoundName", "bell"}};
        QTest::newRow("first launch, OK untouched: the pop-up's title becomes the sound")
            << none << "ok" << QStringList{"0|~|0000|mine|up"} << "0|~|0000|mine" << QStringList{}
            << "~|mine"
            << "0|~|0000|mine";
        QTest::newRow("first launch, Cancel drops every change and no sound is written")
            << none << "browser=3;output=/x;create;open;docking;sound;pick=complete;cancel"
            << QStringList{"0|~|0000|mine|up"} << "0|~|0000|" << QStringList{} << "~|-"
            << "0|~|0000|";
        QTest::newRow("every control taken over by OK, and shown so next time")
            << none
            << "browser=2;output=/x/y;create;open;docking;sound;pick=complete;ok;show;cancel"
            << QStringList{"0|~|0000|mine|up", "2|/x/y|1111|complete|up"} << "2|/x/y|1111|complete"
            << QStringList{} << "/x/y|complete"
            << "2|/x/y|1111|complete";
        QTest::newRow("an emptied folder stays empty for the launch, reads back as home")
            << some << "output=;ok;show;cancel"
            << QStringList{"1|/data|1001|bell|up", "1||1001|bell|up"} << "1||1001|bell"
            << QStringList{} << "|bell"
            << "1|~|1001|bell";
        QTest::newRow("a stored sound the pop-up lacks leaves its selection")
            << QVariantMap{{"SGNoticeSoundName", "gone"}} << "pick=complete;cancel;show;ok"
            << QStringList{"0|~|0000|mine|up", "0|~|0000|complete|up"} << "0|~|0000|complete"
            << QStringList{} << "~|complete"
            << "0|~|0000|complete";
        QTest::newRow("stored values fill the sheet; a chosen folder, then Escape: nothing taken")
            << some << "create;choose=Pictures;escape" << QStringList{"1|/data|1001|bell|up"}
            << "1|/data|1001|bell" << QStringList{} << "/data|bell"
            << "1|/data|1001|bell";
        QTest::newRow("a chosen folder reaches the output with OK")
            << some << "choose=Pictures;ok" << QStringList{"1|/data|1001|bell|up"}
            << "1|~/Pictures|1001|bell" << QStringList{} << "~/Pictures|bell"
            << "1|~/Pictures|1001|bell";
        QTest::newRow("the chooser cancelled leaves the typed folder")
            << none << "output=/typed;choose;ok" << QStringList{"0|~|0000|mine|up"}
            << "0|/typed|0000|mine" << QStringList{} << "/typed|mine"
            << "0|/typed|0000|mine";
        QTest::newRow("listening plays each chosen title; the end of a run the accepted one")
            << some << "listen;ok;end" << QStringList{"1|/data|1001|bell|up"}
            << "1|/data|1001|complete" << QStringList{"sound complete", "sound complete"}
            << "/data|complete"
            << "1|/data|1001|complete";
        QTest::newRow("a sound accepted with the sound off is held but not played")
            << none << "listen;ok;end" << QStringList{"0|~|0000|mine|up"} << "0|~|0000|bell"
            << QStringList{"sound bell"} << "~|bell"
            << "0|~|0000|bell";
    }

    void sheet()
    {
        QFETCH(QVariantMap, stored);
        QFETCH(QString, commands);
        QFETCH(QStringList, shown);
        QFETCH(QString, fields);
        QFETCH(QStringList, calls);
        QFETCH(QString, written);
        QFETCH(QString, next);
        {
            QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                store.setValue(it.key(), it.value());
        }
        QStringList sheets;
        {
            Window w;
            w.c.showPreferences();
            sheets << w.sheet();
            for (const QString& command : commands.split(u';')) {
                const QString key = command.section(u'=', 0, 0);
                const QString value = command.section(u'=', 1);
                if (key == u"browser")
                    w.in<QComboBox>(u"mPrefs_browser"_s)->setCurrentIndex(value.toInt());
                else if (key == u"output") {
                    w.in<QLineEdit>(u"mPrefs_output"_s)->clear();
                    QTest::keyClicks(w.in<QLineEdit>(u"mPrefs_output"_s), value);
                } else if (QCheckBox* box = w.in<QCheckBox>(kBoxes.value(key, u"-"_s)))
                    QTest::keyClick(box, Qt::Key_Space);
                else if (key == u"pick")
                    w.in<QComboBox>(u"mPrefs_sound_popup"_s)->setCurrentText(value);
                else if (key == u"listen")
                    QTest::keyClick(w.in<QComboBox>(u"mPrefs_sound_popup"_s), Qt::Key_Down);
                else if (key == u"ok" || key == u"cancel")
                    QTest::mouseClick(w.in<QPushButton>(u"mPrefs_"_s + key), Qt::LeftButton);
                else if (key == u"escape")
                    QTest::keyClick(w.sheetWindow(), Qt::Key_Escape);
                else if (key == u"show") {
                    w.c.showPreferences();
                    sheets << w.sheet();
                } else if (key == u"end")
                    w.c.finishDownload();
                else if (key == u"choose") {
                    QTest::mouseClick(w.in<QPushButton>(u"mPrefs_choose"_s), Qt::LeftButton);
                    QPointer panel = w.in<QFileDialog>(u"prefsFolderPanel"_s);
                    QVERIFY(panel && panel->isVisible());
                    // Directories only, "Select", modal to the application, home with Documents.
                    QCOMPARE(panel->windowModality(), Qt::ApplicationModal);
                    QCOMPARE(panel->fileMode(), QFileDialog::Directory);
                    QCOMPARE(panel->labelText(QFileDialog::Accept), u"Select"_s);
                    QCOMPARE(panel->directory().absolutePath(), kUser);
                    QCOMPARE(panel->findChild<QLineEdit*>(u"fileNameEdit"_s)->text(),
                             u"Documents"_s);
                    if (value.isEmpty()) {
                        QTest::keyClick(panel, Qt::Key_Escape);
                    } else {
                        panel->selectFile(kUser + u'/' + value);
                        auto* select =
                            panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open);
                        QTRY_VERIFY(select->isEnabled());
                        QTest::mouseClick(select, Qt::LeftButton);
                    }
                    QTRY_VERIFY(!panel || !panel->isVisible());
                }
            }
            QVERIFY(!w.sheetWindow()->isVisible());
            QCOMPARE(sheets, shown);
            QCOMPARE(w.fields(), fields);
            QCOMPARE(w.calls, calls);
            w.c.applicationWillTerminate();
        }
        QSettings store(u"Stepgrab"_s, u"Stepgrab"_s);
        QCOMPARE(store.value(u"SGOutputDirectory"_s).toString().replace(kUser, u"~"_s) + u'|' +
                     store.value(u"SGNoticeSoundName"_s, u"-"_s).toString(),
                 written);
        Window again;
        QCOMPARE(again.fields(), next);
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
        Group server;
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
        Group recorder;
        recorder.process.setProcessEnvironment(env);
        QVERIFY(recorder.start(
            parec, {u"-d"_s, u"probe.monitor"_s, u"--raw"_s, u"--latency-msec=50"_s}, env));
        QByteArray heard;
        const auto loud = [&] {
            heard += recorder.process.readAllStandardOutput();
            return heard.count('\0') < heard.size();
        };
        QTest::qWait(300);
        QVERIFY(!loud());
        {
            DesktopHost host;
            host.playSound(u"mine"_s);
            QTRY_VERIFY_WITH_TIMEOUT(loud(), 5000);
        }
        qunsetenv("PULSE_SERVER");
    }
};

QTEST_MAIN(TestPreferences)
#include "tst_ui_prefs.moc"
