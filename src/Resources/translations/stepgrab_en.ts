<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!--
  Stepgrab, English texts (ID-based: each id is looked up with qtTrId()).

  Download log layout: each event is a line of its own. The program writes
  "StartedDownload", then "CreateNewFolder" (only when a dated folder was
  made), then one line per file, then an empty line and "FinishedDownload";
  a file put in place while the run stops gets its line after that. The
  program ends every line itself, so no text holds a line break or ends with
  a space. %1 stands for the file name in the three file-line texts.
  A run thus reads:
    Download started.
    A new folder was made for this run.
    Downloaded pic012.jpg
    Downloaded pic013.jpg
    pic014.jpg was not found on the server

    Download finished.
-->
<TS version="2.1" language="en">
<context>
    <name>Stepgrab</name>
    <message id="StartedDownload">
        <source>StartedDownload</source>
        <translation>Download started.</translation>
    </message>
    <message id="CreateNewFolder">
        <source>CreateNewFolder</source>
        <translation>A new folder was made for this run.</translation>
    </message>
    <message id="ContinueSeriesAt">
        <source>ContinueSeriesAt</source>
        <translation>Continuing at %1 after %2</translation>
    </message>
    <message id="ContinueSeriesNone">
        <source>ContinueSeriesNone</source>
        <translation>No file of this series in %2: starting at %1</translation>
    </message>
    <message id="DownloadComleted">
        <source>DownloadComleted</source>
        <translation>Downloaded %1</translation>
    </message>
    <message id="AlreadyHere">
        <source>AlreadyHere</source>
        <translation>%1 is already here</translation>
    </message>
    <message id="FailureDownload">
        <source>FailureDownload</source>
        <translation>Could not download %1</translation>
    </message>
    <message id="CantFound">
        <source>CantFound</source>
        <translation>%1 was not found on the server</translation>
    </message>
    <message id="MissingGoOn">
        <source>MissingGoOn</source>
        <translation>%1 is missing; looking further</translation>
    </message>
    <message id="SeriesEnded">
        <source>SeriesEnded</source>
        <translation>%2 numbers in a row are missing after %1; the series ends there</translation>
    </message>
    <message id="ReasonPermissionDenied">
        <source>ReasonPermissionDenied</source>
        <translation>permission denied</translation>
    </message>
    <message id="ReasonDiskFull">
        <source>ReasonDiskFull</source>
        <translation>the disk is full</translation>
    </message>
    <message id="ReasonFolderMissing">
        <source>ReasonFolderMissing</source>
        <translation>the folder does not exist</translation>
    </message>
    <message id="ReasonNameTooLong">
        <source>ReasonNameTooLong</source>
        <translation>the file name is too long</translation>
    </message>
    <message id="ReasonBadAddress">
        <source>ReasonBadAddress</source>
        <translation>the address cannot be fetched</translation>
    </message>
    <message id="ReasonNoFolder">
        <source>ReasonNoFolder</source>
        <translation>there is no folder to write into</translation>
    </message>
    <message id="ReasonNameEmpty">
        <source>ReasonNameEmpty</source>
        <translation>the address names no file</translation>
    </message>
    <message id="ReasonServerOnly">
        <source>ReasonServerOnly</source>
        <translation>the address names a server but no file on it</translation>
    </message>
    <message id="ReasonNameUnsafe">
        <source>ReasonNameUnsafe</source>
        <translation>the file name cannot be used in a folder</translation>
    </message>
    <message id="ReasonFolderRefused">
        <source>ReasonFolderRefused</source>
        <translation>the folder's name is taken by a link, a file or another user's folder</translation>
    </message>
    <message id="RetryDownload">
        <source>RetryDownload</source>
        <translation>Could not download %1 yet: %2;</translation>
    </message>
    <message id="RetryWait">
        <source>RetryWait</source>
        <translation>trying again in %1 s (retry %2)</translation>
    </message>
    <message id="RenamedDownload">
        <source>RenamedDownload</source>
        <translation>%1 is already in this run; saving as %2</translation>
    </message>
    <message id="ListFailures">
        <source>ListFailures</source>
        <translation>%1 of %2 addresses failed</translation>
    </message>
    <message id="FinishedDownload">
        <source>FinishedDownload</source>
        <translation>Download finished.</translation>
    </message>
    <message id="Warning">
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message id="InvalidURLInfo">
        <source>InvalidURLInfo</source>
        <translation>This address cannot be used. Enter an address that contains “http://” or “https://”, such as http://host/dir/pic012.jpg.</translation>
    </message>
    <message id="FailureGrabURL">
        <source>FailureGrabURL</source>
        <translation>Could not get a usable address from the web browser. Check that the browser is open and shows a page whose address begins with “http://” or “https://”.</translation>
    </message>
    <message id="FailureBookmarkEncoding">
        <source>FailureBookmarkEncoding</source>
        <translation>The address cannot be saved as a bookmark file: it holds characters that a bookmark file cannot keep (only Shift JIS text can be written). Remove those characters and save again.</translation>
    </message>
    <message id="FailurePasteURL">
        <source>FailurePasteURL</source>
        <translation>The clipboard holds no usable address. Copy an address that contains “http://” or “https://” and try again.</translation>
    </message>
    <message id="FailureGrabText">
        <source>FailureGrabText</source>
        <translation>The address list is empty. Enter or paste the addresses to download, one per line.</translation>
    </message>
    <message id="StopButtonTips">
        <source>StopButtonTips</source>
        <translation>Stop the download in progress.</translation>
    </message>
    <message id="StartButtonTips">
        <source>StartButtonTips</source>
        <translation>Start downloading the series, counting the number up from the current file.</translation>
    </message>
    <message id="WebButtonTips">
        <source>WebButtonTips</source>
        <translation>Take the address of the page shown in the web browser.</translation>
    </message>
    <message id="ClipButtonTips">
        <source>ClipButtonTips</source>
        <translation>Take the address from the clipboard.</translation>
    </message>
    <message id="LogButtonTips">
        <source>LogButtonTips</source>
        <translation>Show or hide the download log.</translation>
    </message>
    <message id="ResetButtonTips">
        <source>ResetButtonTips</source>
        <translation>Clear the address fields, the log and the file counter.</translation>
    </message>
    <message id="InitButtonTips">
        <source>InitButtonTips</source>
        <translation>Put the starting number back and set the file counter to zero.</translation>
    </message>
    <message id="Bookmark Open">
        <source>Bookmark Open</source>
        <translation>Open Bookmark</translation>
    </message>
    <message id="Bookmark Save">
        <source>Bookmark Save</source>
        <translation>Save Bookmark</translation>
    </message>
    <message id="LabelLocation">
        <source>LabelLocation</source>
        <translation>Location</translation>
    </message>
    <message id="LabelFileName">
        <source>LabelFileName</source>
        <translation>File name</translation>
    </message>
    <message id="LabelNumber">
        <source>LabelNumber</source>
        <translation>Number</translation>
    </message>
    <message id="LabelExtension">
        <source>LabelExtension</source>
        <translation>Extension</translation>
    </message>
    <message id="LabelCounter">
        <source>LabelCounter</source>
        <translation>Files</translation>
    </message>
    <message id="ProgressKnown">
        <source>ProgressKnown</source>
        <translation>%1 — %2 of %3, %4/s, %5 left</translation>
    </message>
    <message id="ProgressStarting">
        <source>ProgressStarting</source>
        <translation>%1 — %2 of %3</translation>
    </message>
    <message id="ProgressStalled">
        <source>ProgressStalled</source>
        <translation>%1 — %2 of %3, stalled</translation>
    </message>
    <message id="ProgressBytes">
        <source>ProgressBytes</source>
        <translation>%1 — %2</translation>
    </message>
    <message id="ProgressBytesSpeed">
        <source>ProgressBytesSpeed</source>
        <translation>%1 — %2, %3/s</translation>
    </message>
    <message id="DurationSeconds">
        <source>DurationSeconds</source>
        <translation>%1 s</translation>
    </message>
    <message id="DurationMinutes">
        <source>DurationMinutes</source>
        <translation>%1 min %2 s</translation>
    </message>
    <message id="DurationHours">
        <source>DurationHours</source>
        <translation>%1 h %2 min</translation>
    </message>
    <message id="ButtonStart">
        <source>ButtonStart</source>
        <translation>Start</translation>
    </message>
    <message id="ButtonStop">
        <source>ButtonStop</source>
        <translation>Stop</translation>
    </message>
    <message id="ButtonWeb">
        <source>ButtonWeb</source>
        <translation>Web</translation>
    </message>
    <message id="ButtonClip">
        <source>ButtonClip</source>
        <translation>Clip</translation>
    </message>
    <message id="ButtonLog">
        <source>ButtonLog</source>
        <translation>Log</translation>
    </message>
    <message id="ButtonReset">
        <source>ButtonReset</source>
        <translation>Reset</translation>
    </message>
    <message id="ButtonInit">
        <source>ButtonInit</source>
        <translation>Init</translation>
    </message>
    <message id="MenuFile">
        <source>MenuFile</source>
        <translation>&amp;File</translation>
    </message>
    <message id="MenuEdit">
        <source>MenuEdit</source>
        <translation>&amp;Edit</translation>
    </message>
    <message id="MenuDownload">
        <source>MenuDownload</source>
        <translation>&amp;Download</translation>
    </message>
    <message id="MenuWindow">
        <source>MenuWindow</source>
        <translation>&amp;Window</translation>
    </message>
    <message id="MenuHelp">
        <source>MenuHelp</source>
        <translation>&amp;Help</translation>
    </message>
    <message id="MenuOpenDownload">
        <source>MenuOpenDownload</source>
        <translation>Downloaded Files</translation>
    </message>
    <message id="MenuOpenAll">
        <source>MenuOpenAll</source>
        <translation>Open All Files</translation>
    </message>
    <message id="MenuRevealFolder">
        <source>MenuRevealFolder</source>
        <translation>Show Download Folder</translation>
    </message>
    <message id="MenuQuit">
        <source>MenuQuit</source>
        <translation>&amp;Quit</translation>
    </message>
    <message id="MenuPreferences">
        <source>MenuPreferences</source>
        <translation>Preferences…</translation>
    </message>
    <message id="MenuStart">
        <source>MenuStart</source>
        <translation>Start Download</translation>
    </message>
    <message id="MenuStop">
        <source>MenuStop</source>
        <translation>Stop Download</translation>
    </message>
    <message id="MenuContinueSeries">
        <source>MenuContinueSeries</source>
        <translation>Continue Series</translation>
    </message>
    <message id="MenuGetFromWeb">
        <source>MenuGetFromWeb</source>
        <translation>Address from Web Browser</translation>
    </message>
    <message id="MenuGetFromClip">
        <source>MenuGetFromClip</source>
        <translation>Address from Clipboard</translation>
    </message>
    <message id="MenuShowLog">
        <source>MenuShowLog</source>
        <translation>Show or Hide Log</translation>
    </message>
    <message id="MenuDefaultPosition">
        <source>MenuDefaultPosition</source>
        <translation>Move to Default Position</translation>
    </message>
    <message id="MenuAbout">
        <source>MenuAbout</source>
        <translation>About Stepgrab</translation>
    </message>
    <message id="MenuSaveBookmark">
        <source>MenuSaveBookmark</source>
        <translation>Save Address as Bookmark…</translation>
    </message>
    <message id="MenuOpenBookmark">
        <source>MenuOpenBookmark</source>
        <translation>Open Bookmark…</translation>
    </message>
    <message id="MenuCopyAddress">
        <source>MenuCopyAddress</source>
        <translation>Copy Full Address</translation>
    </message>
    <message id="MenuURLList">
        <source>MenuURLList</source>
        <translation>Download Address List…</translation>
    </message>
    <message id="MenuSearchAll">
        <source>MenuSearchAll</source>
        <translation>Find All Links</translation>
    </message>
    <message id="MenuSearchArchives">
        <source>MenuSearchArchives</source>
        <translation>Find Archive Links</translation>
    </message>
    <message id="MenuSearchMovies">
        <source>MenuSearchMovies</source>
        <translation>Find Movie Links</translation>
    </message>
    <message id="MenuSearchImages">
        <source>MenuSearchImages</source>
        <translation>Find Image Links</translation>
    </message>
    <message id="DropBoxTips">
        <source>DropBoxTips</source>
        <translation>Drop a .url bookmark here</translation>
    </message>
    <message id="CommandLineDescription">
        <source>CommandLineDescription</source>
        <translation>Downloads a numbered series of files, counting up from one address.</translation>
    </message>
    <message id="OptionStart">
        <source>OptionStart</source>
        <translation>Start the download once the address is in.</translation>
    </message>
    <message id="OptionQuitWhenDone">
        <source>OptionQuitWhenDone</source>
        <translation>Quit when the download run ends; exit status 1 when a failure ended it.</translation>
    </message>
    <message id="OptionLog">
        <source>OptionLog</source>
        <translation>Mirror the download log to standard output.</translation>
    </message>
    <message id="OptionOutput">
        <source>OptionOutput</source>
        <translation>Write into DIR for this launch only.</translation>
    </message>
    <message id="ArgumentAddress">
        <source>ArgumentAddress</source>
        <translation>A numbered address such as http://host/dir/pic012.jpg</translation>
    </message>
    <message id="UnknownOption">
        <source>UnknownOption</source>
        <translation>Unknown option: %1</translation>
    </message>
    <message id="AboutText">
        <source>AboutText</source>
        <translation>Stepgrab %1 — downloads numbered series of files.</translation>
    </message>
    <!-- Why a fetch failed, in the user's words: lower case, no final stop, so that
         a log line can follow a file name with it. %1 and %2 are the values named. -->
    <message id="ReasonConnectionRefused">
        <source>ReasonConnectionRefused</source>
        <translation>connection refused</translation>
    </message>
    <message id="ReasonConnectionReset">
        <source>ReasonConnectionReset</source>
        <translation>connection reset</translation>
    </message>
    <message id="ReasonNoDataFor">
        <source>ReasonNoDataFor</source>
        <translation>no data received for %1 s</translation>
    </message>
    <message id="ReasonTooSlow">
        <source>ReasonTooSlow</source>
        <translation>the transfer stayed below %1 KiB/s for %2 s</translation>
    </message>
    <message id="ReasonServerError">
        <source>ReasonServerError</source>
        <translation>server error %1</translation>
    </message>
    <message id="ReasonRequestTimeout">
        <source>ReasonRequestTimeout</source>
        <translation>the server gave up waiting for the request (408)</translation>
    </message>
    <message id="ReasonTooManyRequests">
        <source>ReasonTooManyRequests</source>
        <translation>the server is busy: too many requests (429)</translation>
    </message>
    <message id="ReasonAfterRetries">
        <source>ReasonAfterRetries</source>
        <translation>%1 after %2 retries</translation>
    </message>
    <message id="ReasonAuthentication">
        <source>ReasonAuthentication</source>
        <translation>authentication required</translation>
    </message>
    <message id="ReasonMissing">
        <source>ReasonMissing</source>
        <translation>the server has no such file (%1)</translation>
    </message>
    <message id="ReasonNoData">
        <source>ReasonNoData</source>
        <translation>no data received</translation>
    </message>
    <message id="ReasonHtmlPage">
        <source>ReasonHtmlPage</source>
        <translation>the server sent a web page instead of the file</translation>
    </message>
    <message id="ReasonRedirectNoTarget">
        <source>ReasonRedirectNoTarget</source>
        <translation>redirect without a target</translation>
    </message>
    <message id="ReasonUnaskedNotModified">
        <source>ReasonUnaskedNotModified</source>
        <translation>the server answered 304 Not Modified to a request that compared nothing</translation>
    </message>
    <message id="ReasonTooManyRedirects">
        <source>ReasonTooManyRedirects</source>
        <translation>too many redirects</translation>
    </message>
    <message id="ReasonRedirectRefused">
        <source>ReasonRedirectRefused</source>
        <translation>redirect to %1 refused</translation>
    </message>
    <message id="ReasonHostNotFound">
        <source>ReasonHostNotFound</source>
        <translation>host %1 not found</translation>
    </message>
    <message id="ReasonNetwork">
        <source>ReasonNetwork</source>
        <translation>network error: %1</translation>
    </message>
    <message id="ReasonStopped">
        <source>ReasonStopped</source>
        <translation>stopped</translation>
    </message>
    <message id="EntranceTitle">
        <source>EntranceTitle</source>
        <translation>Links of the page</translation>
    </message>
    <message id="ButtonOpen">
        <source>ButtonOpen</source>
        <translation>Open</translation>
    </message>
    <message id="ButtonClose">
        <source>ButtonClose</source>
        <translation>Close</translation>
    </message>
    <message id="BrowserDefault">
        <source>BrowserDefault</source>
        <translation>Default web browser</translation>
    </message>
    <message id="BrowserFirefox">
        <source>BrowserFirefox</source>
        <translation>Firefox</translation>
    </message>
    <message id="BrowserChromium">
        <source>BrowserChromium</source>
        <translation>Chromium / Chrome</translation>
    </message>
    <message id="BrowserScript">
        <source>BrowserScript</source>
        <translation>Script (Safari_Get_URL.txt)</translation>
    </message>
    <message id="TextTitle">
        <source>TextTitle</source>
        <translation>Download URL List</translation>
    </message>
    <message id="TextPrompt">
        <source>TextPrompt</source>
        <translation>Addresses to download, one per line:</translation>
    </message>
    <message id="TextGoOn">
        <source>TextGoOn</source>
        <translation>Go on after a failed address</translation>
    </message>
    <message id="ButtonOK">
        <source>ButtonOK</source>
        <translation>OK</translation>
    </message>
    <message id="ButtonCancel">
        <source>ButtonCancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="ButtonDownloadAll">
        <source>ButtonDownloadAll</source>
        <translation>Download All…</translation>
    </message>
    <message id="PrefsTitle">
        <source>PrefsTitle</source>
        <translation>Preferences</translation>
    </message>
    <message id="PrefsBrowser">
        <source>PrefsBrowser</source>
        <translation>Web browser:</translation>
    </message>
    <message id="PrefsOutput">
        <source>PrefsOutput</source>
        <translation>Save files in:</translation>
    </message>
    <message id="PrefsChoose">
        <source>PrefsChoose</source>
        <translation>Choose…</translation>
    </message>
    <message id="PrefsCreateFolder">
        <source>PrefsCreateFolder</source>
        <translation>Create a new dated folder for each download</translation>
    </message>
    <message id="PrefsOpenFolder">
        <source>PrefsOpenFolder</source>
        <translation>Show the files when a download ends</translation>
    </message>
    <message id="PrefsNoticeSound">
        <source>PrefsNoticeSound</source>
        <translation>Play a sound when a download ends:</translation>
    </message>
    <message id="PrefsNoticeDocking">
        <source>PrefsNoticeDocking</source>
        <translation>Ask for attention when a download ends</translation>
    </message>
    <message id="PrefsMissingInRow">
        <source>PrefsMissingInRow</source>
        <translation>Missing files in a row before the series ends:</translation>
    </message>
    <message id="PrefsKeepDownloaded">
        <source>PrefsKeepDownloaded</source>
        <translation>Keep files already downloaded</translation>
    </message>
    <message id="PrefsSendReferer">
        <source>PrefsSendReferer</source>
        <translation>Send the page an address came from (Referer)</translation>
    </message>
    <message id="PrefsUseBrowserCookies">
        <source>PrefsUseBrowserCookies</source>
        <translation>Use the browser's cookies</translation>
    </message>
    <message id="CookiesNoBrowser">
        <source>CookiesNoBrowser</source>
        <translation>The Web button asks a script, which keeps no cookies: choose Firefox, Chromium or the default browser in the preferences to send a browser's cookies.</translation>
    </message>
    <message id="CookiesNoBrowserProfile">
        <source>CookiesNoBrowserProfile</source>
        <translation>No profile of %1 was found in any of the places it is installed to.</translation>
    </message>
    <message id="CookiesUnavailable">
        <source>CookiesUnavailable</source>
        <translation>No cookies are sent: %1</translation>
    </message>
    <message id="CookiesPartlyRead">
        <source>CookiesPartlyRead</source>
        <translation>Only some cookies are sent: %1</translation>
    </message>
    <message id="CookiesUnreadable">
        <source>CookiesUnreadable</source>
        <translation>Some cookies (%1) could not be read and are not sent. %2</translation>
    </message>
    <message id="CookieFileUnreadable">
        <source>CookieFileUnreadable</source>
        <translation>cannot read the cookie file %1: %2</translation>
    </message>
    <message id="ReasonCookieFileTooLarge">
        <source>ReasonCookieFileTooLarge</source>
        <translation>larger than %1 MiB</translation>
    </message>
    <message id="OptionCookiesFromBrowser">
        <source>OptionCookiesFromBrowser</source>
        <translation>Send the cookies of BROWSER (firefox, chromium or default) in this launch, whatever the preference.</translation>
    </message>
    <message id="OptionCookies">
        <source>OptionCookies</source>
        <translation>Send the cookies of FILE, a Netscape-format cookie file (as curl -b reads), read at each run.</translation>
    </message>
    <message id="OptionURLList">
        <source>OptionURLList</source>
        <translation>Download the addresses listed in FILE, one per line (- reads standard input).</translation>
    </message>
    <message id="OptionKeepGoing">
        <source>OptionKeepGoing</source>
        <translation>Go on with a list after a failed address; the exit status is 1 when any failed.</translation>
    </message>
    <message id="ResumedDownload">
        <source>ResumedDownload</source>
        <translation>%1: resumed at %2 bytes</translation>
    </message>
    <message id="ReasonHeadersTooLarge">
        <source>ReasonHeadersTooLarge</source>
        <translation>the server's response headers ran past 256 KiB</translation>
    </message>
    <message id="ReasonBadLength">
        <source>ReasonBadLength</source>
        <translation>the server gave no trustworthy length for the file</translation>
    </message>
    <message id="ReasonUnaskedRange">
        <source>ReasonUnaskedRange</source>
        <translation>the server sent part of the file that was not asked for</translation>
    </message>
    <message id="ReasonBadRange">
        <source>ReasonBadRange</source>
        <translation>the server sent another part of the file than the one asked for</translation>
    </message>
    <message id="ReasonTooLarge">
        <source>ReasonTooLarge</source>
        <translation>the page is larger than 64 MiB</translation>
    </message>
    <message id="BookmarkFilter">
        <source>BookmarkFilter</source>
        <translation>Internet Shortcut (*.url *.URL)</translation>
    </message>
    <message id="BookmarkOpenTitle">
        <source>BookmarkOpenTitle</source>
        <translation>Open Bookmark</translation>
    </message>
    <message id="BookmarkSaveTitle">
        <source>BookmarkSaveTitle</source>
        <translation>Save Bookmark</translation>
    </message>
    <message id="ChooseFolderButton">
        <source>ChooseFolderButton</source>
        <translation>Select</translation>
    </message>
    <message id="FailureBridgeMissing">
        <source>FailureBridgeMissing</source>
        <translation>The browser helper stepgrab-browser-bridge could not be started on the desktop’s session bus, so no browser can be asked. Install Stepgrab (its package or “cmake --install”), or copy the service files of a build (build/bridge/services/*.service) into ~/.local/share/dbus-1/services, then try again.</translation>
    </message>
    <message id="CookiesNoProfile">
        <source>CookiesNoProfile</source>
        <translation>The browser profile folder %1 was not found, so no cookies were read from it.</translation>
    </message>
    <message id="CookiesNoDatabase">
        <source>CookiesNoDatabase</source>
        <translation>The browser profile folder %1 holds no cookie database.</translation>
    </message>
    <message id="CookiesTooLarge">
        <source>CookiesTooLarge</source>
        <translation>the file is larger than %1 MiB</translation>
    </message>
    <message id="CookiesNotCopied">
        <source>CookiesNotCopied</source>
        <translation>The cookie database %1 could not be copied for reading: %2.</translation>
    </message>
    <message id="CookiesNotRead">
        <source>CookiesNotRead</source>
        <translation>The cookie database %1 could not be read: %2.</translation>
    </message>
    <message id="CookiesNotSessionStore">
        <source>CookiesNotSessionStore</source>
        <translation>The session store %1 could not be read.</translation>
    </message>
    <message id="CookiesNoKeyringItem">
        <source>CookiesNoKeyringItem</source>
        <translation>the desktop's keyring holds no password for %1</translation>
    </message>
    <message id="CookiesNotDecrypted">
        <source>CookiesNotDecrypted</source>
        <translation>%1 cookies of %2 could not be decrypted and were left out.</translation>
    </message>
    <message id="CookiesNoKeyring">
        <source>CookiesNoKeyring</source>
        <translation>%1 cookies could not be decrypted and were left out: their key is kept in the desktop's keyring for %2, which could not be read (%3).</translation>
    </message>
</context>
</TS>
