#include "app/controller.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
#include "support/busbridge.h"
#include "support/freeport.h"
#include "support/processgroup.h"
#include "support/uirun.h"

#include <QtDBus>
#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

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

struct Window : RecordingHost
{
    Controller controller{this};

    Window(int browser)
    {
        controller.applicationDidFinishLaunching();
        controller.mWebBrowser = browser;
    }
    QString fields() const
    {
        QStringList out;
        for (const char* name : {"mLocation", "mFileName", "mNumber", "mExtension"})
            out << controller.mainWindow()->findChild<QLineEdit*>(name)->text();
        return out.join(u'|');
    }
    bool alerted() const
    {
        return controller.mainWindow()->findChild<QMessageBox*>(u"alertSheet"_s) != nullptr;
    }
    QString baseAddress() const
    {
        return controller.mainWindow()->findChild<QLineEdit*>(u"mEntrance_url"_s)->text();
    }
};

// The user's own script, which the query prefers to the shipped one; an empty text removes it.
void useScript(const QString& text)
{
    const QString path = kData.path() + u"/Stepgrab/Safari_Get_URL.txt"_s;
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    if (text.isEmpty())
        return;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text.toUtf8());
}

// The windows that the 'MSIE' test bridge, started by the bus on demand, reports: one
// address a line, "FAIL" for a window whose information request fails.
void useWindows(const QString& lines)
{
    const QString path = kData.path() + u"/windows.txt"_s;
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(lines.toUtf8());
    QDBusMessage update =
        QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                       u"org.freedesktop.DBus"_s, u"UpdateActivationEnvironment"_s);
    update << QVariant::fromValue(QMap<QString, QString>{{u"STEPGRAB_TEST_WINDOWS"_s, path}});
    QCOMPARE(QDBusConnection::sessionBus().call(update).type(), QDBusMessage::ReplyMessage);
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
        qDBusRegisterMetaType<QMap<QString, QString>>();
        server.addFile(u"/gallery/index.html"_s, kGallery.toUtf8(), 200, "text/html");
        server.addFile(u"/gallery/page01.html"_s, kGallery.toUtf8(), 200, "text/html");
        server.addFile(u"/gallery/"_s, kGallery.toUtf8(), 200, "text/html");
        server.addFile(u"/plain/none.html"_s, "<html><body>no links</body></html>", 200,
                       "text/html");
        server.addFile(u"/gone.html"_s, "<html>gone</html>", 404, "text/html");
        server.addLarge(u"/movie.html"_s, Controller::kLargestPage + 1);
        server.addStall(u"/stall.html"_s, 10);
    }

    void cleanupTestCase() { endActivatedBridge(u"org.stepgrab.Process.T4150504C.C4D534945"_s); }

    // The web action and the link-search fetch, for each answer the browser query and the page
    // can give: what the window's fields (or the base address) then hold, and whether it alerts.
    void fetch_data()
    {
        QTest::addColumn<int>("browser");
        QTest::addColumn<QString>("script"); // browser 3: the script; 0: the bridge's windows
        QTest::addColumn<bool>("search");
        QTest::addColumn<QString>("result");
        QTest::addColumn<bool>("alert");
        const QString kept = u"http://old/dir|pic|007|png"_s, root = server.baseUrl();
        const auto row = [](const char* name, int browser, const QString& script, bool search,
                            const QString& result, bool alert) {
            QTest::newRow(name) << browser << script << search << result << alert;
        };
        row("counted address", 3, echo(u"http://host/dir/pic012.jpg"_s), false,
            u"http://host/dir|pic|012|jpg"_s, false);
        row("https, no final line end", 3, u"printf https://host/d/a7.png"_s, false,
            u"https://host/d|a|7|png"_s, false);
        row("no http: cleared", 3, echo(u"ftp://host/a1.jpg"_s), false, u"|||"_s, true);
        row("script exits 1: kept", 3, echo(u"http://h/a1.jpg"_s) + u"exit 1\n"_s, false, kept,
            true);
        row("event: the first of two windows", 0, u"http://h/d/a01.jpg\nhttp://h/d/b02.jpg\n"_s,
            false, u"http://h/d|a|01|jpg"_s, false);
        row("event: browser not running", 1, {}, false, kept, true);
        row("browser 4: nothing at all", 4, echo(u"http://h/a1.jpg"_s), false, kept, false);
        row("search: page", 3, echo(root + u"/gallery/index.html"_s), true, root + u"/gallery"_s,
            false);
        row("search: page without extension", 3, echo(root + u"/gallery/"_s), true,
            root + u"/gallery/"_s, false);
        row("search: not found", 3, echo(root + u"/gone.html"_s), true, u"unchanged"_s, true);
        row("search: larger than a page", 3, echo(root + u"/movie.html"_s), true, u"unchanged"_s,
            true);
        row("search: never ends", 3, echo(root + u"/stall.html"_s), true, u"unchanged"_s, true);
    }
    void fetch()
    {
        QFETCH(int, browser);
        QFETCH(QString, script);
        QFETCH(bool, search);
        QFETCH(QString, result);
        if (browser == 0)
            useWindows(script);
        else
            useScript(script);
        Window w(browser);
        if (!search) {
            w.controller.acceptAddress(u"http://old/dir/pic007.png"_s, nullptr);
            w.controller.obtaion_from_web();
            QTRY_VERIFY(!w.controller.isQueryPending());
            QCOMPARE(w.fields(), result);
            QTEST(w.alerted(), "alert");
            return;
        }
        w.controller.setPageFetchTimeout(1000);
        QFile::remove(w.controller.savedPagePath());
        w.controller.mainWindow()
            ->findChild<QLineEdit*>(u"mEntrance_url"_s)
            ->setText(u"unchanged"_s);
        // The window goes on painting while the page comes: the event loop keeps turning.
        int turns = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&turns] { ++turns; });
        ticker.start(10);
        std::optional<bool> answer;
        w.controller.getCurrentURLForSearch([&answer](bool ok) { answer = ok; });
        QTRY_VERIFY_WITH_TIMEOUT(answer.has_value(), 15000);
        const bool saved = result != "unchanged"_L1;
        QCOMPARE(*answer, saved);
        QCOMPARE(w.baseAddress(), result);
        QTEST(w.alerted(), "alert");
        QVERIFY2(turns > 20 || QTest::currentDataTag() != "search: never ends"_L1,
                 qPrintable(u"the loop turned %1 times"_s.arg(turns)));
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

        Window w(2);
        w.controller.obtaion_from_web();
        QTRY_VERIFY(!w.controller.isQueryPending());
        QCOMPARE(w.fields(), server.baseUrl() + u"/gallery|page|01|html"_s);
        QVERIFY(!w.alerted());
        std::optional<bool> answer;
        w.controller.getCurrentURLForSearch([&answer](bool ok) { answer = ok; });
        QTRY_VERIFY(answer.has_value());
        QVERIFY(*answer);
        QCOMPARE(w.baseAddress(), server.baseUrl() + u"/gallery"_s);
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
        const QString gallery = u"/gallery/index.html"_s, dir = server.baseUrl() + u"/gallery/"_s;
        QTest::newRow("all, double-click keeps it up")
            << u"actionSearchAll"_s << gallery
            << QStringList{u"pic001.jpg"_s, u"pic002.JPG"_s,    u"all.zip?dl=1"_s,
                           u"clip.mp4"_s,   u"../index.html"_s, u"pic001.jpg"_s}
            << u"double 4"_s << QStringList{u"url "_s + server.baseUrl() + u"/index.html"_s}
            << true;
        QTest::newRow("archives, close")
            << u"actionSearchArchives"_s << gallery << QStringList{u"all.zip?dl=1"_s}
            << u"close 0"_s << QStringList{} << false;
        QTest::newRow("movies, open without a selection")
            << u"actionSearchMovies"_s << gallery << QStringList{u"clip.mp4"_s} << u"open -1"_s
            << QStringList{} << false;
        QTest::newRow("images, open the second row")
            << u"actionSearchImages"_s << gallery
            << QStringList{u"pic001.jpg"_s, u"pic002.JPG"_s, u"pic001.jpg"_s} << u"open 1"_s
            << QStringList{u"url "_s + dir + u"pic002.JPG"_s} << false;
        QTest::newRow("page without links: Open disabled")
            << u"actionSearchAll"_s << u"/plain/none.html"_s << QStringList{} << u"close 0"_s
            << QStringList{} << false;
    }
    void searchSheet()
    {
        QFETCH(QString, item);
        QFETCH(QString, page);
        QFETCH(QString, action);
        useWindows(server.baseUrl() + page + u"\n"_s);
        Window w(0);
        auto* sheet = w.controller.mainWindow()->findChild<QDialog*>(u"EntranceSheet"_s);
        auto* table = sheet->findChild<QTableView*>(u"mEntrance_table"_s);
        QAction* menuItem = w.controller.mainWindow()->findChild<QAction*>(item);
        QVERIFY(w.controller.validateMenuItem(menuItem));
        menuItem->trigger();
        QTRY_VERIFY(sheet->isVisible());
        QTEST(w.controller.linkList(), "links");
        const bool any = !w.controller.linkList().isEmpty();
        QCOMPARE(table->model()->rowCount(), w.controller.linkList().size());
        QCOMPARE(table->selectionModel()->isRowSelected(0), any);
        QCOMPARE(sheet->findChild<QPushButton*>(u"mEntrance_open"_s)->isEnabled(), any);
        QVERIFY(QFile::exists(w.controller.savedPagePath()));
        const int row = action.section(u' ', 1).toInt();
        if (row < 0)
            table->clearSelection();
        else
            table->selectRow(row);
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

    void emptySavedCopyIsNoPage()
    {
        Window w(3);
        QFile empty(w.controller.savedPagePath());
        QVERIFY(empty.open(QIODevice::WriteOnly));
        empty.close();
        QVERIFY(!w.controller.parseURLInfoFormHTML());
    }
};

QTEST_MAIN(TestWeb)
#include "tst_dbus_web.moc"
