#include "controller.h"

#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "host/host.h"
#include "host/localized.h"
#include "host/soundfolders.h"
#include "linksearch/pagefetcher.h"
#include "sources/browserquery.h"
#include "sources/dropbox.h"
#include "ui_mainpanel.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextCharFormat>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>

namespace {

// Return with Ctrl, Alt or Meta is a menu item's key, never the field's own Return: while
// that item is disabled the key does nothing rather than confirm the field.
class PlainReturnOnly : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

Controller::Controller(Host* host, QObject* parent)
    : QObject(parent), mHost(host), mMainWindow(new MainPanel)
{
    Ui::MainPanel& ui = mMainWindow->ui();
    mLocation = ui.mLocation;
    mFileName = ui.mFileName;
    mNumber = ui.mNumber;
    mExtension = ui.mExtension;
    mStartButton = ui.mStartButton;
    mStopButton = ui.mStopButton;
    mWebButton = ui.mWebButton;
    mClipButton = ui.mClipButton;
    mLogButton = ui.mLogButton;
    mResetButton = ui.mResetButton;
    mInitButton = ui.mInitButton;
    mCounter = ui.mCounter;
    mProgressBar = ui.mProgressBar;
    mDropBox = ui.mDropBox;
    mDrawer = ui.mDrawer;
    mDrawer_Text = ui.mDrawer_Text;
    mOpenDownloadMenu = ui.mOpenDownloadMenu;
    // The busy bar shows only while a run is busy; an idle one looks like an empty field.
    QSizePolicy keepPlace = mProgressBar->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    mProgressBar->setSizePolicy(keepPlace);
    mProgressBar->hide();

    mPageFetch = new PageFetcher(this);
    mFirstFetch = new Fetcher(mPolicy, this);
    mQueryThread = new QThreadPool(this);
    mQueryThread->setMaxThreadCount(1);
    createEntranceSheet();
    createTextSheet();
    createPreferencesSheet();
    connectOutlets();
}

Controller::~Controller()
{
    // The worker thread and a browser query must be gone before the state they read. The
    // window goes first, and the query is cancelled rather than waited out.
    mMainWindow->hide();
    mWorker.reset();
    mQueryThread->clear();
    cancelBrowserQueries(true);
    mQueryThread->waitForDone();
    cancelBrowserQueries(false);
    delete mMainWindow;
}

void Controller::connectOutlets()
{
    Ui::MainPanel& ui = mMainWindow->ui();
    QStyle* style = mMainWindow->style();
    mStartButton->setIcon(style->standardIcon(QStyle::SP_MediaPlay));
    mStopButton->setIcon(style->standardIcon(QStyle::SP_MediaStop));
    mWebButton->setIcon(QIcon::fromTheme(QStringLiteral("web-browser"),
                                         style->standardIcon(QStyle::SP_DriveNetIcon)));
    mClipButton->setIcon(QIcon::fromTheme(QStringLiteral("edit-paste"),
                                          style->standardIcon(QStyle::SP_FileDialogContentsView)));
    mResetButton->setIcon(style->standardIcon(QStyle::SP_DialogResetButton));
    mInitButton->setIcon(style->standardIcon(QStyle::SP_BrowserReload));
    mLogButton->setIcon(style->standardIcon(QStyle::SP_FileDialogDetailedView));
    mOpenDownloadMenu->setIcon(style->standardIcon(QStyle::SP_DirOpenIcon));

    connect(mLocation, &QLineEdit::returnPressed, this, &Controller::enter_location);
    mLocation->installEventFilter(new PlainReturnOnly(mLocation));
    // The user's edits are the element; programmatic changes go through the store. Each
    // edit can make Start possible or impossible, so the buttons and items follow it.
    using Setter = void (FileElementStore::*)(const QString&);
    const std::pair<QLineEdit*, Setter> parts[] = {{mLocation, &FileElementStore::setLocation},
                                                   {mFileName, &FileElementStore::setFileName},
                                                   {mNumber, &FileElementStore::setNumber},
                                                   {mExtension, &FileElementStore::setExtension}};
    for (const auto& [field, set] : parts)
        connect(field, &QLineEdit::textEdited, this, [this, set](const QString& t) {
            (mElement.*set)(t);
            controllButtonCondition();
        });

    connect(mStartButton, &QPushButton::clicked, this, &Controller::start_download);
    connect(mStopButton, &QPushButton::clicked, this, &Controller::stop_download);
    connect(mWebButton, &QPushButton::clicked, this, &Controller::obtaion_from_web);
    connect(mClipButton, &QPushButton::clicked, this, &Controller::obtaion_from_clip);
    connect(mLogButton, &QPushButton::clicked, this, &Controller::show_log);
    connect(mResetButton, &QPushButton::clicked, this, &Controller::reset_info);
    connect(mInitButton, &QPushButton::clicked, this, &Controller::init_number);

    connect(ui.actionStart, &QAction::triggered, this, &Controller::start_download);
    connect(ui.actionStop, &QAction::triggered, this, &Controller::stop_download);
    connect(ui.actionGetFromWeb, &QAction::triggered, this, &Controller::obtaion_from_web);
    connect(ui.actionGetFromClip, &QAction::triggered, this, &Controller::obtaion_from_clip);
    connect(ui.actionOpenBookmark, &QAction::triggered, this, &Controller::openBookmark);
    connect(ui.actionSaveBookmark, &QAction::triggered, this, &Controller::saveAsBookmark);
    connect(ui.actionSearchAll, &QAction::triggered, this, &Controller::showEntrance);
    connect(ui.actionSearchArchives, &QAction::triggered, this, &Controller::showSearchArchiveFile);
    connect(ui.actionSearchMovies, &QAction::triggered, this, &Controller::showSearchMovieFile);
    connect(ui.actionSearchImages, &QAction::triggered, this, &Controller::showSearchImageFile);
    connect(ui.actionShowLog, &QAction::triggered, this, &Controller::show_log);
    connect(ui.actionDefaultPosition, &QAction::triggered, this, &Controller::moveDefaultPosition);
    connect(ui.actionOpenAllFiles, &QAction::triggered, this, &Controller::selectOpenAllMenuItem);
    connect(ui.actionRevealFolder, &QAction::triggered, this, &Controller::openOutputDirectory);
    connect(ui.actionQuit, &QAction::triggered, mMainWindow, &QWidget::close);
    connect(ui.actionAbout, &QAction::triggered, this, [this] {
        QMessageBox::about(mMainWindow, QStringLiteral("Stepgrab"),
                           localizedFormat("AboutText", QCoreApplication::applicationVersion()));
    });
    // Commands whose sources come later stay visible but cannot be chosen yet.
    connect(ui.actionURLList, &QAction::triggered, this, &Controller::showDownloadText);
    connect(ui.actionPreferences, &QAction::triggered, this, &Controller::showPreferences);
    for (QAction* pending : {ui.actionCopyAddress})
        pending->setProperty("pending", true);
    for (QAction* action : mMainWindow->findChildren<QAction*>())
        if (action->property("tag").isValid() || action->property("pending").toBool())
            mValidatedItems.append(action);
    for (QMenu* menu : mMainWindow->menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &Controller::validateMenus);
    // A key is matched against the items' shortcuts only after this: an item whose key is
    // pressed has been validated, whatever changed since the last edit.
    connect(mMainWindow, &MainPanel::shortcutAboutToMatch, this, &Controller::validateMenus);

    auto* openMenu = new QMenu(mOpenDownloadMenu);
    QAction* openAll = openMenu->addAction(localized("MenuOpenAll"));
    connect(openAll, &QAction::triggered, this, &Controller::selectOpenAllMenuItem);
    openMenu->addSeparator();
    connect(openMenu, &QMenu::aboutToShow, this, &Controller::layOutOpenDownloadMenu);
    mOpenDownloadMenu->setMenu(openMenu);

    // The window's place is stored once it has stayed put for a moment.
    mWindowFrameSaver = new QTimer(this);
    mWindowFrameSaver->setSingleShot(true);
    mWindowFrameSaver->setInterval(500);
    connect(mWindowFrameSaver, &QTimer::timeout, this, &Controller::saveWindowFrame);

    connect(mMainWindow, &MainPanel::windowWillClose, this, &Controller::windowWillClose);
    // The window has already answered the drop; what the file held does not change that.
    connect(mMainWindow, &MainPanel::fileDropped, this, &Controller::dropURLWithFile);
}

void Controller::applicationDidFinishLaunching()
{
    readPreferences();
    download_mode = false;
    cleanupInfoString();
    controllButtonCondition();
    setupDefaultFontAttribute();
    directoryInfo.clear();
    setupHTMLHeader();
    mPrefs_sound_popup->clear();
    mPrefs_sound_popup->addItems(sounds::oneItemPerTitle(getSoundsName()));
    mStopButton->setToolTip(localized("StopButtonTips"));
    mStartButton->setToolTip(localized("StartButtonTips"));
    mWebButton->setToolTip(localized("WebButtonTips"));
    mClipButton->setToolTip(localized("ClipButtonTips"));
    mLogButton->setToolTip(localized("LogButtonTips"));
    mResetButton->setToolTip(localized("ResetButtonTips"));
    mInitButton->setToolTip(localized("InitButtonTips"));
    mHTMLURLArray.clear();
    mLocation->setFocus();
    mMainWindow->show();
    mMainWindow->raise();
    mMainWindow->activateWindow();
    connect(mMainWindow, &MainPanel::frameChanged, mWindowFrameSaver, qOverload<>(&QTimer::start),
            Qt::UniqueConnection);
    // A maximized window keeps its size when the log opens, but the log's state is stored too.
    connect(mDrawer, &LogDrawer::stateChanged, mWindowFrameSaver, qOverload<>(&QTimer::start),
            Qt::UniqueConnection);
}

void Controller::applicationWillTerminate()
{
    if (download_mode || mRunActive)
        stop_download();
    mWorker.reset();
    takeWorkerNews();
    updatePreferences();
}

void Controller::windowWillClose()
{
    QCoreApplication::quit();
}

bool Controller::canStart() const
{
    const FileElement e = mElement.get();
    return !e.location.isEmpty() && !e.number.isEmpty() && !e.extension.isEmpty() && !isRunning();
}

// A sheet on the main window, which takes no other input while it is up. Escape and the
// window's close button end it with the dialog's own Rejected: that is Cancel, 129, and its
// end handler runs once.
QDialog* Controller::newSheet(void (Controller::*didEnd)(int))
{
    auto* sheet = new QDialog(mMainWindow);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this,
            [this, didEnd](int code) { (this->*didEnd)(code == QDialog::Rejected ? 129 : code); });
    return sheet;
}

// One sheet at a time on the main window: an alert, the Entrance, list or preferences sheet.
bool Controller::isSheetUp() const
{
    for (const QDialog* dialog : mMainWindow->findChildren<QDialog*>())
        if (dialog->isVisible())
            return true;
    return false;
}

// A worker clears the flag when a step fails but its run lasts until its pause is over.
bool Controller::isRunning() const
{
    return download_mode || mRunActive;
}

void Controller::controllButtonCondition()
{
    const FileElement e = mElement.get();
    mStartButton->setEnabled(canStart());
    mStopButton->setEnabled(isRunning());
    mResetButton->setEnabled(!e.location.isEmpty() || !e.fileName.isEmpty() ||
                             !e.number.isEmpty() || !e.extension.isEmpty());
    mInitButton->setEnabled(!e.number.isEmpty());
    mWebButton->setEnabled(!isRunning() && !mQueryPending);
    mClipButton->setEnabled(!isRunning() && !mQueryPending);
    validateMenus();
}

void Controller::validateMenus()
{
    for (QAction* action : std::as_const(mValidatedItems)) {
        if (action->property("tag").isValid())
            action->setEnabled(validateMenuItem(action));
        if (action->property("pending").toBool())
            action->setEnabled(false);
    }
}

bool Controller::validateMenuItem(QAction* item) const
{
    const FileElement e = mElement.get();
    switch (item->property("tag").toInt()) {
    case 1:
        return canStart();
    case 2:
        return isRunning();
    case 3:
        return !isRunning() && !mQueryPending;
    case 7:
    case 8:
        return !isRunning();
    case 4:
    case 5:
        return !e.location.isEmpty();
    case 6:
        // Counted, not laid out: the menu's files are laid out when it opens.
        return !mOpenDownloadFiles.isEmpty() && mCreateNewFolder;
    default:
        return true;
    }
}

void Controller::cleanupInfoString()
{
    mElement.set({});
    mLocation->clear();
    mFileName->clear();
    mNumber->clear();
    mExtension->clear();
    mDrawer_Text->clear();
    resetCounter();
}

void Controller::setEditableInfoString(bool editable)
{
    for (QLineEdit* field : {mLocation, mFileName, mNumber, mExtension})
        field->setReadOnly(!editable);
    if (editable)
        mLocation->setFocus();
}

void Controller::reset_info()
{
    cleanupInfoString();
    controllButtonCondition();
}

void Controller::init_number()
{
    mElement.setNumber(mIntFileNumber);
    mNumber->setText(mIntFileNumber);
    resetCounter();
    controllButtonCondition();
}

void Controller::show_log()
{
    switch (mDrawer->state()) {
    case LogDrawer::Closed:
        mDrawer->open();
        break;
    case LogDrawer::Open:
        mDrawer->close();
        break;
    default:
        break;
    }
}

void Controller::moveDefaultPosition()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = screen->geometry();
    mMainWindow->move(frame.x() + 49, frame.y() + 22);
}

void Controller::showAlertSheet(const QString& message)
{
    auto* box = new QMessageBox(mMainWindow);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(localized("Warning"));
    box->setTextFormat(Qt::PlainText);
    box->setText(message);
    box->addButton(QMessageBox::Ok);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setObjectName(QStringLiteral("alertSheet"));
    box->open();
}

void Controller::setupDefaultFontAttribute()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSizeF(10.0);
    mDrawer_Text->setFont(font);
}

void Controller::resetCounter()
{
    download_counter = 0;
    mCounter->setNum(download_counter);
}

void Controller::updateCounter()
{
    ++download_counter;
    mCounter->setNum(download_counter);
}
