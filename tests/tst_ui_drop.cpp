#include "fixtureserver.h"
#include "sources/dropbox.h"
#include "support/files.h"
#include "support/qt.h"
#include "support/table.h"
#include "support/window.h"

#include <QWindow>

using namespace Qt::StringLiterals;
static const QString kB = u"http://b.example/s/img07.gif"_s;
// "*.png" a picture, "c.url" a bookmark of http://c.example/s/img07.gif.
static QUrl make(const QDir& dir, const QString& name)
{
    writeFile(dir.filePath(name), name.endsWith(u".png"_s)
                                      ? QByteArray("\x89PNG\r\n\x1a\n")
                                      : "[InternetShortcut]\r\nURL=http://" +
                                            name.left(1).toLatin1() + ".example/s/img07.gif");
    return QUrl::fromLocalFile(dir.filePath(name));
}
class TestDrop : public QObject
{
    Q_OBJECT
private slots:
    // The clipboard, and a drag of links, text or files on the box, the window or a field,
    // delivered through the window as the desktop delivers one: the widget under the pointer
    // that takes drops, or the nearest of its parents that does, gets it.
    void take_data()
    {
        // how: clip, run (b.url dropped and clip during a run), or what is dragged (links, text,
        // files); target: the widget dropped on; payload: files are made in a fresh folder;
        // state: empty when nothing is taken
        columns<QString, QString, QStringList, QString>("how", "target", "payload", "state");
        const auto row = [](const char* name, const char* how, const char* target,
                            const QStringList& payload, const QString& state = {}) {
            QTest::newRow(name) << QString::fromLatin1(how) << QString::fromLatin1(target)
                                << payload << state;
        };
        const QString bState = u"http://b.example/s|img|07|gif|"_s; // and no alert
        const QString pasteAlert = u"||||FailurePasteURL"_s;
        row("clipboard: counted address", "clip", "", {kB}, bState);
        row("clipboard: no http: alert, cleared", "clip", "", {"ftp://b.example/s/img07.gif"},
            pasteAlert);
        row("neither source rewrites the fields of a run", "run", "", {kB});
        row("several files: the first bookmark, in capitals or not", "files", "mDropBox",
            {"b.URL", "c.url"}, bState);
        row("picture", "files", "mDropBox", {"p.png"});
        row("browser link on the box", "links", "mDropBox", {kB}, bState);
        row("link on the window, over the counter", "links", "mCounter", {kB}, bState);
        row("address text on a field: the whole address, not mid-text", "text", "mLocation", {kB},
            bState);
        row("https text on the box", "text", "mDropBox", {" https://b.example/s/img07.gif\n"},
            u"https://b.example/s|img|07|gif|"_s);
        row("ftp link: the clipboard's alert", "links", "mDropBox", {"ftp://b.example/s/img07.gif"},
            pasteAlert);
        row("words on a field: refused", "text", "mFileName", {"two words"});
    }
    void take()
    {
        QFETCH(QString, how);
        QFETCH(QString, target);
        QFETCH(QStringList, payload);
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
        if (target.isEmpty()) {
            QGuiApplication::clipboard()->setText(payload.value(0));
            how == u"run"_s ? w.controller.obtaion_from_clip()
                            : w.get<QPushButton>(u"mClipButton"_s)->click();
        } else {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString& item : payload)
                urls << (how == u"files"_s ? make(dir.path(), item) : QUrl(item));
            how == u"text"_s ? data.setText(payload.value(0)) : data.setUrls(urls);
            QWidget* window = w.controller.mainWindow();
            const QPoint at = w.get<QWidget>(target)->mapTo(window, QPoint(4, 4));
            const auto accepted = [&](QDropEvent&& event) {
                return QCoreApplication::sendEvent(window->windowHandle(), &event),
                       event.isAccepted();
            };
            const auto actions = Qt::CopyAction | Qt::LinkAction;
            // Any file is welcome over the box, which shows its image while the drag hovers.
            const bool entered = !state.isEmpty() || how == u"files"_s;
            QCOMPARE(accepted(QDragEnterEvent(at, actions, &data, Qt::LeftButton, {})), entered);
            auto* box = w.get<DropBox>(u"mDropBox"_s);
            QCOMPARE(!box->pixmap().isNull(), entered && target == u"mDropBox"_s);
            QCOMPARE(accepted(QDropEvent(at, actions, &data, Qt::LeftButton, {})),
                     !state.isEmpty());
            QVERIFY(box->pixmap().isNull());
        }
        QCOMPARE(w.fields().join(u'|') + u'|' + w.alert(), state.isEmpty() ? before : state);
        w.controller.stop_download();
        QTRY_VERIFY(!w.controller.isRunning());
    }
};

QTEST_MAIN(TestDrop)
#include "tst_ui_drop.moc"
