#include "fixtureserver.h"
#include "linksearch/pagefetcher.h"
#include "support/busbridge.h"
#include "support/files.h"
#include "support/freeport.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/table.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

// The user's own query script, the saved page copy and the test bridge's windows live here.
static const QTemporaryDir kData;
static const bool kDataIsolated = qputenv("XDG_DATA_HOME", kData.path().toLocal8Bit());

// Browser 0 answers with the windows the 'MSIE' test bridge, started by the bus on demand,
// reports (one address a line); the others run the user's own query script, preferred to the
// shipped one (none: it is removed).
static void answer(int browser, const QString& text)
{
    const QString file =
        kData.path() + (browser ? u"/Stepgrab/Safari_Get_URL.txt"_s : u"/windows.txt"_s);
    QVERIFY(text.isEmpty() ? !QFile::exists(file) || QFile::remove(file)
                           : writeFile(file, text.toUtf8()));
    QVERIFY(browser || setActivationEnvironment(u"STEPGRAB_TEST_WINDOWS"_s, file));
}

static QString echo(const QString& address)
{
    return u"printf '%s\\n' '"_s + address + u"'\n"_s;
}

class TestWeb : public QObject
{
    Q_OBJECT
    FixtureServer server;
    QByteArray gallery;
private slots:
    void initTestCase()
    {
        gallery = fileBytes(QFINDTESTDATA("data/web/gallery.html"));
        for (const char* page : {"/gallery/index.html", "/gallery/page01.html"})
            server.addFile(QLatin1String(page), gallery, 200, "text/html");
        server.addFile(u"/gone.html"_s, "<html>gone</html>", 404, "text/html");
        server.addLarge(u"/movie.html"_s, PageFetcher::kLargestPage + 1);
        server.addStall(u"/stall.html"_s, 10);
    }
    void cleanupTestCase() { endActivatedBridge(u"org.stepgrab.Process.T4150504C.C4D534945"_s); }

    // The web action and the link-search fetch: the fields (or base address) after, any alert.
    void fetch_data()
    {
        // script: what answer() takes; alert: its text, empty for none
        columns<int, QString, QString, QString>("browser", "script", "result", "alert");
        const QString kept = u"http://old/dir|pic|007|png"_s, no = u"unchanged"_s;
        const auto row = [](const char* name, int browser, const QString& script,
                            const QString& result, const char* alert = "") {
            QTest::newRow(name) << browser << script << result << QString::fromLatin1(alert);
        };
        const char* noAddress = "FailureGrabURL";
        const auto at = [this](const char* path) { return echo(server.baseUrl() + path); };
        row("script exits 1: kept", 3, echo(u"http://h/a1.jpg"_s) + u"exit 1\n"_s, kept, noAddress);
        row("event: the first of two windows", 0, u"http://h/d/a01.jpg\nhttp://h/d/b02.jpg\n"_s,
            u"http://h/d|a|01|jpg"_s);
        // No service file for Chromium's bridge on this bus: it cannot be started at all.
        row("event: no bridge to start", 2, {}, kept, "FailureBridgeMissing");
        row("search: page", 3, at("/gallery/index.html"), server.baseUrl() + u"/gallery"_s);
        row("search: not found", 3, at("/gone.html"), no, noAddress);
        row("search: larger than a page", 3, at("/movie.html"), no, noAddress);
        row("search: never ends", 3, at("/stall.html"), no, noAddress);
        row("search: no bridge to start", 2, {}, no, "FailureBridgeMissing");
    }
    void fetch()
    {
        QFETCH(int, browser);
        QFETCH(QString, script);
        QFETCH(QString, result);
        answer(browser, script);
        Window w;
        w.controller.mWebBrowser = WebBrowser(browser);
        if (!QByteArrayView(QTest::currentDataTag()).startsWith("search")) {
            w.controller.acceptAddress(u"http://old/dir/pic007.png"_s, nullptr);
            w.controller.obtaion_from_web();
            QTRY_VERIFY(!w.controller.isQueryPending());
            QCOMPARE(w.fields().join(u'|'), result);
            QTEST(w.alert(), "alert");
            return;
        }
        w.controller.setPageFetchTimeout(1000);
        QFile::remove(w.controller.savedPagePath());
        w.get(u"mEntrance_url"_s)->setText(u"unchanged"_s);
        // The window goes on painting while the page comes: the event loop keeps turning.
        QTimer ticker;
        QSignalSpy turns(&ticker, &QTimer::timeout);
        ticker.start(10);
        std::optional<bool> answer;
        w.controller.getCurrentURLForSearch([&answer](bool ok) { answer = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), 15000);
        const bool saved = result != "unchanged"_L1;
        QCOMPARE(*answer, saved);
        QCOMPARE(w.get(u"mEntrance_url"_s)->text(), result);
        QTEST(w.alert(), "alert");
        QVERIFY2(turns.size() > 20 || QTest::currentDataTag() != "search: never ends"_L1,
                 qPrintable(u"the loop turned %1 times"_s.arg(turns.size())));
        QCOMPARE(fileBytes(w.controller.savedPagePath()), saved ? gallery : "<none>");
    }

    // Chromium shows a page; the bridge reads it from the debugging endpoint for the Web button,
    // and once Chromium is gone, finds no browser running.
    void realChromium()
    {
        const QString chromium = QStandardPaths::findExecutable(u"chromium"_s);
        if (chromium.isEmpty())
            QSKIP("Debian's chromium is not installed (scripts/deps installs it)");
        const QString port = QString::number(freeLocalPort());
        QTemporaryDir profile;
        const QString page = server.baseUrl() + u"/gallery/page01.html"_s;
        Group browser;
        QVERIFY(browser.start(chromium, {u"--headless"_s, u"--no-sandbox"_s, u"--disable-gpu"_s,
                                         u"--no-first-run"_s, u"--remote-debugging-port="_s + port,
                                         u"--user-data-dir="_s + profile.path(), page}));
        const auto frontPage = [&port] { // once Chromium shows the page
            QProcess ask;
            ask.start(
                QStringLiteral(STEPGRAB_BRIDGE),
                {u"--creator"_s, u"iCAB"_s, u"--devtools-port"_s, port, u"--print-front-url"_s});
            ask.waitForFinished(5000);
            return QString::fromUtf8(ask.readAllStandardOutput()).trimmed();
        };
        QTRY_COMPARE_WITH_TIMEOUT(frontPage(), page, 30000);
        Group bridge;
        QVERIFY(bridge.start(QStringLiteral(STEPGRAB_BRIDGE),
                             {u"--creator"_s, u"iCAB"_s, u"--devtools-port"_s, port}));
        QTRY_VERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(
            u"org.stepgrab.Process.T4150504C.C69434142"_s));
        Window w;
        w.controller.mWebBrowser = WebBrowser::Chromium;
        w.controller.obtaion_from_web();
        QTRY_VERIFY(!w.controller.isQueryPending());
        QCOMPARE(w.fields().join(u'|'), server.baseUrl() + u"/gallery|page|01|html"_s);
        QVERIFY(w.alert().isEmpty());
        browser.stop();
        w.controller.obtaion_from_web();
        QTRY_VERIFY(!w.controller.isQueryPending());
        QCOMPARE(w.alert(), u"FailureGrabURL"_s);
    }

    // The All sheet: first row selected; a double-click opens, keeps it up; Close ends it, copy
    // too.
    void searchSheet()
    {
        answer(0, server.baseUrl() + u"/gallery/index.html\n"_s);
        Window w;
        auto* sheet = w.get<QDialog>(u"EntranceSheet"_s);
        auto* table = sheet->findChild<QTableView*>(u"mEntrance_table"_s);
        w.get<QAction>(u"actionSearchAll"_s)->trigger();
        QTRY_VERIFY(sheet->isVisible() && table->selectionModel()->isRowSelected(0));
        table->selectRow(4), emit table->doubleClicked(table->model()->index(4, 0));
        QCOMPARE(w.calls, QStringList{"url " + server.baseUrl() + "/index.html"});
        QVERIFY(sheet->isVisible() && QFile::exists(w.controller.savedPagePath()));
        sheet->findChild<QPushButton*>(u"mEntrance_close"_s)->click();
        QVERIFY(!sheet->isVisible() && !QFile::exists(w.controller.savedPagePath()));
    }

    // The image search's Download All and the URL-list sheet's OK, into the folder byte for byte.
    void downloadAll()
    {
        const QString page = server.baseUrl() + u"/site/gallery/index.html"_s;
        // Pictures linked every way a page links them, one of them twice; %1: the server.
        const QString pictures = fileBytes(QFINDTESTDATA("data/web/pictures.html"));
        server.addFile(QUrl(page).path(), pictures.arg(server.baseUrl()).toUtf8(), 200,
                       "text/html");
        QStringList addresses, files;
        for (const QString& path : {u"/site/gallery/pic001.jpg"_s, u"/img/top.PNG"_s,
                                    u"/site/shared/up.jpeg"_s, u"/far/away.gif"_s})
            files << QFileInfo(path).fileName(), addresses << server.baseUrl() + path,
                server.addFile(path, FixtureServer::seriesBody(files.last(), 3000), 200,
                               "image/jpeg");
        answer(0, page + u'\n');
        RunWindow w;
        auto* entrance = w.get<QDialog>(u"EntranceSheet"_s);
        w.get<QAction>(u"actionSearchImages"_s)->trigger();
        QTRY_VERIFY(entrance->isVisible());
        entrance->findChild<QPushButton*>(u"mEntrance_all"_s)->click();
        QTRY_VERIFY(w.textSheet()->isVisible());
        QVERIFY(!entrance->isVisible() && !QFile::exists(w.controller.savedPagePath()));
        QCOMPARE(w.listText()->toPlainText(), addresses.join(u'\n'));
        w.textSheet()->findChild<QPushButton*>(u"mText_ok"_s)->click();
        QCOMPARE(w.controller.linkList(), addresses);
        QTRY_VERIFY_WITH_TIMEOUT(!w.controller.isRunning(), 20000);
        files.sort();
        QCOMPARE(seriesFilesBelow(w.output.path(), 3000), files);
        // Every picture was asked for from the searched page, the page itself from none.
        QStringList referers;
        for (const QString& address : std::as_const(addresses))
            referers << server.headerValues(QUrl(address).path(), "Referer").join(' ');
        QCOMPARE(referers, QStringList(addresses.size(), page));
        QCOMPARE(server.headerValues(QUrl(page).path(), "Referer"), QList<QByteArray>{""});
    }

    // A count-up run from the browser's page sends it with every file; an address from
    // elsewhere, or the preference off, sends none.
    void webReferer_data()
    {
        columns<QString, bool>("then", "sent"); // then: after the web action
        QTest::newRow("the browser's page") << QString() << true;
        QTest::newRow("typed over it") << u"type"_s << false;
        QTest::newRow("location edited by hand") << u"edit"_s << false;
        QTest::newRow("preference off") << u"off"_s << false;
    }
    void webReferer()
    {
        QFETCH(QString, then);
        QFETCH(bool, sent);
        FixtureServer series;
        series.addSeries(u"/s"_s, u"p"_s, 1, 3, 3, u"jpg"_s, FixtureServer::End::NotFound404Binary,
                         3000);
        const QString shown = series.baseUrl() + u"/s/p001.jpg"_s;
        answer(0, shown + u'\n');
        RunWindow w;
        w.controller.mWebBrowser = WebBrowser::Default;
        w.controller.obtaion_from_web();
        QTRY_VERIFY(!w.controller.isQueryPending());
        QLineEdit* location = w.get(u"mLocation"_s);
        if (then == u"type")
            location->setText(shown), w.controller.enter_location();
        if (then == u"edit")
            QTest::keyClick(location, Qt::Key_A), QTest::keyClick(location, Qt::Key_Backspace);
        w.controller.mSendReferer = then != u"off";
        w.controller.start_download();
        QTRY_VERIFY_WITH_TIMEOUT(!w.controller.isRunning(), 20000);
        QStringList referers;
        for (const QString& name : {u"p001.jpg"_s, u"p002.jpg"_s, u"p003.jpg"_s}) {
            const QList<QByteArray> values = series.headerValues(u"/s/"_s + name, "Referer");
            referers << QString::number(values.size()) + u' ' + values.join(' ');
        }
        QCOMPARE(referers, QStringList(3, u"1 "_s + (sent ? shown : QString())));
    }
};

QTEST_MAIN(TestWeb)
#include "tst_dbus_web.moc"
