<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!--
  Stepgrab, Japanese texts (ID-based: each id is looked up with qtTrId()).

  Download log layout: each event is a line of its own. "StartedDownload",
  "CreateNewFolder" (only when a dated folder was made), one line per file,
  then an empty line and "FinishedDownload"; a file put in place while the
  run stops gets its line after that. The program ends every line itself,
  so no text holds a line break. %1 stands for the file name in the three
  file-line texts. A run thus reads:
    ダウンロードを開始しました。
    pic012.jpg をダウンロードしました
    pic013.jpg をダウンロードしました
    pic014.jpg はサーバ上に見つかりませんでした

    ダウンロードを終了しました。
-->
<TS version="2.1" language="ja_JP">
<context>
    <name>Stepgrab</name>
    <message id="StartedDownload">
        <source>StartedDownload</source>
        <translation>ダウンロードを開始しました。</translation>
    </message>
    <message id="CreateNewFolder">
        <source>CreateNewFolder</source>
        <translation>今回のダウンロード用に新しいフォルダを作成しました。</translation>
    </message>
    <message id="ContinueSeriesAt">
        <source>ContinueSeriesAt</source>
        <translation>%2 の続きとして %1 から始めます</translation>
    </message>
    <message id="ContinueSeriesNone">
        <source>ContinueSeriesNone</source>
        <translation>%2 にこの連番のファイルがないため、%1 から始めます</translation>
    </message>
    <message id="DownloadComleted">
        <source>DownloadComleted</source>
        <translation>%1 をダウンロードしました</translation>
    </message>
    <message id="AlreadyHere">
        <source>AlreadyHere</source>
        <translation>%1 はすでにあります</translation>
    </message>
    <message id="FailureDownload">
        <source>FailureDownload</source>
        <translation>%1 をダウンロードできませんでした</translation>
    </message>
    <message id="CantFound">
        <source>CantFound</source>
        <translation>%1 はサーバ上に見つかりませんでした</translation>
    </message>
    <message id="MissingGoOn">
        <source>MissingGoOn</source>
        <translation>%1 がありません。続きを探します</translation>
    </message>
    <message id="SeriesEnded">
        <source>SeriesEnded</source>
        <translation>%1 の後、%2 個続けてファイルがありません。シリーズはここまでです</translation>
    </message>
    <message id="ReasonPermissionDenied">
        <source>ReasonPermissionDenied</source>
        <translation>アクセスが拒否されました</translation>
    </message>
    <message id="ReasonDiskFull">
        <source>ReasonDiskFull</source>
        <translation>ディスクがいっぱいです</translation>
    </message>
    <message id="ReasonFolderMissing">
        <source>ReasonFolderMissing</source>
        <translation>フォルダがありません</translation>
    </message>
    <message id="ReasonNameTooLong">
        <source>ReasonNameTooLong</source>
        <translation>ファイル名が長すぎます</translation>
    </message>
    <message id="ReasonBadAddress">
        <source>ReasonBadAddress</source>
        <translation>このアドレスは取得できません</translation>
    </message>
    <message id="ReasonNoFolder">
        <source>ReasonNoFolder</source>
        <translation>保存先のフォルダがありません</translation>
    </message>
    <message id="ReasonNameEmpty">
        <source>ReasonNameEmpty</source>
        <translation>アドレスにファイル名がありません</translation>
    </message>
    <message id="ReasonServerOnly">
        <source>ReasonServerOnly</source>
        <translation>アドレスにサーバ名しかなく、ファイルを指していません</translation>
    </message>
    <message id="ReasonNameUnsafe">
        <source>ReasonNameUnsafe</source>
        <translation>このファイル名はフォルダで使えません</translation>
    </message>
    <message id="ReasonFolderRefused">
        <source>ReasonFolderRefused</source>
        <translation>フォルダの名前がリンク、ファイル、またはほかのユーザのフォルダに使われています</translation>
    </message>
    <message id="RetryDownload">
        <source>RetryDownload</source>
        <translation>%1 はまだダウンロードできません: %2。</translation>
    </message>
    <message id="RetryWait">
        <source>RetryWait</source>
        <translation>%1 秒後にもう一度試します (再試行 %2 回目)</translation>
    </message>
    <message id="RenamedDownload">
        <source>RenamedDownload</source>
        <translation>%1 はこの実行で既に使われています。%2 として保存します</translation>
    </message>
    <message id="ListFailures">
        <source>ListFailures</source>
        <translation>%2 件のアドレスのうち %1 件が失敗しました</translation>
    </message>
    <message id="FinishedDownload">
        <source>FinishedDownload</source>
        <translation>ダウンロードを終了しました。</translation>
    </message>
    <message id="Warning">
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message id="InvalidURLInfo">
        <source>InvalidURLInfo</source>
        <translation>このアドレスは使用できません。http://host/dir/pic012.jpg のように「http://」または「https://」を含むアドレスを入力してください。</translation>
    </message>
    <message id="FailureGrabURL">
        <source>FailureGrabURL</source>
        <translation>Webブラウザから使用できるアドレスを取得できませんでした。ブラウザが起動していて、「http://」または「https://」で始まるアドレスのページを表示しているか確認してください。</translation>
    </message>
    <message id="FailureBookmarkEncoding">
        <source>FailureBookmarkEncoding</source>
        <translation>このアドレスはブックマークファイルに保存できません。ブックマークファイルに書き込めない文字（Shift JIS 以外の文字）が含まれています。その文字を取り除いてから、もう一度保存してください。</translation>
    </message>
    <message id="FailurePasteURL">
        <source>FailurePasteURL</source>
        <translation>クリップボードに使用できるアドレスがありません。「http://」または「https://」を含むアドレスをコピーしてから、もう一度試してください。</translation>
    </message>
    <message id="FailureGrabText">
        <source>FailureGrabText</source>
        <translation>アドレスリストが空です。ダウンロードするアドレスを1行に1つずつ入力するか、貼り付けてください。</translation>
    </message>
    <message id="StopButtonTips">
        <source>StopButtonTips</source>
        <translation>実行中のダウンロードを停止します。</translation>
    </message>
    <message id="StartButtonTips">
        <source>StartButtonTips</source>
        <translation>現在のファイルから番号を1つずつ増やしながら、連番ファイルのダウンロードを開始します。</translation>
    </message>
    <message id="WebButtonTips">
        <source>WebButtonTips</source>
        <translation>Webブラウザで表示中のページのアドレスを取り込みます。</translation>
    </message>
    <message id="ClipButtonTips">
        <source>ClipButtonTips</source>
        <translation>クリップボードからアドレスを取り込みます。</translation>
    </message>
    <message id="LogButtonTips">
        <source>LogButtonTips</source>
        <translation>ダウンロードログを表示または非表示にします。</translation>
    </message>
    <message id="ResetButtonTips">
        <source>ResetButtonTips</source>
        <translation>アドレス欄、ログ、ファイル数をクリアします。</translation>
    </message>
    <message id="InitButtonTips">
        <source>InitButtonTips</source>
        <translation>番号を最初の値に戻し、ファイル数を 0 にします。</translation>
    </message>
    <message id="Bookmark Open">
        <source>Bookmark Open</source>
        <translation>ブックマークを開く</translation>
    </message>
    <message id="Bookmark Save">
        <source>Bookmark Save</source>
        <translation>ブックマークを保存</translation>
    </message>
    <message id="LabelLocation">
        <source>LabelLocation</source>
        <translation>場所</translation>
    </message>
    <message id="LabelFileName">
        <source>LabelFileName</source>
        <translation>ファイル名</translation>
    </message>
    <message id="LabelNumber">
        <source>LabelNumber</source>
        <translation>番号</translation>
    </message>
    <message id="LabelExtension">
        <source>LabelExtension</source>
        <translation>拡張子</translation>
    </message>
    <message id="LabelCounter">
        <source>LabelCounter</source>
        <translation>ファイル数</translation>
    </message>
    <message id="ProgressKnown">
        <source>ProgressKnown</source>
        <translation>%1 — %2 / %3、%4/秒、残り %5</translation>
    </message>
    <message id="ProgressStarting">
        <source>ProgressStarting</source>
        <translation>%1 — %2 / %3</translation>
    </message>
    <message id="ProgressStalled">
        <source>ProgressStalled</source>
        <translation>%1 — %2 / %3、停止中</translation>
    </message>
    <message id="ProgressBytes">
        <source>ProgressBytes</source>
        <translation>%1 — %2</translation>
    </message>
    <message id="ProgressBytesSpeed">
        <source>ProgressBytesSpeed</source>
        <translation>%1 — %2、%3/秒</translation>
    </message>
    <message id="DurationSeconds">
        <source>DurationSeconds</source>
        <translation>%1 秒</translation>
    </message>
    <message id="DurationMinutes">
        <source>DurationMinutes</source>
        <translation>%1 分 %2 秒</translation>
    </message>
    <message id="DurationHours">
        <source>DurationHours</source>
        <translation>%1 時間 %2 分</translation>
    </message>
    <message id="ButtonStart">
        <source>ButtonStart</source>
        <translation>開始</translation>
    </message>
    <message id="ButtonStop">
        <source>ButtonStop</source>
        <translation>停止</translation>
    </message>
    <message id="ButtonWeb">
        <source>ButtonWeb</source>
        <translation>Web</translation>
    </message>
    <message id="ButtonClip">
        <source>ButtonClip</source>
        <translation>クリップ</translation>
    </message>
    <message id="ButtonLog">
        <source>ButtonLog</source>
        <translation>ログ</translation>
    </message>
    <message id="ButtonReset">
        <source>ButtonReset</source>
        <translation>リセット</translation>
    </message>
    <message id="ButtonInit">
        <source>ButtonInit</source>
        <translation>初期化</translation>
    </message>
    <message id="MenuFile">
        <source>MenuFile</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message id="MenuEdit">
        <source>MenuEdit</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message id="MenuDownload">
        <source>MenuDownload</source>
        <translation>ダウンロード(&amp;D)</translation>
    </message>
    <message id="MenuWindow">
        <source>MenuWindow</source>
        <translation>ウインドウ(&amp;W)</translation>
    </message>
    <message id="MenuHelp">
        <source>MenuHelp</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message id="MenuOpenDownload">
        <source>MenuOpenDownload</source>
        <translation>ダウンロードしたファイル</translation>
    </message>
    <message id="MenuOpenAll">
        <source>MenuOpenAll</source>
        <translation>すべてのファイルを開く</translation>
    </message>
    <message id="MenuRevealFolder">
        <source>MenuRevealFolder</source>
        <translation>ダウンロードフォルダを表示</translation>
    </message>
    <message id="MenuQuit">
        <source>MenuQuit</source>
        <translation>終了(&amp;Q)</translation>
    </message>
    <message id="MenuPreferences">
        <source>MenuPreferences</source>
        <translation>環境設定…</translation>
    </message>
    <message id="MenuStart">
        <source>MenuStart</source>
        <translation>ダウンロードを開始</translation>
    </message>
    <message id="MenuStop">
        <source>MenuStop</source>
        <translation>ダウンロードを停止</translation>
    </message>
    <message id="MenuContinueSeries">
        <source>MenuContinueSeries</source>
        <translation>続きからダウンロード</translation>
    </message>
    <message id="MenuGetFromWeb">
        <source>MenuGetFromWeb</source>
        <translation>Webブラウザからアドレスを取得</translation>
    </message>
    <message id="MenuGetFromClip">
        <source>MenuGetFromClip</source>
        <translation>クリップボードからアドレスを取得</translation>
    </message>
    <message id="MenuShowLog">
        <source>MenuShowLog</source>
        <translation>ログの表示/非表示</translation>
    </message>
    <message id="MenuDefaultPosition">
        <source>MenuDefaultPosition</source>
        <translation>初期位置に移動</translation>
    </message>
    <message id="MenuAbout">
        <source>MenuAbout</source>
        <translation>Stepgrab について</translation>
    </message>
    <message id="MenuSaveBookmark">
        <source>MenuSaveBookmark</source>
        <translation>アドレスをブックマークとして保存…</translation>
    </message>
    <message id="MenuOpenBookmark">
        <source>MenuOpenBookmark</source>
        <translation>ブックマークを開く…</translation>
    </message>
    <message id="MenuCopyAddress">
        <source>MenuCopyAddress</source>
        <translation>完全なアドレスをコピー</translation>
    </message>
    <message id="MenuURLList">
        <source>MenuURLList</source>
        <translation>アドレスリストをダウンロード…</translation>
    </message>
    <message id="MenuSearchAll">
        <source>MenuSearchAll</source>
        <translation>すべてのリンクを検索</translation>
    </message>
    <message id="MenuSearchArchives">
        <source>MenuSearchArchives</source>
        <translation>アーカイブへのリンクを検索</translation>
    </message>
    <message id="MenuSearchMovies">
        <source>MenuSearchMovies</source>
        <translation>動画へのリンクを検索</translation>
    </message>
    <message id="MenuSearchImages">
        <source>MenuSearchImages</source>
        <translation>画像へのリンクを検索</translation>
    </message>
    <message id="DropBoxTips">
        <source>DropBoxTips</source>
        <translation>.url ブックマークをここにドロップ</translation>
    </message>
    <message id="CommandLineDescription">
        <source>CommandLineDescription</source>
        <translation>1つのアドレスから番号を数え上げて、連番ファイルをダウンロードします。</translation>
    </message>
    <message id="OptionStart">
        <source>OptionStart</source>
        <translation>アドレスが入力されたらダウンロードを開始します。</translation>
    </message>
    <message id="OptionQuitWhenDone">
        <source>OptionQuitWhenDone</source>
        <translation>ダウンロードが終わったら終了します。失敗で終わった場合の終了ステータスは 1 です。</translation>
    </message>
    <message id="OptionLog">
        <source>OptionLog</source>
        <translation>ダウンロードログを標準出力にも書き出します。</translation>
    </message>
    <message id="OptionOutput">
        <source>OptionOutput</source>
        <translation>今回の起動に限り DIR に書き込みます。</translation>
    </message>
    <message id="ArgumentAddress">
        <source>ArgumentAddress</source>
        <translation>http://host/dir/pic012.jpg のような番号付きアドレス</translation>
    </message>
    <message id="UnknownOption">
        <source>UnknownOption</source>
        <translation>不明なオプション: %1</translation>
    </message>
    <message id="AboutText">
        <source>AboutText</source>
        <translation>Stepgrab %1 — 連番ファイルをダウンロードします。</translation>
    </message>
    <!-- 取得に失敗した理由。ログではファイル名の後に続きます。 -->
    <message id="ReasonConnectionRefused">
        <source>ReasonConnectionRefused</source>
        <translation>接続を拒否されました</translation>
    </message>
    <message id="ReasonConnectionReset">
        <source>ReasonConnectionReset</source>
        <translation>接続が途中で切れました</translation>
    </message>
    <message id="ReasonNoDataFor">
        <source>ReasonNoDataFor</source>
        <translation>%1 秒間データが届きませんでした</translation>
    </message>
    <message id="ReasonTooSlow">
        <source>ReasonTooSlow</source>
        <translation>転送速度が %2 秒間 %1 KiB/s を下回りました</translation>
    </message>
    <message id="ReasonServerError">
        <source>ReasonServerError</source>
        <translation>サーバーエラー %1</translation>
    </message>
    <message id="ReasonRequestTimeout">
        <source>ReasonRequestTimeout</source>
        <translation>サーバーがリクエストの待ち時間切れを返しました (408)</translation>
    </message>
    <message id="ReasonTooManyRequests">
        <source>ReasonTooManyRequests</source>
        <translation>サーバーが混み合っています: リクエストが多すぎます (429)</translation>
    </message>
    <message id="ReasonAfterRetries">
        <source>ReasonAfterRetries</source>
        <translation>%1 (%2 回再試行しました)</translation>
    </message>
    <message id="ReasonAuthentication">
        <source>ReasonAuthentication</source>
        <translation>認証が必要です</translation>
    </message>
    <message id="ReasonMissing">
        <source>ReasonMissing</source>
        <translation>サーバーにファイルがありません (%1)</translation>
    </message>
    <message id="ReasonNoData">
        <source>ReasonNoData</source>
        <translation>データが届きませんでした</translation>
    </message>
    <message id="ReasonHtmlPage">
        <source>ReasonHtmlPage</source>
        <translation>ファイルの代わりにウェブページが届きました</translation>
    </message>
    <message id="ReasonRedirectNoTarget">
        <source>ReasonRedirectNoTarget</source>
        <translation>転送先のないリダイレクトです</translation>
    </message>
    <message id="ReasonUnaskedNotModified">
        <source>ReasonUnaskedNotModified</source>
        <translation>条件を付けていない要求にサーバーが 304 Not Modified と答えました</translation>
    </message>
    <message id="ReasonTooManyRedirects">
        <source>ReasonTooManyRedirects</source>
        <translation>リダイレクトが多すぎます</translation>
    </message>
    <message id="ReasonRedirectRefused">
        <source>ReasonRedirectRefused</source>
        <translation>%1 へのリダイレクトは受け付けません</translation>
    </message>
    <message id="ReasonHostNotFound">
        <source>ReasonHostNotFound</source>
        <translation>ホスト %1 が見つかりません</translation>
    </message>
    <message id="ReasonNetwork">
        <source>ReasonNetwork</source>
        <translation>ネットワークエラー: %1</translation>
    </message>
    <message id="ReasonStopped">
        <source>ReasonStopped</source>
        <translation>中止しました</translation>
    </message>
    <message id="EntranceTitle">
        <source>EntranceTitle</source>
        <translation>ページのリンク</translation>
    </message>
    <message id="ButtonOpen">
        <source>ButtonOpen</source>
        <translation>開く</translation>
    </message>
    <message id="ButtonClose">
        <source>ButtonClose</source>
        <translation>閉じる</translation>
    </message>
    <message id="BrowserDefault">
        <source>BrowserDefault</source>
        <translation>既定の Web ブラウザ</translation>
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
        <translation>スクリプト (Safari_Get_URL.txt)</translation>
    </message>
    <message id="TextTitle">
        <source>TextTitle</source>
        <translation>URL リストのダウンロード</translation>
    </message>
    <message id="TextPrompt">
        <source>TextPrompt</source>
        <translation>ダウンロードするアドレス (1 行に 1 つ):</translation>
    </message>
    <message id="TextGoOn">
        <source>TextGoOn</source>
        <translation>失敗したアドレスがあっても続ける</translation>
    </message>
    <message id="ButtonOK">
        <source>ButtonOK</source>
        <translation>OK</translation>
    </message>
    <message id="ButtonCancel">
        <source>ButtonCancel</source>
        <translation>キャンセル</translation>
    </message>
    <message id="ButtonDownloadAll">
        <source>ButtonDownloadAll</source>
        <translation>すべてダウンロード…</translation>
    </message>
    <message id="PrefsTitle">
        <source>PrefsTitle</source>
        <translation>環境設定</translation>
    </message>
    <message id="PrefsBrowser">
        <source>PrefsBrowser</source>
        <translation>Web ブラウザ:</translation>
    </message>
    <message id="PrefsOutput">
        <source>PrefsOutput</source>
        <translation>保存先:</translation>
    </message>
    <message id="PrefsChoose">
        <source>PrefsChoose</source>
        <translation>選択…</translation>
    </message>
    <message id="PrefsCreateFolder">
        <source>PrefsCreateFolder</source>
        <translation>ダウンロードごとに日付のフォルダを作る</translation>
    </message>
    <message id="PrefsOpenFolder">
        <source>PrefsOpenFolder</source>
        <translation>終了時にファイルを表示する</translation>
    </message>
    <message id="PrefsNoticeSound">
        <source>PrefsNoticeSound</source>
        <translation>終了時にサウンドを鳴らす:</translation>
    </message>
    <message id="PrefsNoticeDocking">
        <source>PrefsNoticeDocking</source>
        <translation>終了時に通知する</translation>
    </message>
    <message id="PrefsMissingInRow">
        <source>PrefsMissingInRow</source>
        <translation>連番の終わりとみなすまでに許す連続した欠番の数:</translation>
    </message>
    <message id="PrefsKeepDownloaded">
        <source>PrefsKeepDownloaded</source>
        <translation>ダウンロード済みのファイルを残す</translation>
    </message>
    <message id="PrefsSendReferer">
        <source>PrefsSendReferer</source>
        <translation>リンク元のページを送信する (Referer)</translation>
    </message>
    <message id="PrefsUseBrowserCookies">
        <source>PrefsUseBrowserCookies</source>
        <translation>ブラウザの Cookie を使う</translation>
    </message>
    <message id="CookiesNoBrowser">
        <source>CookiesNoBrowser</source>
        <translation>Web ボタンはスクリプトに問い合わせる設定のため、Cookie はありません。ブラウザの Cookie を送るには、環境設定で Firefox、Chromium またはデフォルトのブラウザを選んでください。</translation>
    </message>
    <message id="CookiesNoBrowserProfile">
        <source>CookiesNoBrowserProfile</source>
        <translation>%1 のプロファイルが、インストール先のどこにも見つかりません。</translation>
    </message>
    <message id="CookiesUnavailable">
        <source>CookiesUnavailable</source>
        <translation>Cookie は送信されません: %1</translation>
    </message>
    <message id="CookiesPartlyRead">
        <source>CookiesPartlyRead</source>
        <translation>一部の Cookie だけを送信します: %1</translation>
    </message>
    <message id="CookiesUnreadable">
        <source>CookiesUnreadable</source>
        <translation>一部の Cookie (%1 件) を読み取れなかったため、送信しません。%2</translation>
    </message>
    <message id="CookieFileUnreadable">
        <source>CookieFileUnreadable</source>
        <translation>Cookie ファイル %1 を読み込めません: %2</translation>
    </message>
    <message id="ReasonCookieFileTooLarge">
        <source>ReasonCookieFileTooLarge</source>
        <translation>%1 MiB を超えています</translation>
    </message>
    <message id="OptionCookiesFromBrowser">
        <source>OptionCookiesFromBrowser</source>
        <translation>この起動では、環境設定にかかわらず BROWSER (firefox、chromium、default のいずれか) の Cookie を送信します。</translation>
    </message>
    <message id="OptionCookies">
        <source>OptionCookies</source>
        <translation>FILE (Netscape 形式の Cookie ファイル、curl -b が読む形式) の Cookie を送信します。実行のたびに読み込みます。</translation>
    </message>
    <message id="OptionURLList">
        <source>OptionURLList</source>
        <translation>FILE に 1 行に 1 つずつ書かれたアドレスをダウンロードする (- は標準入力)。</translation>
    </message>
    <message id="OptionKeepGoing">
        <source>OptionKeepGoing</source>
        <translation>リストのアドレスが失敗しても続けます。失敗が 1 件でもあれば終了ステータスは 1 になります。</translation>
    </message>
    <message id="ResumedDownload">
        <source>ResumedDownload</source>
        <translation>%1: %2 バイト目から再開しました</translation>
    </message>
    <message id="ReasonHeadersTooLarge">
        <source>ReasonHeadersTooLarge</source>
        <translation>サーバーの応答ヘッダーが 256 KiB を超えました</translation>
    </message>
    <message id="ReasonBadLength">
        <source>ReasonBadLength</source>
        <translation>サーバーが示したファイルの長さが信頼できません</translation>
    </message>
    <message id="ReasonUnaskedRange">
        <source>ReasonUnaskedRange</source>
        <translation>頼んでいないファイルの一部をサーバーが送ってきました</translation>
    </message>
    <message id="ReasonBadRange">
        <source>ReasonBadRange</source>
        <translation>頼んだのとは違うファイルの部分をサーバーが送ってきました</translation>
    </message>
    <message id="ReasonTooLarge">
        <source>ReasonTooLarge</source>
        <translation>ページが 64 MiB を超えています</translation>
    </message>
    <message id="BookmarkFilter">
        <source>BookmarkFilter</source>
        <translation>インターネットショートカット (*.url *.URL)</translation>
    </message>
    <message id="BookmarkOpenTitle">
        <source>BookmarkOpenTitle</source>
        <translation>ブックマークを開く</translation>
    </message>
    <message id="BookmarkSaveTitle">
        <source>BookmarkSaveTitle</source>
        <translation>ブックマークを保存</translation>
    </message>
    <message id="ChooseFolderButton">
        <source>ChooseFolderButton</source>
        <translation>選択</translation>
    </message>
    <message id="FailureBridgeMissing">
        <source>FailureBridgeMissing</source>
        <translation>ブラウザ補助プログラム stepgrab-browser-bridge をデスクトップのセッションバス上で起動できなかったため、ブラウザに問い合わせられません。Stepgrab をインストールする(パッケージまたは「cmake --install」)か、ビルドのサービスファイル(build/bridge/services/*.service)を ~/.local/share/dbus-1/services にコピーしてから、もう一度試してください。</translation>
    </message>
    <message id="CookiesNoProfile">
        <source>CookiesNoProfile</source>
        <translation>ブラウザのプロファイルフォルダ %1 が見つからないため、Cookie を読み込めませんでした。</translation>
    </message>
    <message id="CookiesNoDatabase">
        <source>CookiesNoDatabase</source>
        <translation>ブラウザのプロファイルフォルダ %1 に Cookie データベースがありません。</translation>
    </message>
    <message id="CookiesTooLarge">
        <source>CookiesTooLarge</source>
        <translation>ファイルが %1 MiB を超えています</translation>
    </message>
    <message id="CookiesNotCopied">
        <source>CookiesNotCopied</source>
        <translation>Cookie データベース %1 を読み込み用にコピーできませんでした: %2。</translation>
    </message>
    <message id="CookiesNotRead">
        <source>CookiesNotRead</source>
        <translation>Cookie データベース %1 を読み込めませんでした: %2。</translation>
    </message>
    <message id="CookiesNotSessionStore">
        <source>CookiesNotSessionStore</source>
        <translation>セッションストア %1 を読み込めませんでした。</translation>
    </message>
    <message id="CookiesNoKeyringItem">
        <source>CookiesNoKeyringItem</source>
        <translation>デスクトップのキーリングに %1 のパスワードがありません</translation>
    </message>
    <message id="CookiesNotDecrypted">
        <source>CookiesNotDecrypted</source>
        <translation>%2 の Cookie のうち %1 件を復号できなかったため、除外しました。</translation>
    </message>
    <message id="CookiesNoKeyring">
        <source>CookiesNoKeyring</source>
        <translation>%1 件の Cookie を復号できなかったため、除外しました。その鍵はデスクトップのキーリングに %2 用として保存されていますが、読み出せませんでした(%3)。</translation>
    </message>
</context>
</TS>
