#include "fixtureserver.h"
#include "sources/dropbox.h"
#include "support/qt.h"
#include "support/window.h"

using namespace Qt::StringLiterals;

static const QString kB = u"http://b.example/s/img07.gif"_s;

// "x/" is a folder, "*.png" a picture, "c.url" a bookmark of http://c.example/s/img07.gif.
static void make(const QDir& dir, const QString& name)
{
    QFile file(dir.filePath(name));
    if (name.endsWith(u'/'))
        dir.mkpath(name);
    else if (file.open(QIODevice::WriteOnly))
        file.write(name.endsWith(u".png"_s) ? QByteArray("\x89PNG\r\n\x1a\n")
                                            : "[InternetShortcut]\r\nURL=http://" +
                                                  name.left(1).toLatin1() + ".example/s/img07.gif");
}

class TestDrop : public QObject
{
    Q_OBJECT

    // Drags the files over the box (or beside it), then drops, lets them vanish or leaves.
    static void drag(Window& w, const QStringList& files, const QString& how, bool taken)
    {
        QTemporaryDir dir;
        QList<QUrl> urls;
        for (const QString& name : files) {
            make(QDir(dir.path()), name);
            urls << QUrl::fromLocalFile(dir.filePath(name.chopped(name.endsWith(u'/'))));
        }
        QMimeData data;
        data.setUrls(urls);
        auto* box = w.get<DropBox>(u"mDropBox"_s);
        const bool onBox = how != u"window"_s;
        QWidget* target = onBox ? static_cast<QWidget*>(box) : w.controller.mainWindow();
        const auto actions = Qt::CopyAction | Qt::LinkAction;
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), onBox);
        QCOMPARE(box->pixmap().isNull(), !onBox); // the image shown during the hover
        if (onBox) {
            QDragMoveEvent move(at, actions, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &move);
            QVERIFY(move.isAccepted());
        }
        if (how == u"vanish"_s)
            QVERIFY(QFile::remove(urls.first().toLocalFile()));
        if (how == u"leave"_s) {
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(target, &leave);
        } else if (onBox) {
            QDropEvent drop(at, actions, &data, Qt::LeftButton, {});
            QCoreApplication::sendEvent(target, &drop);
            QCOMPARE(drop.isAccepted(), taken);
        }
        QVERIFY(box->pixmap().isNull());
    }

private slots:
    void take_data()
    {
        QTest::addColumn<QStringList>("files"); // made in a fresh folder, dragged in this order
        QTest::addColumn<QString>("how"); // drop, vanish first, leave, window: beside the box,
                                          // clip: the first "file" is the clipboard's text
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("state"); // empty: as before
        const QStringList b{"b.url"};
        const QString bState = u"http://b.example/s|img|07|gif|"_s;
        QTest::newRow("clipboard: counted address") << QStringList{kB} << "clip" << true << bState;
        QTest::newRow("clipboard: no http: alert, cleared")
            << QStringList{"ftp://b.example/s/img07.gif"} << "clip" << true
            << "||||FailurePasteURL";
        QTest::newRow("bookmark") << b << "drop" << true << bState;
        QTest::newRow("capitals refused") << QStringList{"b.URL"} << "drop" << false << "";
        QTest::newRow("folder named x.url") << QStringList{"x.url/"} << "drop" << true << "";
        QTest::newRow("several: the first bookmark")
            << QStringList{"b.url", "c.url"} << "drop" << true << bState;
        QTest::newRow("picture") << QStringList{"p.png"} << "drop" << false << "";
        QTest::newRow("vanished before the drop") << b << "vanish" << false << "";
        QTest::newRow("left without a drop") << b << "leave" << false << "";
        QTest::newRow("beside the box") << b << "window" << false << "";
    }
    void take()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, how);
        QFETCH(bool, taken);
        QFETCH(QString, state);
        Window w;
        w.controller.takeAddress(u"http://old.example/p/a01.png"_s);
        const QString before = w.fields().join(u'|') + u'|' + w.alert();
        if (how == u"clip"_s) {
            QGuiApplication::clipboard()->setText(files.value(0));
            w.get<QPushButton>(u"mClipButton"_s)->click();
        } else {
            drag(w, files, how, taken);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(w.fields().join(u'|') + u'|' + w.alert(), state.isEmpty() ? before : state);
    }

    // The fields are locked while a run counts them: neither source may rewrite them.
    void duringRun()
    {
        FixtureServer server;
        server.addStall(u"/s/pic001.jpg"_s, 10);
        QTemporaryDir folder;
        make(QDir(folder.path()), u"b.url"_s);
        Window w;
        w.controller.mOutputDirectory = folder.path();
        w.controller.takeAddress(server.baseUrl() + u"/s/pic001.jpg"_s);
        w.controller.start_download();
        const QStringList before = w.fields();
        QGuiApplication::clipboard()->setText(kB);
        w.controller.obtaion_from_clip();
        QVERIFY(!w.controller.dropURLWithFile(folder.filePath(u"b.url"_s)));
        QCOMPARE(w.fields(), before);
        w.controller.stop_download();
        QTRY_VERIFY(!w.controller.isRunning());
    }
};

QTEST_MAIN(TestDrop)
#include "tst_ui_drop.moc"
