#include "app/controller.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
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

    // The web action, for each answer the browser query can give.
    void webAction_data()
    {
        QTest::addColumn<int>("browser");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<bool>("alert");
        const QString kept = u"http://old/dir|pic|007|png"_s;
        QTest::newRow("counted address") << 3 << echo(u"http://host/dir/pic012.jpg"_s)
                                         << u"http://host/dir|pic|012|jpg"_s << false;
        QTest::newRow("https, no final line end")
            << 3 << u"printf https://host/d/a7.png"_s << u"https://host/d|a|7|png"_s << false;
        QTest::newRow("no extension: whole in location")
            << 3 << echo(u"http://host/dir/page"_s) << u"http://host/dir/page|||"_s << false;
        QTest::newRow("no http: cleared") << 3 << echo(u"ftp://host/a1.jpg"_s) << u"|||"_s << true;
        QTest::newRow("script exits 1: kept")
            << 3 << echo(u"http://h/a1.jpg"_s) + u"exit 1\n"_s << kept << true;
        QTest::newRow("event: the first of two windows")
            << 0 << u"http://h/d/a01.jpg\nhttp://h/d/b02.jpg\n"_s << u"http://h/d|a|01|jpg"_s
            << false;
        QTest::newRow("event: the second window fails")
            << 0 << u"http://h/d/a01.jpg\nFAIL\n"_s << kept << true;
        QTest::newRow("event: browser not running") << 1 << QString() << kept << true;
        QTest::newRow("browser 4: nothing at all")
            << 4 << echo(u"http://h/a1.jpg"_s) << kept << false;
        QTest::newRow("browser -1: nothing at all")
            << -1 << echo(u"http://h/a1.jpg"_s) << kept << false;
    }
    void webAction()
    {
        QFETCH(int, browser);
        QFETCH(QString, script);
        if (browser == 3)
            useScript(script);
        else
            useWindows(script);
        Window w(browser);
        w.controller.acceptAddress(u"http://old/dir/pic007.png"_s, nullptr);
        w.controller.obtaion_from_web();
        QTRY_VERIFY(!w.controller.isQueryPending());
        QTEST(w.fields(), "fields");
        QTEST(w.alerted(), "alert");
    }

    // The link-search fetch: the page saved as served, the base address, the failures.
    void searchFetch_data()
    {
        QTest::addColumn<int>("browser");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("base");
        QTest::addColumn<bool>("alert");
        const QString root = server.baseUrl();
        QTest::newRow("page") << 3 << root + u"/gallery/index.html"_s << true
                              << root + u"/gallery"_s << false;
        QTest::newRow("page without extension")
            << 3 << root + u"/gallery/"_s << true << root + u"/gallery/"_s << false;
        QTest::newRow("not found")
            << 3 << root + u"/gone.html"_s << false << u"unchanged"_s << true;
        QTest::newRow("larger than a page")
            << 3 << root + u"/movie.html"_s << false << u"unchanged"_s << true;
        QTest::newRow("never ends")
            << 3 << root + u"/stall.html"_s << false << u"unchanged"_s << true;
        QTest::newRow("browser 4: silent")
            << 4 << root + u"/gallery/index.html"_s << false << u"unchanged"_s << false;
    }
    void searchFetch()
    {
        QFETCH(int, browser);
        QFETCH(QString, page);
        QFETCH(bool, saved);
        useScript(echo(page));
        Window w(browser);
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
        QCOMPARE(*answer, saved);
        QTEST(w.baseAddress(), "base");
        QTEST(w.alerted(), "alert");
        QCOMPARE(QFileInfo::exists(w.controller.savedPagePath()), saved);
        if (QTest::currentDataTag() == "never ends"_L1)
            QVERIFY2(turns > 20, qPrintable(u"the loop turned %1 times"_s.arg(turns)));
        if (saved) {
            QFile copy(w.controller.savedPagePath());
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), kGallery.toUtf8());
        }
    }

    // A real browser end to end: Chromium shows a page, the bridge reads it through the
    // debugging endpoint and answers on the bus, the Web button and the link search use it.
    void realChromium()
    {
        const QString chromium = QStandardPaths::findExecutable(u"chromium"_s);
        if (chromium.isEmpty())
            QSKIP("Debian's chromium is not installed (scripts/deps installs it)");
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
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
    // order with the first selected; the browser is the test bridge that the bus starts.
    void searchCommands_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("links");
        const QString gallery = u"/gallery/index.html"_s;
        QTest::newRow("all") << u"actionSearchAll"_s << gallery
                             << QStringList{u"pic001.jpg"_s, u"pic002.JPG"_s,    u"all.zip?dl=1"_s,
                                            u"clip.mp4"_s,   u"../index.html"_s, u"pic001.jpg"_s};
        QTest::newRow("archives") << u"actionSearchArchives"_s << gallery
                                  << QStringList{u"all.zip?dl=1"_s};
        QTest::newRow("movies") << u"actionSearchMovies"_s << gallery << QStringList{u"clip.mp4"_s};
        QTest::newRow("images") << u"actionSearchImages"_s << gallery
                                << QStringList{u"pic001.jpg"_s, u"pic002.JPG"_s, u"pic001.jpg"_s};
        QTest::newRow("page without links: Open disabled")
            << u"actionSearchAll"_s << u"/plain/none.html"_s << QStringList{};
    }
    void searchCommands()
    {
        QFETCH(QString, item);
        QFETCH(QString, page);
        useWindows(server.baseUrl() + page + u"\n"_s);
        Window w(0);
        auto* sheet = w.controller.mainWindow()->findChild<QDialog*>(u"EntranceSheet"_s);
        auto* table = sheet->findChild<QTableView*>(u"mEntrance_table"_s);
        QAction* action = w.controller.mainWindow()->findChild<QAction*>(item);
        QVERIFY(w.controller.validateMenuItem(action));
        action->trigger();
        QTRY_VERIFY(sheet->isVisible());
        QTEST(w.controller.linkList(), "links");
        QCOMPARE(table->model()->rowCount(), w.controller.linkList().size());
        QCOMPARE(table->selectionModel()->isRowSelected(0), !w.controller.linkList().isEmpty());
        QCOMPARE(sheet->findChild<QPushButton*>(u"mEntrance_open"_s)->isEnabled(),
                 !w.controller.linkList().isEmpty());
        w.controller.sheet_entrance_close();
    }

    // The sheet from a search command: how it ends, what it opens, and the saved copy gone.
    void entranceSheet_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<bool>("up");
        const QString dir = server.baseUrl() + u"/gallery/"_s;
        QTest::newRow("open the second row")
            << u"open 1"_s << QStringList{u"url "_s + dir + u"pic002.JPG"_s} << false;
        QTest::newRow("close") << u"close 1"_s << QStringList{} << false;
        QTest::newRow("double-click keeps it up")
            << u"double 4"_s << QStringList{u"url "_s + server.baseUrl() + u"/index.html"_s}
            << true;
        QTest::newRow("open without a selection") << u"open -1"_s << QStringList{} << false;
    }
    void entranceSheet()
    {
        QFETCH(QString, action);
        useWindows(server.baseUrl() + u"/gallery/index.html\n"_s);
        Window w(0);
        auto* sheet = w.controller.mainWindow()->findChild<QDialog*>(u"EntranceSheet"_s);
        auto* table = sheet->findChild<QTableView*>(u"mEntrance_table"_s);
        w.controller.showEntrance();
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(table->model()->rowCount(), 6);
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
