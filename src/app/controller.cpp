#include "controller.h"

#include "app/logdrawer.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "host/host.h"
#include "host/localized.h"
#include "host/soundfolders.h"
#include "linksearch/pagefetcher.h"
#include "sources/browsercookies.h"
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
    mProgressClock.start();
    mTaskbarTimer = new QTimer(this);
    mTaskbarTimer->setSingleShot(true);
    connect(mTaskbarTimer, &QTimer::timeout, this, [this] {
        if (mRunActive)
            showRunProgress(true);
    });

    mPageFetch = new PageFetcher(this);
    mFirstFetch = new Fetcher(mPolicy, this);
    mQueryThread = new QThreadPool(this);
    mQueryThread->setMaxThreadCount(1);
    mCookieThread = new QThreadPool(this);
    mCookieThread->setMaxThreadCount(1);
    createEntranceSheet();
    createTextSheet();
    createPreferencesSheet();
    connectOutlets();
}

Controller::~Controller()
{
    // The worker thread, a browser query and a cookie read must be gone before the state they
    // read. The window goes first, and the query and a keyring lookup are cancelled rather
    // than waited out.
    mMainWindow->hide();
    mWorker.reset();
    mQueryThread->clear();
    cancelBrowserQueries(true);
    mQueryThread->waitForDone();
    cancelBrowserQueries(false);
    mCookieThread->clear();
    cookies::cancelKeyringLookups();
    mCookieThread->waitForDone();
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
    // A location the user rewrote is no longer the one a page linked to; a new number or
    // extension still counts along that page's series.
    connect(mLocation, &QLineEdit::textEdited, this, [this] { mRefererPage.clear(); });

    connect(mStartButton, &QPushButton::clicked, this, &Controller::start_download);
    connect(mStopButton, &QPushButton::clicked, this, &Controller::stop_download);
    connect(mWebButton, &QPushButton::clicked, this, &Controller::obtaion_from_web);
    connect(mClipButton, &QPushButton::clicked, this, &Controller::obtaion_from_clip);
    connect(mLogButton, &QPushButton::clicked, this, &Controller::show_log);
    connect(mResetButton, &QPushButton::clicked, this, &Controller::reset_info);
    connect(mInitButton, &QPushButton::clicked, this, &Controller::init_number);

    // Each item names its command, which decides whether it is enabled.
    const std::tuple<QAction*, Command, void (Controller::*)()> items[] = {
        {ui.actionStart, Command::Start, &Controller::start_download},
        {ui.actionStop, Command::Stop, &Controller::stop_download},
        {ui.actionContinueSeries, Command::ContinueSeries, &Controller::continue_series},
        {ui.actionGetFromWeb, Command::Web, &Controller::obtaion_from_web},
        {ui.actionGetFromClip, Command::Clip, &Controller::obtaion_from_clip},
        {ui.actionURLList, Command::AddressList, &Controller::showDownloadText},
        {ui.actionOpenBookmark, Command::OpenBookmark, &Controller::openBookmark},
        {ui.actionSaveBookmark, Command::SaveBookmark, &Controller::saveAsBookmark},
        {ui.actionPreferences, Command::Preferences, &Controller::showPreferences},
        {ui.actionCopyAddress, Command::CopyAddress, &Controller::copyFullAddress},
        {ui.actionSearchAll, Command::SearchAll, &Controller::showEntrance},
        {ui.actionSearchArchives, Command::SearchArchives, &Controller::showSearchArchiveFile},
        {ui.actionSearchMovies, Command::SearchMovies, &Controller::showSearchMovieFile},
        {ui.actionSearchImages, Command::SearchImages, &Controller::showSearchImageFile},
        {ui.actionShowLog, Command::Log, &Controller::show_log},
        {ui.actionDefaultPosition, Command::DefaultPosition, &Controller::moveDefaultPosition},
        {ui.actionOpenAllFiles, Command::OpenAllFiles, &Controller::selectOpenAllMenuItem},
        {ui.actionRevealFolder, Command::ShowFolder, &Controller::openOutputDirectory},
    };
    for (const auto& [action, command, slot] : items) {
        action->setProperty("command", int(command));
        mValidatedItems.append(action);
        connect(action, &QAction::triggered, this, slot);
    }
    connect(ui.actionQuit, &QAction::triggered, mMainWindow, &QWidget::close);
    connect(ui.actionAbout, &QAction::triggered, this, [this] {
        QMessageBox::about(mMainWindow, QStringLiteral("Stepgrab"),
                           localizedFormat("AboutText", QCoreApplication::applicationVersion()));
    });
    for (QMenu* menu : mMainWindow->menuBar()->findChildren<QMenu*>())
        connect(menu, &QMenu::aboutToShow, this, &Controller::validateMenus);
    // A key is matched against the items' shortcuts only after this: an item whose key is
    // pressed has been validated, whatever changed since the last edit.
    connect(mMainWindow, &MainPanel::shortcutAboutToMatch, this, &Controller::validateMenus);

    auto* openMenu = new QMenu(mOpenDownloadMenu);
    QAction* openAll = openMenu->addAction(localized("MenuOpenAll"));
    openAll->setObjectName(QStringLiteral("openAllFilesItem"));
    openAll->setProperty("tag", int(MenuTag::OpenAllFiles));
    openAll->setProperty("command", int(Command::OpenAllFiles));
    mValidatedItems.append(openAll);
    connect(openAll, &QAction::triggered, this, &Controller::selectOpenAllMenuItem);
    openMenu->addSeparator();
    connect(openMenu, &QMenu::aboutToShow, this, &Controller::layOutOpenDownloadMenu);
    connect(openMenu, &QMenu::aboutToShow, this, &Controller::validateMenus);
    mOpenDownloadMenu->setMenu(openMenu);

    // The window's place is stored once it has stayed put for a moment.
    mWindowFrameSaver = new QTimer(this);
    mWindowFrameSaver->setSingleShot(true);
    mWindowFrameSaver->setInterval(500);
    connect(mWindowFrameSaver, &QTimer::timeout, this, &Controller::saveWindowFrame);

    connect(mMainWindow, &MainPanel::windowWillClose, this, &Controller::windowWillClose);
    // The window has already answered the drop; what the file held does not change that.
    connect(mMainWindow, &MainPanel::fileDropped, this, &Controller::dropURLWithFile);
    connect(mMainWindow, &MainPanel::linkDropped, this, &Controller::dropURLWithLink);
    // A sheet or alert coming or going changes what the window allows; asked once it has
    // settled, as the blocking is told before the dialog counts as shown or hidden.
    connect(mMainWindow, &MainPanel::blockedChanged, this, &Controller::controllButtonCondition,
            Qt::QueuedConnection);
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
    return allows(Command::Start);
}

// A worker clears the run flag when a step fails, but its run lasts until its pause is over.
WindowState Controller::windowState() const
{
    if (mRunActive || download_mode)
        return download_mode ? WindowState::Running : WindowState::Stopping;
    return mQueryPending ? WindowState::Querying : WindowState::Idle;
}

// A sheet or alert holds the window: nothing may open another over it or change the fields
// behind it. A browser query will fill the fields and may open an alert or the Entrance
// sheet when it answers, so while it is pending nothing else opens a sheet or takes an
// address. A run counts the element the fields show: no source may change it meanwhile.
bool Controller::allows(Command command) const
{
    const WindowState state = windowState();
    const bool sheet = isSheetUp();
    const bool free = state == WindowState::Idle && !sheet;
    const bool running = state == WindowState::Running || state == WindowState::Stopping;
    const FileElement e = mElement.get();
    const bool complete = !e.location.isEmpty() && !e.number.isEmpty() && !e.extension.isEmpty();
    switch (command) {
    case Command::Start:
    case Command::ContinueSeries:
        return free && complete;
    case Command::Stop:
        return running;
    case Command::Reset:
        return !sheet && (!e.location.isEmpty() || !e.fileName.isEmpty() || !e.number.isEmpty() ||
                          !e.extension.isEmpty());
    case Command::Init:
        return !sheet && !e.number.isEmpty();
    case Command::EnterLocation:
    case Command::Web:
    case Command::Clip:
    case Command::Drop:
    case Command::OpenBookmark:
    case Command::Preferences:
    case Command::AddressList:
    case Command::SearchAll:
    case Command::SearchArchives:
    case Command::SearchMovies:
    case Command::SearchImages:
        return free;
    case Command::SaveBookmark:
        return !sheet && state != WindowState::Querying && !e.location.isEmpty();
    case Command::CopyAddress:
        return !sheet && complete;
    case Command::ShowFolder:
        return !sheet && (!directoryInfo.isEmpty() || !currentDownloadFolder().isEmpty());
    case Command::OpenAllFiles:
        // Only a run's own folder: the output folder itself may be the home folder.
        return !sheet && mCreateNewFolder && !mOpenDownloadFiles.isEmpty() &&
               mListedFolder == mDownloadFolder;
    case Command::OpenFile:
        return !sheet;
    case Command::Log:
    case Command::DefaultPosition:
        return true;
    }
    return false;
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

bool Controller::isRunning() const
{
    return download_mode || mRunActive;
}

void Controller::controllButtonCondition()
{
    mStartButton->setEnabled(allows(Command::Start));
    mStopButton->setEnabled(allows(Command::Stop));
    mResetButton->setEnabled(allows(Command::Reset));
    mInitButton->setEnabled(allows(Command::Init));
    mWebButton->setEnabled(allows(Command::Web));
    mClipButton->setEnabled(allows(Command::Clip));
    mLogButton->setEnabled(allows(Command::Log));
    validateMenus();
}

void Controller::validateMenus()
{
    for (QAction* action : std::as_const(mValidatedItems))
        action->setEnabled(validateMenuItem(action));
}

// An item names its command; one that only carries a tag answers for the command of its tag.
bool Controller::validateMenuItem(QAction* item) const
{
    const QVariant command = item->property("command");
    if (command.isValid())
        return allows(Command(command.toInt()));
    switch (MenuTag(item->property("tag").toInt())) {
    case MenuTag::Start:
        return allows(Command::Start);
    case MenuTag::Stop:
        return allows(Command::Stop);
    case MenuTag::Source:
        return allows(Command::Web);
    case MenuTag::SaveBookmark:
        return allows(Command::SaveBookmark);
    case MenuTag::CopyAddress:
        return allows(Command::CopyAddress);
    case MenuTag::OpenAllFiles:
        return allows(Command::OpenAllFiles);
    case MenuTag::AddressList:
        return allows(Command::AddressList);
    case MenuTag::Preferences:
        return allows(Command::Preferences);
    }
    return true;
}

void Controller::cleanupInfoString()
{
    mElement.set({});
    mRefererPage.clear();
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
    if (!allows(Command::Reset))
        return;
    cleanupInfoString();
    controllButtonCondition();
}

void Controller::init_number()
{
    if (!allows(Command::Init))
        return;
    mElement.setNumber(mIntFileNumber);
    mNumber->setText(mIntFileNumber);
    resetCounter();
    controllButtonCondition();
}

void Controller::show_log()
{
    if (!allows(Command::Log))
        return;
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
    if (!allows(Command::DefaultPosition))
        return;
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
    if (mRunActive)
        showRunProgress(true);
}
