#include "app/controller.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/uirun.h"

#include <QtDBus>
#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {

// The saved page copy lives here.
const QTemporaryDir kData;
const bool kDataIsolated = qputenv("XDG_DATA_HOME", kData.path().toLocal8Bit());

// A gallery whose pictures are linked every way a page links them, one of them twice.
const QString kGallery = uR"html(<html><body>
<a href="pic001.jpg"><img src="t001.jpg"></a> <a href="pic001.jpg">again</a>
<A HREF="/img/top.PNG">top</A> <a href='../shared/up.jpeg'>up</a>
<a href="%1/far/away.gif">far</a> <a href="next.html">next page</a>
<a href="javascript:show('x.jpg')">not a file</a>
</body></html>)html"_s;

// The windows that the 'MSIE' test bridge, started by the bus on demand, reports.
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

} // namespace

class TestDownloadAll : public QObject
{
    Q_OBJECT

    FixtureServer server;
    QMap<QString, QByteArray> pictures; // served path -> bytes

private slots:
    void initTestCase()
    {
        qDBusRegisterMetaType<QMap<QString, QString>>();
        DownloadWorker::setPause(20);
        server.addFile(u"/site/gallery/index.html"_s, kGallery.arg(server.baseUrl()).toUtf8(), 200,
                       "text/html");
        server.addFile(u"/site/text.html"_s, "<a href=\"a.html\">a</a>", 200, "text/html");
        int n = 0;
        for (const QString& path : {u"/site/gallery/pic001.jpg"_s, u"/img/top.PNG"_s,
                                    u"/site/shared/up.jpeg"_s, u"/far/away.gif"_s}) {
            QByteArray bytes(3000 + 517 * n, char(0));
            for (qsizetype i = 0; i < bytes.size(); ++i)
                bytes[i] = char((i * 7 + n * 31) & 0xff);
            pictures.insert(path, bytes);
            server.addFile(path, bytes, 200, "image/jpeg");
            ++n;
        }
    }

    // A page's pictures, through the image search, its Download All and the URL-list sheet's
    // OK, into the output folder byte for byte; a page without pictures offers no Download All.
    void downloadAll_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("listed"); // served paths, in page order
        QTest::newRow("gallery: relative, root-relative, dot-segment, absolute, twice")
            << u"/site/gallery/index.html"_s
            << QStringList{u"/site/gallery/pic001.jpg"_s, u"/img/top.PNG"_s,
                           u"/site/shared/up.jpeg"_s, u"/far/away.gif"_s};
        QTest::newRow("no pictures: nothing to download") << u"/site/text.html"_s << QStringList{};
    }
    void downloadAll()
    {
        QFETCH(QString, page);
        QFETCH(QStringList, listed);
        useWindows(server.baseUrl() + page + u"\n"_s);
        RecordingHost host;
        Controller controller(&host);
        controller.applicationDidFinishLaunching();
        controller.mWebBrowser = 0;
        QTemporaryDir output;
        controller.mOutputDirectory = output.path();
        controller.mCreateNewFolder = false;
        MainPanel* window = controller.mainWindow();
        auto* entrance = window->findChild<QDialog*>(u"EntranceSheet"_s);
        auto* sheet = window->findChild<QDialog*>(u"TextSheet"_s);
        auto* all = entrance->findChild<QPushButton*>(u"mEntrance_all"_s);

        window->findChild<QAction*>(u"actionSearchImages"_s)->trigger();
        QTRY_VERIFY(entrance->isVisible());
        QCOMPARE(all->isEnabled(), !listed.isEmpty());
        if (listed.isEmpty()) {
            controller.sheet_entrance_close();
            return;
        }
        all->click();
        QTRY_VERIFY(sheet->isVisible());
        QVERIFY(!entrance->isVisible());
        QVERIFY(!QFile::exists(controller.savedPagePath()));
        QStringList addresses;
        for (const QString& path : listed)
            addresses << server.baseUrl() + path;
        QCOMPARE(sheet->findChild<QTextEdit*>(u"mText_url"_s)->toPlainText(),
                 addresses.join(u'\n'));

        sheet->findChild<QPushButton*>(u"mText_ok"_s)->click();
        QVERIFY(!sheet->isVisible());
        QCOMPARE(controller.linkList(), addresses);
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isRunning(), 20000);
        QStringList written = QDir(output.path()).entryList(QDir::Files, QDir::Name);
        QStringList expected;
        for (const QString& path : listed)
            expected << QFileInfo(path).fileName();
        expected.sort();
        QCOMPARE(written, expected);
        for (const QString& path : listed) {
            QFile file(output.filePath(QFileInfo(path).fileName()));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), pictures.value(path));
        }
    }
};

QTEST_MAIN(TestDownloadAll)
#include "tst_dbus_downloadall.moc"
