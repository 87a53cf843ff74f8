#include "download/downloadworker.h"
#include "support/busbridge.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

// The saved page copy and the windows the bus-activated 'MSIE' test bridge reports live here;
// the gallery links its pictures every way a page links them, one of them twice.
static const QTemporaryDir kData;
static const bool kDataIsolated = qputenv("XDG_DATA_HOME", kData.path().toLocal8Bit());
const QString kGallery = uR"html(<a href="pic001.jpg"><img src="t001.jpg"></a>
<a href="pic001.jpg">again</a> <A HREF="/img/top.PNG">top</A> <a href='../shared/up.jpeg'>up</a>
<a href="%1/far/away.gif">far</a> <a href="next.html">next</a> <a href="javascript:f('x.jpg')">x</a>)html"_s;
const QStringList kPictures{u"/site/gallery/pic001.jpg"_s, u"/img/top.PNG"_s,
                            u"/site/shared/up.jpeg"_s, u"/far/away.gif"_s};

class TestDownloadAll : public QObject
{
    Q_OBJECT
    FixtureServer server;
private slots:
    void cleanupTestCase() { endActivatedBridge(u"org.stepgrab.Process.T4150504C.C4D534945"_s); }

    // The image search's Download All and the URL-list sheet's OK, into the folder byte for byte.
    void downloadAll()
    {
        const QString page = server.baseUrl() + u"/site/gallery/index.html"_s;
        server.addFile(QUrl(page).path(), kGallery.arg(server.baseUrl()).toUtf8(), 200,
                       "text/html");
        QStringList addresses, files;
        for (const QString& path : kPictures)
            files << QFileInfo(path).fileName(), addresses << server.baseUrl() + path,
                server.addFile(path, FixtureServer::seriesBody(files.last(), 3000), 200,
                               "image/jpeg");
        QFile windows(kData.filePath(u"windows.txt"_s));
        QVERIFY(windows.open(QIODevice::WriteOnly) && windows.write((page + u'\n').toUtf8()) > 0 &&
                windows.flush());
        QVERIFY(setActivationEnvironment(u"STEPGRAB_TEST_WINDOWS"_s, windows.fileName()));
        RunWindow w;
        w.controller.mWebBrowser = WebBrowser::Default;
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
    }
};

QTEST_MAIN(TestDownloadAll)
#include "tst_dbus_downloadall.moc"
