#include "app/controller.h"
#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "host/host.h"
#include "host/localized.h"
#include "host/soundfolders.h"
#include "ui_prefsheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

// $XDG_CONFIG_HOME/Stepgrab/Stepgrab.conf, whatever the application's own name.
#define STEPGRAB_SETTINGS(name)                                                                    \
    QSettings name(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Stepgrab"),      \
                   QStringLiteral("Stepgrab"))

void Controller::readPreferences()
{
    STEPGRAB_SETTINGS(settings);
    mWebBrowser = WebBrowser(settings.value(QStringLiteral("SGWebBrowser"), 0).toInt());
    mCreateNewFolder = settings.value(QStringLiteral("SGCreateNewFolder"), false).toBool();
    mOpenFolder = settings.value(QStringLiteral("SGOpenOutputDirectory"), false).toBool();
    mNoticeSoundAlert = settings.value(QStringLiteral("SGNoticeSoundAlert"), false).toBool();
    mNoticeDockingAction = settings.value(QStringLiteral("SGNoticeDockingAction"), false).toBool();
    const QString output = settings.value(QStringLiteral("SGOutputDirectory")).toString();
    mOutputDirectory = output.isEmpty() ? QDir::homePath() : output;
    const QString sound = settings.value(QStringLiteral("SGNoticeSoundName")).toString();
    mNoticeSound = sound;
    mMissingInRow = qBound(0, settings.value(QStringLiteral("SGMissingInRow"), 0).toInt(), 99);
    mKeepDownloaded = settings.value(QStringLiteral("SGKeepDownloaded"), false).toBool();
    mSendReferer = settings.value(QStringLiteral("SGSendReferer"), true).toBool();
    mListGoOn = settings.value(QStringLiteral("SGListGoOn"), false).toBool();
    mUseBrowserCookies = settings.value(QStringLiteral("SGUseBrowserCookies"), false).toBool();
    // The saved size is the window's with the log as it was then: the two come back together.
    if (settings.value(QStringLiteral("StepgrabLogOpen"), false).toBool())
        mDrawer->showOpen();
    mMainWindow->restoreGeometry(settings.value(QStringLiteral("StepgrabWindow")).toByteArray());
}

void Controller::updatePreferences()
{
    STEPGRAB_SETTINGS(settings);
    settings.setValue(QStringLiteral("SGWebBrowser"), int(mWebBrowser));
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
    settings.setValue(QStringLiteral("SGMissingInRow"), mMissingInRow);
    settings.setValue(QStringLiteral("SGKeepDownloaded"), mKeepDownloaded);
    settings.setValue(QStringLiteral("SGSendReferer"), mSendReferer);
    settings.setValue(QStringLiteral("SGListGoOn"), mListGoOn);
    settings.setValue(QStringLiteral("SGUseBrowserCookies"), mUseBrowserCookies);
    writeWindowFrame(settings);
    settings.sync();
}

void Controller::saveWindowFrame()
{
    STEPGRAB_SETTINGS(settings);
    writeWindowFrame(settings);
}

void Controller::writeWindowFrame(QSettings& settings)
{
    settings.setValue(QStringLiteral("StepgrabWindow"), mMainWindow->saveGeometry());
    const LogDrawer::State log = mDrawer->state();
    settings.setValue(QStringLiteral("StepgrabLogOpen"),
                      log == LogDrawer::Open || log == LogDrawer::Opening);
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
    mSheet_Preferences = newSheet(&Controller::sheetPrefsDidEnd);
    Ui::PreferencesSheet ui;
    ui.setupUi(mSheet_Preferences);
    mPrefs_browser = ui.mPrefs_browser;
    mPrefs_output = ui.mPrefs_output;
    mPrefs_create_folder = ui.mPrefs_create_folder;
    mPrefs_open_folder = ui.mPrefs_open_folder;
    mPrefs_notice_docking = ui.mPrefs_notice_docking;
    mPrefs_notice_sound = ui.mPrefs_notice_sound;
    mPrefs_sound_popup = ui.mPrefs_sound_popup;
    mPrefs_missing_in_row = ui.mPrefs_missing_in_row;
    mPrefs_keep_downloaded = ui.mPrefs_keep_downloaded;
    mPrefs_send_referer = ui.mPrefs_send_referer;
    mPrefs_use_cookies = ui.mPrefs_use_cookies;
    connect(ui.mPrefs_ok, &QPushButton::clicked, this, &Controller::sheet_prefs_ok);
    connect(ui.mPrefs_cancel, &QPushButton::clicked, this, &Controller::sheet_prefs_cancel);
    connect(ui.mPrefs_choose, &QPushButton::clicked, this, &Controller::sheet_prefs_select);
    // Choosing the selected item again plays it again.
    connect(mPrefs_sound_popup, &QComboBox::activated, this, &Controller::sheet_prefs_listen);
}

void Controller::showPreferences()
{
    if (!allows(Command::Preferences))
        return;
    mPrefs_browser->setCurrentIndex(int(mWebBrowser));
    mPrefs_output->setText(mOutputDirectory);
    mPrefs_create_folder->setChecked(mCreateNewFolder);
    mPrefs_open_folder->setChecked(mOpenFolder);
    mPrefs_notice_docking->setChecked(mNoticeDockingAction);
    mPrefs_notice_sound->setChecked(mNoticeSoundAlert);
    mPrefs_missing_in_row->setValue(mMissingInRow);
    mPrefs_keep_downloaded->setChecked(mKeepDownloaded);
    mPrefs_send_referer->setChecked(mSendReferer);
    mPrefs_use_cookies->setChecked(mUseBrowserCookies);
    // A stored name that the pop-up does not hold (its file was removed since) leaves the
    // pop-up as it is: OK then stores the title it shows, so the name still plays something.
    if (!mNoticeSound.isEmpty()) {
        const int item = mPrefs_sound_popup->findText(mNoticeSound, Qt::MatchExactly);
        if (item >= 0)
            mPrefs_sound_popup->setCurrentIndex(item);
    }
    mSheet_Preferences->open();
}

void Controller::sheet_prefs_ok()
{
    mSheet_Preferences->done(128);
}

void Controller::sheet_prefs_cancel()
{
    mSheet_Preferences->done(129);
}

void Controller::sheetPrefsDidEnd(int returnCode)
{
    mSheet_Preferences->hide();
    if (returnCode != 128)
        return;
    mWebBrowser = WebBrowser(mPrefs_browser->currentIndex());
    mOutputDirectory = mPrefs_output->text();
    mCreateNewFolder = mPrefs_create_folder->isChecked();
    mOpenFolder = mPrefs_open_folder->isChecked();
    mNoticeDockingAction = mPrefs_notice_docking->isChecked();
    mNoticeSoundAlert = mPrefs_notice_sound->isChecked();
    mPrefs_missing_in_row->interpretText();
    mMissingInRow = mPrefs_missing_in_row->value();
    mKeepDownloaded = mPrefs_keep_downloaded->isChecked();
    mSendReferer = mPrefs_send_referer->isChecked();
    mUseBrowserCookies = mPrefs_use_cookies->isChecked();
    // Taken whether or not the sound is on; no selected item gives no name.
    mNoticeSound = mPrefs_sound_popup->currentText();
}

void Controller::sheet_prefs_select()
{
    auto* panel = new QFileDialog(mSheet_Preferences);
    panel->setObjectName(QStringLiteral("prefsFolderPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    // The desktop's own dialog runs outside this process, where no test and no offscreen
    // platform can reach it.
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly);
    panel->setLabelText(QFileDialog::Accept, localized("ChooseFolderButton"));
    panel->setDirectory(QDir::home());
    panel->selectFile(QStringLiteral("Documents"));
    // Modal to the whole application, though not run in an event loop of its own.
    panel->setWindowModality(Qt::ApplicationModal);
    connect(panel, &QFileDialog::fileSelected, mPrefs_output, &QLineEdit::setText);
    panel->show();
}

void Controller::sheet_prefs_listen()
{
    mHost->playSound(mPrefs_sound_popup->currentText());
}
