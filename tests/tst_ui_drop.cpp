#include "fixtureserver.h"
#include "sources/dropbox.h"
#include "support/qt.h"
#include "support/window.h"

#include <QWindow>

using namespace Qt::StringLiterals;
static const QString kB = u"http://b.example/s/img07.gif"_s;
// "*.png" a picture, "c.url" a bookmark of http://c.example/s/img07.gif.
static QUrl make(const QDir& dir, const QString& name)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(name.endsWith(u".png"_s) ? QByteArray("\x89PNG\r\n\x1a\n")
                                            : "[InternetShortcut]\r\nURL=http://" +
                                                  name.left(1).toLatin1() + ".example/s/img07.gif");
    return QUrl::fromLocalFile(file.fileName());
}
class TestDrop : public QObject
{
    Q_OBJECT
private slots:
    void take_data()
    {
        QTest::addColumn<QStringList>("files"); // made in a fresh folder; clip: the text
        QTest::addColumn<QString>("how");   // drop, clip, run: b.url dropped and clip during a run
        QTest::addColumn<QString>("state"); // empty: as before, nothing taken
        const auto row = [](const char* name, const QStringList& files, const char* how,
                            const QString& state = {}) {
            QTest::newRow(name) << files << QString::fromLatin1(how) << state;
        };
        const QString bState = u"http://b.example/s|img|07|gif|"_s; // and no alert
        row("clipboard: counted address", {kB}, "clip", bState);
        row("clipboard: no http: alert, cleared", {"ftp://b.example/s/img07.gif"}, "clip",
            u"||||FailurePasteURL"_s);
        row("capitals: a bookmark all the same", {"b.URL"}, "drop", bState);
        row("several: the first bookmark", {"b.url", "c.url"}, "drop", bState);
        row("picture", {"p.png"}, "drop");
        row("neither source rewrites the fields of a run", {kB}, "run");
    }
    void take()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, how);
        QFETCH(QString, state);
        FixtureServer server; // a run that lasts until stopped
        server.addStall(u"/s/pic001.jpg"_s, 10);
        QTemporaryDir dir;
        Window w;
        w.controller.mOutputDirectory = dir.path();
        w.controller.takeAddress(how == u"run"_s ? server.baseUrl() + u"/s/pic001.jpg"_s
                                                 : u"http://old.example/p/a01.png"_s);
        const QString before = w.fields().join(u'|') + u'|' + w.alert();
        if (how == u"run"_s) {
            w.controller.start_download();
            QVERIFY(!w.controller.dropURLWithFile(make(dir.path(), u"b.url"_s).toLocalFile()));
        }
        if (how != u"drop"_s) {
            QGuiApplication::clipboard()->setText(files.value(0));
            how == u"run"_s ? w.controller.obtaion_from_clip()
                            : w.get<QPushButton>(u"mClipButton"_s)->click();
        } else {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString& name : files)
                data.setUrls(urls << make(dir.path(), name));
            auto* box = w.get<DropBox>(u"mDropBox"_s);
            const QPoint at = box->rect().center();
            const auto accepted = [&](QDropEvent&& event) {
                return QCoreApplication::sendEvent(box, &event), event.isAccepted();
            };
            const auto actions = Qt::CopyAction | Qt::LinkAction;
            QVERIFY(accepted(QDragEnterEvent(at, actions, &data, Qt::LeftButton, {})));
            QVERIFY(!box->pixmap().isNull()); // the image shown during the hover
            QCOMPARE(accepted(QDropEvent(at, actions, &data, Qt::LeftButton, {})),
                     !state.isEmpty());
            QVERIFY(box->pixmap().isNull());
        }
        QCOMPARE(w.fields().join(u'|') + u'|' + w.alert(), state.isEmpty() ? before : state);
        w.controller.stop_download();
        QTRY_VERIFY(!w.controller.isRunning());
    }

    // A link dragged out of a browser or a file manager, on the box, the window or a field.
    void links_data()
    {
        QTest::addColumn<QString>("target"); // object name of the widget dropped on
        QTest::addColumn<bool>("uri");       // as text/uri-list, else as plain text
        QTest::addColumn<QString>("payload");
        QTest::addColumn<QString>("state"); // empty: refused, nothing taken
        const auto row = [](const char* name, const char* target, bool uri, const QString& payload,
                            const QString& state = {}) {
            QTest::newRow(name) << QString::fromLatin1(target) << uri << payload << state;
        };
        const QString bState = u"http://b.example/s|img|07|gif|"_s;
        row("browser link on the box", "mDropBox", true, kB, bState);
        row("link on the window, over the counter", "mCounter", true, kB, bState);
        row("address text on a field: the whole address, not mid-text", "mLocation", false, kB,
            bState);
        row("https text on the box", "mDropBox", false, u" https://b.example/s/img07.gif\n"_s,
            u"https://b.example/s|img|07|gif|"_s);
        row("ftp link: the clipboard's alert", "mDropBox", true, u"ftp://b.example/s/img07.gif"_s,
            u"||||FailurePasteURL"_s);
        row("words on a field: refused", "mFileName", false, u"two words"_s);
    }
    void links()
    {
        QFETCH(QString, target);
        QFETCH(bool, uri);
        QFETCH(QString, payload);
        QFETCH(QString, state);
        Window w;
        w.controller.takeAddress(u"http://old.example/p/a01.png"_s);
        const QString before = w.fields().join(u'|') + u'|' + w.alert();
        QMimeData data;
        uri ? data.setUrls({QUrl(payload)}) : data.setText(payload);
        // Through the window, as the desktop delivers a drag: the widget under the pointer
        // that takes drops, or the nearest of its parents that does, gets it.
        QWidget* window = w.controller.mainWindow();
        const QPoint at = w.get<QWidget>(target)->mapTo(window, QPoint(4, 4));
        const auto accepted = [&](QDropEvent&& event) {
            return QCoreApplication::sendEvent(window->windowHandle(), &event), event.isAccepted();
        };
        const auto actions = Qt::CopyAction | Qt::LinkAction;
        QCOMPARE(accepted(QDragEnterEvent(at, actions, &data, Qt::LeftButton, {})),
                 !state.isEmpty());
        QCOMPARE(accepted(QDropEvent(at, actions, &data, Qt::LeftButton, {})), !state.isEmpty());
        QCOMPARE(w.fields().join(u'|') + u'|' + w.alert(), state.isEmpty() ? before : state);
    }
};

QTEST_MAIN(TestDrop)
#include "tst_ui_drop.moc"
