#include "app/controller.h"
#include "app/mainpanel.h"
#include "download/downloadworker.h"
#include "fixtureserver.h"
#include "support/uirun.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {

struct Window : RecordingHost
{
    Controller controller{this};
    QTemporaryDir output;

    Window()
    {
        controller.applicationDidFinishLaunching();
        controller.mCreateNewFolder = false;
        controller.mOutputDirectory = output.path();
    }
    ~Window()
    {
        // A list accepted with OK may have started a run: it ends before the window goes.
        if (controller.isRunning())
            controller.stop_download();
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isRunning(), 20000);
    }
    template <class T> T* get(const QString& name) const
    {
        return controller.mainWindow()->findChild<T*>(name);
    }
    QDialog* sheet() const { return get<QDialog>(u"TextSheet"_s); }
    QString text() const { return get<QTextEdit>(u"mText_url"_s)->toPlainText(); }
    bool alerted() const { return get<QMessageBox>(u"alertSheet"_s) != nullptr; }
};

} // namespace

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

    // What the sheet shows of each kind of clipboard content; the list is emptied on opening.
    void paste_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("plain");
        QTest::addColumn<bool>("image");
        QTest::addColumn<QString>("shown");
        QTest::newRow("HTML: links and markup as their text")
            << uR"(<p><a href="http://h/x.jpg"><b>http://h/a.jpg</b></a><br>http://h/b.png</p>
<ul><li><i>http://h/c.gif</i></li></ul>)"_s
            << QString() << false << u"http://h/a.jpg\nhttp://h/b.png\nhttp://h/c.gif"_s;
        QTest::newRow("HTML preferred to its plain text")
            << u"<b>http://h/rich.jpg</b>"_s << u"http://h/plain.jpg"_s << false
            << u"http://h/rich.jpg"_s;
        QTest::newRow("HTML: a picture in it is no line")
            << u"<p><img src=\"data:,\">http://h/a.jpg</p><p><img src=\"t.png\"></p>"_s << QString()
            << false << u"http://h/a.jpg\n"_s;
        QTest::newRow("plain text as it is") << QString() << u" http://h/a.jpg\n\nhttp://h/b.jpg "_s
                                             << false << u" http://h/a.jpg\n\nhttp://h/b.jpg "_s;
        QTest::newRow("an image only: empty") << QString() << QString() << true << QString();
        QTest::newRow("nothing: empty") << QString() << QString() << false << QString();
    }
    void paste()
    {
        QFETCH(QString, html);
        QFETCH(QString, plain);
        QFETCH(bool, image);
        auto* data = new QMimeData;
        if (!html.isEmpty())
            data->setHtml(html);
        if (!plain.isEmpty())
            data->setText(plain);
        if (image)
            data->setImageData(QImage(4, 4, QImage::Format_RGB32));
        QGuiApplication::clipboard()->setMimeData(data);
        Window w;
        w.controller.showDownloadTextWith(u"http://h/old.jpg"_s);
        w.controller.sheet_text_cancel();
        w.controller.showDownloadText();
        QVERIFY(w.sheet()->isVisible());
        QTEST(w.text(), "shown");
        QVERIFY(w.controller.linkList().isEmpty());
    }

    // How the sheet ends: Cancel and Escape leave the text; OK makes the list or alerts.
    void ending_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<bool>("alert");
        const QString a = server.baseUrl() + u"/l/a.jpg"_s, b = server.baseUrl() + u"/l/b.jpg"_s;
        QTest::newRow("Cancel") << a << u"mText_cancel"_s << QStringList() << false;
        QTest::newRow("Escape is Cancel") << a << u"escape"_s << QStringList() << false;
        QTest::newRow("OK, empty") << QString() << u"mText_ok"_s << QStringList() << true;
        QTest::newRow("OK, blanks only")
            << u"  \n\t\r\n \n"_s << u"mText_ok"_s << QStringList() << true;
        QTest::newRow("OK, lines trimmed, blanks skipped")
            << u"  "_s + a + u" \r\n\n\t"_s + b + u"\r\n"_s << u"mText_ok"_s << QStringList{a, b}
            << false;
    }
    void ending()
    {
        QFETCH(QString, text);
        QFETCH(QString, end);
        Window w;
        w.controller.showDownloadTextWith(text);
        QVERIFY(w.sheet()->isVisible());
        if (end == u"escape"_s)
            QTest::keyClick(w.get<QTextEdit>(u"mText_url"_s), Qt::Key_Escape);
        else
            w.get<QPushButton>(end)->click();
        QVERIFY(!w.sheet()->isVisible());
        QTEST(w.controller.linkList(), "list");
        QTEST(w.alerted(), "alert");
        if (!end.endsWith(u"ok"_s))
            QCOMPARE(w.text(), text);
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
        QGuiApplication::clipboard()->setText(u"http://h/clip.jpg"_s);
        Window w;
        if (busy == u"run"_s) {
            w.controller.takeAddress(server.baseUrl() + u"/stall/pic001.jpg"_s);
            w.controller.start_download();
            QVERIFY(w.controller.isRunning());
        } else if (busy == u"alert"_s) {
            w.controller.showAlertSheet(u"busy"_s);
        } else {
            w.controller.showDownloadTextWith(u"http://h/typed.jpg"_s);
        }
        const bool up = w.sheet()->isVisible();
        w.controller.showDownloadText();
        w.controller.showDownloadTextWith(u"http://h/other.jpg"_s);
        QCOMPARE(w.sheet()->isVisible(), up);
        QCOMPARE(w.text(), up ? u"http://h/typed.jpg"_s : QString());
        if (busy == u"run"_s)
            QVERIFY(!w.get<QAction>(u"actionURLList"_s)->isEnabled());
    }
};

QTEST_MAIN(TestTextSheet)
#include "tst_ui_textsheet.moc"
