#include "fixtureserver.h"
#include "support/busbridge.h"
#include "support/freeport.h"
#include "support/processgroup.h"
#include "support/qt.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

namespace {

// The user's own query script and the saved page copy live here.
const QTemporaryDir kData;
const bool kDataIsolated = qputenv("XDG_DATA_HOME", kData.path().toLocal8Bit());

const QString kGallery = uR"(<html><head><title>Gallery</title></head><body>
<a href="pic001.jpg"><img src="t001.jpg"></a> <A HREF="pic002.JPG">2</A>
<a class="dl" href="all.zip?dl=1">all</a> <a href='clip.mp4' target='_blank'>clip</a>
<a href=../index.html>up</a> <a href="pic001.jpg">again</a>
</body></html>)"_s;

// Browser 0 answers with the windows the 'MSIE' test bridge, started by the bus on demand,
// reports (one address a line, "FAIL" for one whose information request fails); the others
// run the user's own query script, preferred to the shipped one (none: it is removed).
void answer(int browser, const QString& text)
{
    const QString path =
        kData.path() + (browser ? u"/Stepgrab/Safari_Get_URL.txt"_s : u"/windows.txt"_s);
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QFile file(path);
    QVERIFY(text.isEmpty() || (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) > 0));
    QVERIFY(browser || setActivationEnvironment(u"STEPGRAB_TEST_WINDOWS"_s, path));
}

QString echo(const QString& address)
{
    return u"printf '%s\\n' '"_s + address + u"'\n"_s;
}

} // namespace

class TestWeb : public QObject
{
    Q_OBJECT

    FixtureServer server;

private slots:
    void initTestCase()
    {
        for (const char* page : {"/gallery/index.html", "/gallery/page01.html", "/gallery/"})
            server.addFile(QLatin1String(page), kGallery.toUtf8(), 200, "text/html");
        server.addFile(u"/plain/none.html"_s, "<html><body>no links</body></html>", 200,
                       "text/html");
        server.addFile(u"/gone.html"_s, "<html>gone</html>", 404, "text/html");
        server.addLarge(u"/movie.html"_s, Controller::kLargestPage + 1);
        server.addStall(u"/stall.html"_s, 10);
    }

    void cleanupTestCase() { endActivatedBridge(u"org.stepgrab.Process.T4150504C.C4D534945"_s); }

    // A page that sent nothing leaves an empty copy: nothing to map, and no page.
    void emptySavedCopyIsNoPage()
    {
        Window w;
        QFile empty(w.controller.savedPagePath());
        QVERIFY(QDir().mkpath(QFileInfo(empty).path()) && empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(!w.controller.parseURLInfoFormHTML());
    }

    // The web action and the link-search fetch, for each answer the browser query and the page
    // can give: what the window's fields (or the base address) then hold, and whether it alerts.
    void fetch_data()
    {
        QTest::addColumn<int>("browser");
        QTest::addColumn<QString>("script"); // what answer() takes
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("alert");
        const QString kept = u"http://old/dir|pic|007|png"_s, no = u"unchanged"_s;
        const auto row = [](const char* name, int browser, const QString& script,
                            const QString& result, bool alert = false) {
            QTest::newRow(name) << browser << script << result << alert;
        };
        const auto at = [this](const char* path) { return echo(server.baseUrl() + path); };
        row("counted address", 3, echo(u"http://host/dir/pic012.jpg"_s),
            u"http://host/dir|pic|012|jpg"_s);
        row("https, no final line end", 3, u"printf https://host/d/a7.png"_s,
            u"https://host/d|a|7|png"_s);
        row("no http: cleared", 3, echo(u"ftp://host/a1.jpg"_s), u"|||"_s, true);
        row("script exits 1: kept", 3, echo(u"http://h/a1.jpg"_s) + u"exit 1\n"_s, kept, true);
        row("event: the first of two windows", 0, u"http://h/d/a01.jpg\nhttp://h/d/b02.jpg\n"_s,
            u"http://h/d|a|01|jpg"_s);
        row("event: browser not running", 1, {}, kept, true);
        row("browser 4: nothing at all", 4, echo(u"http://h/a1.jpg"_s), kept);
        row("search: page", 3, at("/gallery/index.html"), server.baseUrl() + u"/gallery"_s);
        row("search: page without extension", 3, at("/gallery/"),
            server.baseUrl() + u"/gallery/"_s);
        row("search: not found", 3, at("/gone.html"), no, true);
        row("search: larger than a page", 3, at("/movie.html"), no, true);
        row("search: never ends", 3, at("/stall.html"), no, true);
    }
    void fetch()
    {
        QFETCH(int, browser);
        QFETCH(QString, script);
        QFETCH(QString, result);
        answer(browser, script);
        Window w;
        w.controller.mWebBrowser = browser;
        if (!QByteArrayView(QTest::currentDataTag()).startsWith("search")) {
            w.controller.acceptAddress(u"http://old/dir/pic007.png"_s, nullptr);
            w.controller.obtaion_from_web();
            QTRY_VERIFY(!w.controller.isQueryPending());
            QCOMPARE(w.fields().join(u'|'), result);
            QTEST(!w.alert().isEmpty(), "alert");
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
        QTEST(!w.alert().isEmpty(), "alert");
        QVERIFY2(turns.size() > 20 || QTest::currentDataTag() != "search: never ends"_L1,
                 qPrintable(u"the loop turned %1 times"_s.arg(turns.size())));
        QFile copy(w.controller.savedPagePath());
        QCOMPARE(copy.open(QIODevice::ReadOnly), saved);
        QCOMPARE(copy.readAll(), saved ? kGallery.toUtf8() : QByteArray());
    }

    // A real browser end to end: Chromium shows a page, the bridge reads it through the
    // debugging endpoint and answers on the bus, the Web button and the link search use it.
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
        const auto frontPage = [&port] {
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
        w.controller.mWebBrowser = 2;
        w.controller.obtaion_from_web();
        QTRY_VERIFY(!w.controller.isQueryPending());
        QCOMPARE(w.fields().join(u'|'), server.baseUrl() + u"/gallery|page|01|html"_s);
        QVERIFY(!!w.alert().isEmpty());
        std::optional<bool> answer;
        w.controller.getCurrentURLForSearch([&answer](bool ok) { answer = ok; });
        QTRY_VERIFY(answer.has_value());
        QVERIFY(*answer);
        QCOMPARE(w.get(u"mEntrance_url"_s)->text(), server.baseUrl() + u"/gallery"_s);
        QVERIFY(w.controller.parseImageFileFormHTML());
        QCOMPARE(w.controller.linkList(),
                 (QStringList{u"pic001.jpg"_s, u"pic002.JPG"_s, u"pic001.jpg"_s}));
    }

    // Each search command, through its menu item, shows its kind of the page's links in page
    // order with the first selected; then the sheet ends (or stays up) as the user acts on it,
    // opening the chosen link, with the saved copy gone once it is down.
    void searchSheet_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QString>("action"); // open/close/double and a row, -1: none selected
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<bool>("up");
        const auto row =
            [this](const char* name, const char* item, const char* page, const char* links,
                   const char* action, const char* opened = "", bool up = false) {
                QTest::newRow(name)
                    << "actionSearch"_L1 + item << QString(page)
                    << QString(links).split(u' ', Qt::SkipEmptyParts) << QString(action)
                    << (*opened ? QStringList{"url " + server.baseUrl() + opened} : QStringList{})
                    << up;
            };
        const char* gallery = "/gallery/index.html";
        row("all, double-click keeps it up", "All", gallery,
            "pic001.jpg pic002.JPG all.zip?dl=1 clip.mp4 ../index.html pic001.jpg", "double 4",
            "/index.html", true);
        row("movies, open without a selection", "Movies", gallery, "clip.mp4", "open -1");
        row("images, open the second row", "Images", gallery, "pic001.jpg pic002.JPG pic001.jpg",
            "open 1", "/gallery/pic002.JPG");
        row("page without links: Open and Download All disabled", "All", "/plain/none.html", "",
            "close 0");
    }
    void searchSheet()
    {
        QFETCH(QString, page);
        QFETCH(QString, action);
        answer(0, server.baseUrl() + page + u"\n"_s);
        Window w;
        auto* sheet = w.get<QDialog>(u"EntranceSheet"_s);
        auto* table = sheet->findChild<QTableView*>(u"mEntrance_table"_s);
        QFETCH(QString, item);
        QAction* menuItem = w.get<QAction>(item);
        QVERIFY(w.controller.validateMenuItem(menuItem));
        menuItem->trigger();
        QTRY_VERIFY(sheet->isVisible());
        QTEST(w.controller.linkList(), "links");
        const bool any = !w.controller.linkList().isEmpty();
        QCOMPARE(table->model()->rowCount(), w.controller.linkList().size());
        QCOMPARE(table->selectionModel()->isRowSelected(0), any);
        QCOMPARE(sheet->findChild<QPushButton*>(u"mEntrance_open"_s)->isEnabled(), any);
        QCOMPARE(sheet->findChild<QPushButton*>(u"mEntrance_all"_s)->isEnabled(), any);
        QVERIFY(QFile::exists(w.controller.savedPagePath()));
        const int row = action.section(u' ', 1).toInt();
        row < 0 ? table->clearSelection() : table->selectRow(row);
        if (action.startsWith(u"double"_s))
            emit table->doubleClicked(table->model()->index(row, 0));
        else
            sheet
                ->findChild<QPushButton*>(action.startsWith(u"open"_s) ? u"mEntrance_open"_s
                                                                       : u"mEntrance_close"_s)
                ->click();
        QTEST(w.calls, "opened");
        QTEST(sheet->isVisible(), "up");
        QCOMPARE(QFile::exists(w.controller.savedPagePath()), sheet->isVisible());
        w.controller.sheet_entrance_close();
    }
};

QTEST_MAIN(TestWeb)
#include "tst_dbus_web.moc"
