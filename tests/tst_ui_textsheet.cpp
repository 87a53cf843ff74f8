#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/qt.h"
#include "support/window.h"
using namespace Qt::StringLiterals;

class TestTextSheet : public QObject
{
    Q_OBJECT
    FixtureServer server;
private slots:
    void initTestCase()
    {
        server.addFile(u"/l/a.jpg"_s, "first");
        server.addFile(u"/l/b.jpg"_s, "second");
        server.addStall(u"/stall/pic001.jpg"_s, 10);
    }
    // The clipboard (HTML, else plain text) shown; OK lists trimmed lines or alerts.
    void sheet_data()
    {
        QTest::addColumn<QStringList>("clip"); // HTML, plain text; neither: an image
        QTest::addColumn<QString>("shown");    // none: the plain text
        QTest::addColumn<QStringList>("list"); // none: Cancel, "alert": OK alerts
        const QString a = server.baseUrl() + u"/l/a.jpg"_s, b = server.baseUrl() + u"/l/b.jpg"_s;
        const auto row = [](const char* name, const QString& html, const QString& plain,
                            const QString& shown, const QStringList& list) {
            QTest::newRow(name) << QStringList{html, plain} << shown << list;
        };
        row("HTML preferred: links, markup and pictures as their text",
            uR"(<p><a href="http://h/x.jpg"><b>http://h/a.jpg</b></a><img src="t.png"><br>)"
            uR"(http://h/b.png</p><ul><li><i>http://h/c.gif</i></li></ul>)"_s,
            u"http://h/plain.jpg"_s, u"http://h/a.jpg\nhttp://h/b.png\nhttp://h/c.gif"_s, {});
        row("plain text as it is; OK", {}, u"  "_s + a + u" \n\n\t"_s + b + u"\n"_s, {}, {a, b});
        row("an image only", {}, {}, {}, {u"alert"_s});
    }
    void sheet()
    {
        QFETCH(QStringList, clip);
        QFETCH(QStringList, list);
        QFETCH(QString, shown);
        auto* data = new QMimeData;
        clip[0].isEmpty() ? void() : data->setHtml(clip[0]);
        clip[1].isEmpty() ? data->setImageData(QImage(4, 4, QImage::Format_RGB32))
                          : data->setText(clip[1]);
        QGuiApplication::clipboard()->setMimeData(data);
        RunWindow w;
        w.controller.showDownloadText();
        QVERIFY(w.textSheet()->isVisible());
        QCOMPARE(w.listText()->toPlainText(), shown.isEmpty() ? clip[1] : shown);
        w.get<QPushButton>(list.isEmpty() ? u"mText_cancel"_s : u"mText_ok"_s)->click();
        QVERIFY(!w.textSheet()->isVisible());
        QCOMPARE(w.controller.linkList(), list.contains(u"alert"_s) ? QStringList() : list);
        QCOMPARE(!w.alert().isEmpty(), list.contains(u"alert"_s));
        QCOMPARE(w.listText()->toPlainText(), shown.isEmpty() ? clip[1] : shown);
    }
    // The sheet does not open over itself or a run, nor does a handed-over run start under it.
    void refused()
    {
        RunWindow w;
        w.controller.showDownloadTextWith(u"typed"_s);
        w.controller.showDownloadTextWith(u"http://h/other.jpg"_s);
        QCOMPARE(w.listText()->toPlainText(), u"typed"_s);
        w.controller.takeAddress(server.baseUrl() + u"/stall/pic001.jpg"_s);
        w.controller.start_download();
        QVERIFY(!w.controller.isRunning());
        w.controller.sheet_text_cancel();
        w.controller.start_download();
        w.controller.showDownloadText();
        QVERIFY(w.controller.isRunning() && !w.textSheet()->isVisible());
        QVERIFY(!w.get<QAction>(u"actionURLList"_s)->isEnabled());
    }
};
QTEST_MAIN(TestTextSheet)
#include "tst_ui_textsheet.moc"
