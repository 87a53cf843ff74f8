#include "app/controller.h"
#include "app/mainpanel.h"
#include "host/soundfolders.h"

#include <QDir>
#include <QSettings>

// $XDG_CONFIG_HOME/Stepgrab/Stepgrab.conf, whatever the application's own name.
#define STEPGRAB_SETTINGS(name)                                                                    \
    QSettings name(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Stepgrab"),      \
                   QStringLiteral("Stepgrab"))

void Controller::readPreferences()
{
    STEPGRAB_SETTINGS(settings);
    mWebBrowser = settings.value(QStringLiteral("SGWebBrowser"), 0).toInt();
    mCreateNewFolder = settings.value(QStringLiteral("SGCreateNewFolder"), false).toBool();
    mOpenFolder = settings.value(QStringLiteral("SGOpenOutputDirectory"), false).toBool();
    mNoticeSoundAlert = settings.value(QStringLiteral("SGNoticeSoundAlert"), false).toBool();
    mNoticeDockingAction = settings.value(QStringLiteral("SGNoticeDockingAction"), false).toBool();
    const QString output = settings.value(QStringLiteral("SGOutputDirectory")).toString();
    mOutputDirectory = output.isEmpty() ? QDir::homePath() : output;
    const QString sound = settings.value(QStringLiteral("SGNoticeSoundName")).toString();
    mNoticeSound = sound;
    mMainWindow->restoreGeometry(settings.value(QStringLiteral("StepgrabWindow")).toByteArray());
}

void Controller::updatePreferences()
{
    STEPGRAB_SETTINGS(settings);
    settings.setValue(QStringLiteral("SGWebBrowser"), mWebBrowser);
    settings.setValue(QStringLiteral("SGCreateNewFolder"), mCreateNewFolder);
    settings.setValue(QStringLiteral("SGOpenOutputDirectory"), mOpenFolder);
    settings.setValue(QStringLiteral("SGNoticeSoundAlert"), mNoticeSoundAlert);
    settings.setValue(QStringLiteral("SGNoticeDockingAction"), mNoticeDockingAction);
    // A directory given for one launch only is not the user's choice to keep.
    const bool launchOnly =
        !mLaunchOutputDirectory.isEmpty() && mOutputDirectory == mLaunchOutputDirectory;
    settings.setValue(QStringLiteral("SGOutputDirectory"),
                      launchOnly ? mStoredOutputDirectory : mOutputDirectory);
    if (mNoticeSound.isEmpty())
        settings.remove(QStringLiteral("SGNoticeSoundName"));
    else
        settings.setValue(QStringLiteral("SGNoticeSoundName"), mNoticeSound);
    settings.setValue(QStringLiteral("StepgrabWindow"), mMainWindow->saveGeometry());
    settings.sync();
}

void Controller::saveWindowFrame()
{
    STEPGRAB_SETTINGS(settings);
    settings.setValue(QStringLiteral("StepgrabWindow"), mMainWindow->saveGeometry());
}

QStringList Controller::getSoundsName() const
{
    return sounds::soundNames();
}

void Controller::setOutputDirectoryForLaunch(const QString& directory)
{
    mStoredOutputDirectory = mOutputDirectory;
    mLaunchOutputDirectory = QDir(directory).absolutePath();
    mOutputDirectory = mLaunchOutputDirectory;
}

void Controller::createPreferencesSheet()
{
}
void Controller::showPreferences()
{
}
void Controller::sheet_prefs_ok()
{
}
void Controller::sheet_prefs_cancel()
{
}
void Controller::sheetPrefsDidEnd(int)
{
}
void Controller::sheet_prefs_select()
{
}
void Controller::sheet_prefs_listen()
{
}
