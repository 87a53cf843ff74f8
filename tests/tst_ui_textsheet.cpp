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
        DownloadWorker::setPause(20);
        server.addFile(u"/l/a.jpg"_s, "first");
        server.addFile(u"/l/b.jpg"_s, "second");
        server.addStall(u"/stall/pic001.jpg"_s, 10);
    }

    // What the sheet shows of the clipboard, over an earlier text; how it ends: the text stays;
    // OK makes the list or alerts.
    void sheet_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("plain"); // neither: an image
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("list");
        auto row = [](const char* name, const QString& html, const QString& plain,
                      const QString& shown, const char* end, const QStringList& list = {}) {
            QTest::newRow(name) << html << plain << shown << QString::fromLatin1(end) << list;
        };
        row("HTML, preferred to its plain text: links and markup as their text; Cancel",
            uR"(<p><a href="http://h/x.jpg"><b>http://h/a.jpg</b></a><br>http://h/b.png</p>
<ul><li><i>http://h/c.gif</i></li></ul>)"_s,
            u"http://h/plain.jpg"_s, u"http://h/a.jpg\nhttp://h/b.png\nhttp://h/c.gif"_s,
            "mText_cancel");
        row("HTML: a picture in it is no line; Escape is Cancel",
            u"<p><img src=\"data:,\">http://h/a.jpg</p><p><img src=\"t.png\"></p>"_s, {},
            u"http://h/a.jpg\n"_s, "escape");
        const QString a = server.baseUrl() + u"/l/a.jpg"_s, b = server.baseUrl() + u"/l/b.jpg"_s;
        const QString text = u"  "_s + a + u" \n\n\t"_s + b + u"\n"_s;
        row("plain text as it is; OK: lines trimmed", {}, text, text, "mText_ok", {a, b});
        row("OK with blanks only alerts", {}, u"  \n\t\n \n"_s, u"  \n\t\n \n"_s, "mText_ok");
        row("an image only: empty; OK alerts", {}, {}, {}, "mText_ok");
    }
    void sheet()
    {
        QFETCH(QString, html);
        QFETCH(QString, plain);
        QFETCH(QString, end);
        QFETCH(QStringList, list);
        auto* data = new QMimeData;
        if (!html.isEmpty())
            data->setHtml(html);
        if (!plain.isEmpty())
            data->setText(plain);
        else if (html.isEmpty())
            data->setImageData(QImage(4, 4, QImage::Format_RGB32));
        QGuiApplication::clipboard()->setMimeData(data);
        RunWindow w;
        w.controller.showDownloadTextWith(u"http://h/old.jpg"_s);
        w.controller.sheet_text_cancel();
        w.controller.showDownloadText();
        QVERIFY(w.textSheet()->isVisible());
        QTEST(w.listText()->toPlainText(), "shown");
        if (end == u"escape"_s)
            QTest::keyClick(w.listText(), Qt::Key_Escape);
        else
            w.get<QPushButton>(end)->click();
        QVERIFY(!w.textSheet()->isVisible());
        QCOMPARE(w.controller.linkList(), list);
        QCOMPARE(!w.alert().isEmpty(), end == u"mText_ok"_s && list.isEmpty());
        QTEST(w.listText()->toPlainText(), "shown");
    }
    // The sheet does not open over a run, another sheet or itself, and keeps what it shows.
    void refused_data()
    {
        QTest::addColumn<QString>("busy");
        QTest::newRow("during a run") << u"run"_s;
        QTest::newRow("over an alert") << u"alert"_s;
        QTest::newRow("over itself") << u"sheet"_s;
    }
    void refused()
    {
        QFETCH(QString, busy);
        RunWindow w;
        if (busy == u"run"_s) {
            w.controller.takeAddress(server.baseUrl() + u"/stall/pic001.jpg"_s);
            w.controller.start_download();
        } else if (busy == u"alert"_s)
            w.controller.showAlertSheet(u"busy"_s);
        else
            w.controller.showDownloadTextWith(u"http://h/typed.jpg"_s);
        const bool up = w.textSheet()->isVisible();
        w.controller.showDownloadText();
        w.controller.showDownloadTextWith(u"http://h/other.jpg"_s);
        QCOMPARE(w.textSheet()->isVisible(), up);
        QCOMPARE(w.listText()->toPlainText(), up ? u"http://h/typed.jpg"_s : QString());
        QCOMPARE(w.get<QAction>(u"actionURLList"_s)->isEnabled(), busy != u"run"_s);
        // Nor does a run that a later launch hands over start beneath a sheet or an alert.
        if (busy != u"run"_s) {
            w.controller.takeAddress(server.baseUrl() + u"/stall/pic001.jpg"_s);
            w.controller.start_download();
            QVERIFY(!w.controller.isRunning());
        }
    }
};

QTEST_MAIN(TestTextSheet)
#include "tst_ui_textsheet.moc"
