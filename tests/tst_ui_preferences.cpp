#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/host.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class QuietHost : public Host
{
public:
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    void revealFile(const QString&) override {}
    bool openFile(const QString&) override { return true; }
    bool openFilesWithApplicationOf(const QString&, const QStringList&) override { return true; }
};

struct Prefs
{
    int browser = 0;
    bool newFolder = false;
    bool openFolder = false;
    bool soundAlert = false;
    bool attention = false;
    QString output;
    QString sound;

    static Prefs of(const Controller& c)
    {
        return {c.mWebBrowser,          c.mCreateNewFolder, c.mOpenFolder, c.mNoticeSoundAlert,
                c.mNoticeDockingAction, c.mOutputDirectory, c.mNoticeSound};
    }
    void applyTo(Controller& c) const
    {
        c.mWebBrowser = browser;
        c.mCreateNewFolder = newFolder;
        c.mOpenFolder = openFolder;
        c.mNoticeSoundAlert = soundAlert;
        c.mNoticeDockingAction = attention;
        c.mOutputDirectory = output;
        c.mNoticeSound = sound;
    }
    bool operator==(const Prefs&) const = default;
};

char* toString(const Prefs& p)
{
    return qstrdup(
        QStringLiteral("browser %1 folder %2 open %3 sound %4 attention %5 out \"%6\" name \"%7\"")
            .arg(p.browser)
            .arg(p.newFolder)
            .arg(p.openFolder)
            .arg(p.soundAlert)
            .arg(p.attention)
            .arg(p.output, p.sound)
            .toUtf8()
            .constData());
}

QString configFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           u"/Stepgrab/Stepgrab.conf"_s;
}

// A launched application, as far as preferences go.
struct Launch
{
    QuietHost host;
    Controller controller{&host};
    Launch() { controller.applicationDidFinishLaunching(); }
};

} // namespace

Q_DECLARE_METATYPE(Prefs)

class TestPreferences : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void firstLaunchTakesDefaults();
    void quitKeepsValues_data();
    void quitKeepsValues();
    void launchOutputIsNotKept_data();
    void launchOutputIsNotKept();
};

void TestPreferences::init()
{
    // Through QSettings, so its cache of the file cannot hold an earlier case's values.
    QSettings store(configFile(), QSettings::IniFormat);
    store.clear();
    store.sync();
}

void TestPreferences::firstLaunchTakesDefaults()
{
    Launch app;
    Prefs expected;
    expected.output = QDir::homePath();
    QCOMPARE(Prefs::of(app.controller), expected);
    QVERIFY(app.controller.mainWindow()->isVisible());
    QList<bool> enabled;
    for (const char* name : {"mStartButton", "mStopButton", "mResetButton", "mInitButton"})
        enabled << app.controller.mainWindow()->findChild<QPushButton*>(name)->isEnabled();
    QCOMPARE(enabled, QList<bool>(4, false));
    QStringList fields;
    for (const char* name : {"mLocation", "mFileName", "mNumber", "mExtension"})
        fields << app.controller.mainWindow()->findChild<QLineEdit*>(name)->text();
    QCOMPARE(fields, QStringList(4, QString()));
}

void TestPreferences::quitKeepsValues_data()
{
    QTest::addColumn<Prefs>("held");
    QTest::addColumn<Prefs>("readBack");
    QTest::addColumn<QStringList>("keys");

    const QStringList six{u"SGCreateNewFolder"_s,  u"SGNoticeDockingAction"_s,
                          u"SGNoticeSoundAlert"_s, u"SGOpenOutputDirectory"_s,
                          u"SGOutputDirectory"_s,  u"SGWebBrowser"_s};
    const QStringList seven = QStringList(six) << u"SGNoticeSoundName"_s;
    const QString dir = QDir::tempPath();
    const Prefs allOn{3, true, true, true, true, dir, u"Glass"_s};
    QTest::newRow("every flag on, a sound held") << allOn << allOn << seven;
    const Prefs allOff{0, false, false, false, false, dir, QString()};
    QTest::newRow("every flag off, no sound") << allOff << allOff << six;
    const Prefs mixed{2, false, true, false, true, dir + u"/a b"_s, u"Ping"_s};
    QTest::newRow("mixed flags, blank in folder") << mixed << mixed << seven;
    Prefs emptied = allOff;
    emptied.output.clear();
    Prefs home = allOff;
    home.output = QDir::homePath();
    QTest::newRow("emptied output reads back as home") << emptied << home << six;
}

void TestPreferences::quitKeepsValues()
{
    QFETCH(Prefs, held);
    QFETCH(Prefs, readBack);
    QFETCH(QStringList, keys);

    {
        // A sound name stored by an earlier launch must go when none is held now.
        QSettings store(configFile(), QSettings::IniFormat);
        store.setValue(u"SGNoticeSoundName"_s, u"Old"_s);
    }
    {
        Launch first;
        held.applyTo(first.controller);
        first.controller.updatePreferences();
    }
    QSettings store(configFile(), QSettings::IniFormat);
    QStringList stored = store.allKeys();
    stored.removeAll(u"StepgrabWindow"_s);
    stored.sort();
    keys.sort();
    QCOMPARE(stored, keys);

    Launch second;
    QCOMPARE(Prefs::of(second.controller), readBack);
}

void TestPreferences::launchOutputIsNotKept_data()
{
    QTest::addColumn<bool>("changedAfterLaunch");
    QTest::addColumn<QString>("kept");

    QTest::newRow("launch folder only") << false << u"chosen"_s;
    QTest::newRow("changed after launch") << true << u"changed"_s;
}

void TestPreferences::launchOutputIsNotKept()
{
    QFETCH(bool, changedAfterLaunch);
    QFETCH(QString, kept);

    QTemporaryDir dirs;
    {
        QSettings store(configFile(), QSettings::IniFormat);
        store.setValue(u"SGOutputDirectory"_s, dirs.filePath(u"chosen"_s));
    }
    {
        Launch first;
        first.controller.setOutputDirectoryForLaunch(dirs.filePath(u"once"_s));
        QCOMPARE(first.controller.mOutputDirectory, dirs.filePath(u"once"_s));
        QCOMPARE(first.controller.currentDownloadFolder(), dirs.filePath(u"once"_s));
        if (changedAfterLaunch)
            first.controller.mOutputDirectory = dirs.filePath(u"changed"_s);
        first.controller.applicationWillTerminate();
    }
    Launch second;
    QCOMPARE(second.controller.mOutputDirectory, dirs.filePath(kept));
}

int main(int argc, char* argv[])
{
    // Set before the application exists: the settings' location is fixed at first use.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    TestPreferences test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_ui_preferences.moc"
