#pragma once

#include "address/fileelement.h"
#include "download/downloadfolder.h"
#include "download/fetcher.h"
#include "download/rungate.h"
#include "download/transferrate.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class DropBox;
class Host;
class LogDrawer;
class MainPanel;
class LinkListModel;
class QAction;
class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QMenu;
class PageFetcher;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSettings;
class QSpinBox;
class QTableView;
class QTextEdit;
class QThreadPool;
class QTimer;
class QToolButton;
class WorkerThread;
namespace download {
class CookieJar;
}

// What the window is doing; a sheet or alert over it is told apart (Controller::isSheetUp).
enum class WindowState { Idle, Querying, Running, Stopping };

// Every command the user can give, from a button, a menu item, a key or a drop.
enum class Command {
    Start,
    Stop,
    Reset,
    Init,
    EnterLocation,
    Web,
    Clip,
    Drop,
    Log,
    OpenBookmark,
    SaveBookmark,
    Preferences,
    AddressList,
    SearchAll,
    SearchArchives,
    SearchMovies,
    SearchImages,
    CopyAddress,
    ShowFolder,
    OpenAllFiles,
    OpenFile,
    DefaultPosition,
    ContinueSeries,
};

// The integer tags of the menu items, as the items carry them; other tags are always enabled.
enum class MenuTag {
    Start = 1,
    Stop = 2,
    Source = 3, // Web, Clip and the four searches
    SaveBookmark = 4,
    CopyAddress = 5,
    OpenAllFiles = 6,
    AddressList = 7,
    Preferences = 8,
};

// The browser the Web button asks (the stored SGWebBrowser integer).
enum class WebBrowser { Default = 0, Firefox = 1, Chromium = 2, Script = 3 };

// The one object that holds the program's state and answers every command.
// Its members are defined beside the subsystem they serve:
// app/ (shell, preferences), address/, download/, sources/, linksearch/.
class Controller : public QObject
{
    Q_OBJECT

public:
    explicit Controller(Host* host, QObject* parent = nullptr);
    ~Controller() override;

    MainPanel* mainWindow() const { return mMainWindow; }

    // Start-up and quit.
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    void windowWillClose();

    // The shell.
    void controllButtonCondition();
    // The one rule of what the window allows: every guard, button and menu item asks it.
    WindowState windowState() const;
    bool allows(Command command) const;
    bool canStart() const; // the Start button's rule
    bool isRunning() const;
    bool isSheetUp() const;
    void cleanupInfoString();
    void setEditableInfoString(bool editable);
    bool validateMenuItem(QAction* item) const;
    void showAlertSheet(const QString& message);
    void setupDefaultFontAttribute();
    void resetCounter();
    void updateCounter();

    // Preferences and their sheet.
    void updatePreferences();
    QStringList getSoundsName() const;
    void showPreferences();
    void sheet_prefs_ok();
    void sheet_prefs_cancel();
    void sheetPrefsDidEnd(int returnCode);
    void sheet_prefs_select();
    void sheet_prefs_listen();

    // The counted address.
    bool setupLocation(const QString& address);
    bool parseFileElement(const QString& address);
    QString createDownloadFileElement() const;
    void setupDownloadFileNumber();
    void takeAddress(const QString& text); // as if typed into the location field and confirmed

    // The download run.
    void setupHTMLHeader();
    bool isHTMLFile(const QByteArray& data) const;
    void writeLogView(const QString& text);
    void finishDownload();

    // The download folder and its menu.
    bool createDownloadFolder();
    void updateOutputDirectoryInfo();
    void updateOpenDownloadMenu();
    void openOutputDirectory();
    bool isValidFileName(const QString& name) const;
    void openAllFiles();
    QString currentDownloadFolder() const;

    // The browser's front page. The queries wait on the browser or a script, so they run off
    // the main thread and the window goes on painting; `done` gets the answer on the main
    // thread, where the members without it would have returned.
    void obtaion_from_web_safari();
    void obtaion_from_web_carbon();
    void getCurrentURLForSearch(std::function<void(bool)> done);
    void getCurrentURLForSearch_safari(std::function<void(bool)> done);
    void getCurrentURLForSearch_carbon(std::function<void(bool)> done);
    bool isQueryPending() const { return mQueryPending; }
    // Every source hands its candidate address to the window through these steps; a source
    // without a failure key fails silently.
    void acceptAddress(const QString& text, const char* failureKey);

    // The page's links.
    void saveHTMLSearchFile(const QString& address, std::function<void(bool)> done);
    bool setupCurrentLocation(const QString& address);
    bool parseURLInfoFormHTML();
    bool parseArchiveFileFormHTML();
    bool parseMovieFileFormHTML();
    bool parseImageFileFormHTML();
    void clearAllHTMLURLArray();
    const QStringList& linkList() const { return mHTMLURLArray; }
    QString savedPagePath() const;
    // Bounds of a page fetch; tests shorten them.
    void setPageFetchTimeout(int ms) { mPageFetchTimeoutMs = ms; }

    // Bookmark files. The end handlers take the dialog's result and the chosen path.
    void openBookmark();
    void didEndOpenSheet(int returnCode, const QString& path);
    void saveAsBookmark();
    void didEndSaveAsSheet(int returnCode, const QString& path);
    void setupBookmarkInfo(const QString& path);
    // A dropped or opened file: taken in when it is a bookmark.
    bool dropURLWithFile(const QString& path);

    // The Entrance sheet and its four search commands.
    void showEntrance();
    void showSearchArchiveFile();
    void showSearchMovieFile();
    void showSearchImageFile();
    void sheet_entrance_open();
    void sheet_entrance_close();
    void sheetEntranceDidEnd(int returnCode);
    void openEntranceURL();

    // The URL-list sheet and its run.
    void showDownloadText();
    // The sheet filled with `text` instead of the clipboard ("Download All…").
    void showDownloadTextWith(const QString& text);
    void setupDownloadText();
    void sheet_text_ok();
    void sheet_text_cancel();
    void sheetShowDownloadTextDidEnd(int returnCode);
    void downloadText();
    void start_downloadText();
    // A list run of the command line's --url-list: false, with nothing started, when the
    // text holds no address.
    bool startListForLaunch(const QString& text);
    // --keep-going: lists go on after a failed address in this launch, whatever is stored.
    void setListGoOnForLaunch(bool on) { mListGoOnForLaunch = on; }
    // The Entrance sheet's "Download All…": its links, resolved, into the URL-list sheet.
    void sheet_entrance_download_all();

    // Launch options of the command line.
    void setOutputDirectoryForLaunch(const QString& directory);
    void setLogMirror(bool on) { mLogMirror = on; }
    // The timings and bounds of the runs started from now on; tests shorten them.
    void setPolicy(const download::Policy& policy);
    const download::Policy& policy() const { return mPolicy; }
    // The policy of a run starting now: the timings above with the preferences' choices and
    // the page the address came from.
    download::Policy runPolicy() const;
    // Cookies for this launch: a browser's (--cookies-from-browser), whatever the preference,
    // and not the Web button's choice; or a cookie file's (--cookies), before any browser.
    void setCookieBrowserForLaunch(WebBrowser browser) { mCookieBrowserForLaunch = browser; }
    void setCookieFileForLaunch(const QString& path) { mCookieFileForLaunch = path; }
    bool wantsCookies() const;

    // Preference values (read at start-up, written at quit).
    // Any stored integer is kept, as stored; one outside the four asks nothing.
    WebBrowser mWebBrowser = WebBrowser::Default;
    bool mCreateNewFolder = false;
    bool mOpenFolder = false;
    bool mNoticeSoundAlert = false;
    bool mNoticeDockingAction = false;
    QString mOutputDirectory;
    QString mNoticeSound;
    int mMissingInRow = 0;        // SGMissingInRow, 0 to 99
    bool mKeepDownloaded = false; // SGKeepDownloaded
    bool mSendReferer = true;     // SGSendReferer
    bool mListGoOn = false;       // SGListGoOn, the URL-list sheet's check box

    // SGUseBrowserCookies: runs and link searches carry the chosen browser's cookies.
    bool mUseBrowserCookies = false;

public slots:
    void enter_location();
    void reset_info();
    void init_number();
    void show_log();
    void moveDefaultPosition();
    void start_download();
    void stop_download();
    // Download ▸ Continue Series: Start, from the number after the series' files on disk.
    void continue_series();
    void selectOpenEachMenuItem(QAction* item);
    void selectOpenAllMenuItem();
    // Filled when the browser, clipboard, bookmark, list and search sources come.
    void obtaion_from_web();
    void obtaion_from_clip();
    // Edit ▸ Copy Full Address: the address the fields make, on the clipboard.
    void copyFullAddress();
    // A link dragged out of a browser or file manager, taken as the clipboard's address.
    void dropURLWithLink(const QString& text);

signals:
    // A run has ended; failed when a failure (not the end of the series or Stop) ended it.
    void downloadFinished(bool failed);

private:
    void connectOutlets();
    void readPreferences();
    void validateMenus();
    void downloadOneStep();
    void URLResourceDidFinishLoading(const Fetcher::Result& result);
    void URLHandle(const Fetcher::Result& result);
    void startWorker();
    void endRun(bool failed);
    void onWorkerNumber(quint64 run, const QString& number);
    void onWorkerLog(quint64 run, const QString& text);
    void onWorkerFile(quint64 run, const QString& name);
    void onWorkerKept(quint64 run, const QString& name);
    void takeWorkerNews();
    void onWorkerFailed(quint64 run);
    void onWorkerFinished(quint64 run, bool failed);
    // The file in transfer, followed by the bar, the status line, the task bar and, with the
    // log mirrored on a terminal, a line on standard error.
    void onWorkerProgress(quint64 run, const QString& name, qint64 bytes, qint64 total);
    void showFileProgress(const QString& name, qint64 bytes, qint64 total);
    void clearFileProgress();
    void showRunProgress(bool visible);
    void showNumber(const QString& number);
    bool applyAddress(const QString& address, bool withLocation);
    QDialog* newSheet(void (Controller::*didEnd)(int));
    void createEntranceSheet();
    bool extractLinks(int kind);
    void runQuery(bool script, std::function<void(std::optional<QString>)> done);
    void webActionDone(const std::optional<QString>& text);
    void searchFetchDone(const std::optional<QString>& text, std::function<void(bool)> done);

    // Menus laid out when opened, and state stored as it changes.
    void layOutOpenDownloadMenu();
    void fillOpenDownloadMenu(QMenu* menu, qsizetype first, qsizetype last);
    void saveWindowFrame();
    void writeWindowFrame(QSettings& settings);
    QList<QAction*> mValidatedItems;     // the items whose enabled state the rules decide
    QList<qsizetype> mOpenDownloadFiles; // the entries of directoryInfo that get an item
    bool mOpenDownloadMenuStale = false;
    QTimer* mWindowFrameSaver = nullptr;

    Host* mHost;
    MainPanel* mMainWindow = nullptr;

    // Outlets into the main window.
    QLineEdit* mLocation = nullptr;
    QLineEdit* mFileName = nullptr;
    QLineEdit* mNumber = nullptr;
    QLineEdit* mExtension = nullptr;
    QPushButton* mStartButton = nullptr;
    QPushButton* mStopButton = nullptr;
    QPushButton* mWebButton = nullptr;
    QPushButton* mClipButton = nullptr;
    QPushButton* mLogButton = nullptr;
    QPushButton* mResetButton = nullptr;
    QPushButton* mInitButton = nullptr;
    QLabel* mCounter = nullptr;
    QProgressBar* mProgressBar = nullptr;
    DropBox* mDropBox = nullptr;
    LogDrawer* mDrawer = nullptr;
    QPlainTextEdit* mDrawer_Text = nullptr;
    QToolButton* mOpenDownloadMenu = nullptr;

    // Working state.
    FileElementStore mElement;
    QString mIntFileNumber;
    std::atomic<bool> download_mode{false};
    RunGate mRunGate{download_mode};
    quint64 mRun = 0;
    bool mRunActive = false;
    bool mRunFailed = false;
    int download_counter = 0;
    QByteArray htmlHeader;
    folder::Listing directoryInfo;
    QString mListedFolder; // the folder directoryInfo lists
    QString mDownloadFolder;
    // The folder the current run writes into, opened once at its start; when there is none,
    // mRunFolderRefusal says why, or is empty when no folder was named at all.
    std::shared_ptr<const folder::RunFolder> mRunFolder;
    QString mRunFolderRefusal;
    QString mHTMLFileName;
    QStringList mHTMLURLArray;
    QString mLaunchOutputDirectory;
    QString mStoredOutputDirectory;
    bool mLogMirror = false;
    download::TransferRate mFileRate;
    QString mFileRateName; // the file mFileRate follows
    QElapsedTimer mProgressClock;
    QElapsedTimer mTaskbarShown;
    QTimer* mTaskbarTimer = nullptr;
    download::TerminalLine mTerminalLine;

    // The Entrance sheet.
    QDialog* mSheet_Entrance = nullptr;
    QLineEdit* mEntrance_url = nullptr;
    QTableView* mEntrance_table = nullptr;
    QPushButton* mEntrance_open = nullptr;
    QPushButton* mEntrance_all = nullptr;
    LinkListModel* mLinkModel = nullptr;
    QByteArray mHTMLContentType; // the saved page's Content-Type, for its charset
    QString mHTMLPageAddress;    // the saved page's own address, which its links are relative to
    void openEntranceWhenFree(Command command);
    void searchAndShow(Command command, bool (Controller::*extraction)());

    // The URL-list sheet.
    QDialog* mSheet_Text = nullptr;
    QTextEdit* mText_url = nullptr;
    QCheckBox* mText_goOn = nullptr;
    bool mListGoOnForLaunch = false;
    bool mText_goOnShown = false; // the box as the sheet opened with it
    void createTextSheet();
    void openTextSheet();

    // The URL-list run.
    // The start of either kind of run: the previous worker ended and its last news taken in,
    // then the log, the run flag, the folder, the buttons, the fields and the counter.
    void retireWorker();
    // `then` goes on with the run once its cookies are read, unless it has ended meanwhile.
    void beginRun(const QString& firstLine, std::function<void()> then);
    // Ends at once a run whose folder was refused, with the failure of its first file (name);
    // true when it did.
    bool endRunWithoutFolder(const QString& name);
    void startListWorker();

    // The preferences sheet.
    QDialog* mSheet_Preferences = nullptr;
    QComboBox* mPrefs_browser = nullptr;
    QLineEdit* mPrefs_output = nullptr;
    QCheckBox* mPrefs_create_folder = nullptr;
    QCheckBox* mPrefs_open_folder = nullptr;
    QCheckBox* mPrefs_notice_docking = nullptr;
    QCheckBox* mPrefs_notice_sound = nullptr;
    QComboBox* mPrefs_sound_popup = nullptr;
    QSpinBox* mPrefs_missing_in_row = nullptr;
    QCheckBox* mPrefs_keep_downloaded = nullptr;
    QCheckBox* mPrefs_send_referer = nullptr;
    QCheckBox* mPrefs_use_cookies = nullptr;
    void createPreferencesSheet();

    QThreadPool* mQueryThread = nullptr;
    // Cookie reads, apart from the browser query: one that Stop left behind holds no query.
    QThreadPool* mCookieThread = nullptr;
    bool mQueryPending = false;
    // The last browser query failed because its bridge could not be started.
    bool mBridgeMissing = false;
    void setQueryPending(bool pending);
    int mPageFetchTimeoutMs = 30000;

    PageFetcher* mPageFetch = nullptr;
    Fetcher* mFirstFetch = nullptr;
    QString mFirstFileName;
    std::unique_ptr<WorkerThread> mWorker;
    download::Policy mPolicy;
    // The page the address in the fields came from (the browser's page, a searched page);
    // empty when it was typed, pasted, dropped or read from a bookmark.
    QUrl mRefererPage;
    // The searched page of the list Download All made; empty for any other list.
    QUrl mListRefererPage;
    std::optional<WebBrowser> mCookieBrowserForLaunch;
    QString mCookieFileForLaunch;
    // The current run's cookies, shared by its first fetch and its worker.
    std::shared_ptr<download::CookieJar> mRunCookies;
    // The cookies a run or a link search starting now carries, read afresh off the window's
    // thread and handed to `then` on it: null when none are asked for or none could be had,
    // with the line that says why (or that some could not be read), never the cookies.
    using CookiesRead = std::function<void(std::shared_ptr<download::CookieJar>, const QString&)>;
    void openCookieJar(CookiesRead then);
};
