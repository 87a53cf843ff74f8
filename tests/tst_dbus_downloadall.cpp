#include "download/downloadworker.h"
#include "support/busbridge.h"
#include "support/qt.h"
#include "support/series.h"
#include "support/window.h"

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
    QVERIFY(setActivationEnvironment(u"STEPGRAB_TEST_WINDOWS"_s, path));
}

const QStringList kPictures{u"/site/gallery/pic001.jpg"_s, u"/img/top.PNG"_s,
                            u"/site/shared/up.jpeg"_s, u"/far/away.gif"_s};

} // namespace

class TestDownloadAll : public QObject
{
    Q_OBJECT

    FixtureServer server;

private slots:
    void initTestCase()
    {
        DownloadWorker::setPause(20);
        server.addFile(u"/site/gallery/index.html"_s, kGallery.arg(server.baseUrl()).toUtf8(), 200,
                       "text/html");
        for (const QString& path : kPictures)
            server.addFile(path, FixtureServer::seriesBody(QFileInfo(path).fileName(), 3000), 200,
                           "image/jpeg");
    }

    // A gallery's pictures, through the image search, its Download All and the URL-list sheet's
    // OK, into the output folder byte for byte: relative, root-relative, dot-segment and
    // absolute links, one of them twice.
    void downloadAll()
    {
        useWindows(server.baseUrl() + u"/site/gallery/index.html\n"_s);
        RunWindow w;
        w.controller.mWebBrowser = 0;
        auto* entrance = w.get<QDialog>(u"EntranceSheet"_s);
        auto* all = entrance->findChild<QPushButton*>(u"mEntrance_all"_s);
        w.get<QAction>(u"actionSearchImages"_s)->trigger();
        QTRY_VERIFY(entrance->isVisible());
        all->click();
        QTRY_VERIFY(w.textSheet()->isVisible());
        QVERIFY(!entrance->isVisible());
        QVERIFY(!QFile::exists(w.controller.savedPagePath()));
        QStringList addresses, files;
        for (const QString& path : kPictures)
            addresses << server.baseUrl() + path, files << QFileInfo(path).fileName();
        QCOMPARE(w.listText()->toPlainText(), addresses.join(u'\n'));
        w.textSheet()->findChild<QPushButton*>(u"mText_ok"_s)->click();
        QCOMPARE(w.controller.linkList(), addresses);
        QTRY_VERIFY_WITH_TIMEOUT(!w.controller.isRunning(), 20000);
        files.sort();
        QCOMPARE(seriesFilesBelow(w.output.path(), 3000), files);
    }

    void cleanupTestCase() { endActivatedBridge(u"org.stepgrab.Process.T4150504C.C4D534945"_s); }
};

QTEST_MAIN(TestDownloadAll)
#include "tst_dbus_downloadall.moc"
