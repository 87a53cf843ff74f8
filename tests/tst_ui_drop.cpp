#include "app/controller.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
#include "sources/dropbox.h"
#include "support/quiethost.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {

// Set before the application exists: the settings' location is fixed at first use.
const QTemporaryDir kConfigHome;
const bool kConfigIsolated = qputenv("XDG_CONFIG_HOME", kConfigHome.path().toLocal8Bit());

const QString kB = u"http://b.example/s/img07.gif"_s;
const QString kBState = u"http://b.example/s|img|07|gif|"_s;

struct Window : QuietHost
{
    Controller controller{this};
    Window()
    {
        controller.applicationDidFinishLaunching();
        controller.takeAddress(u"http://old.example/p/a01.png"_s);
    }
    template <class T> T* get(const QString& n) const
    {
        return controller.mainWindow()->findChild<T*>(n);
    }
    // The four fields | the alert's text.
    QString state() const
    {
        QStringList out;
        for (const char* name : {"mLocation", "mFileName", "mNumber", "mExtension"})
            out << get<QLineEdit>(QLatin1String(name))->text();
        auto* alert = get<QMessageBox>(u"alertSheet"_s);
        return out.join(u'|') + u'|' + (alert ? alert->text() : QString());
    }
};

// "x/" is a folder, "*.png" a picture, "c.url" a bookmark of http://c.example/s/img07.gif.
void make(const QDir& dir, const QString& name)
{
    QFile file(dir.filePath(name));
    if (name.endsWith(u'/'))
        dir.mkpath(name);
    else if (file.open(QIODevice::WriteOnly))
        file.write(name.endsWith(u".png"_s) ? QByteArray("\x89PNG\r\n\x1a\n")
                                            : "[InternetShortcut]\r\nURL=http://" +
                                                  name.left(1).toLatin1() + ".example/s/img07.gif");
}

void drag(Window& w, const QStringList& files, const QString& how)
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
        QTEST(drop.isAccepted(), "taken");
    }
    QVERIFY(box->pixmap().isNull());
}

} // namespace

class TestDrop : public QObject
{
    Q_OBJECT

private slots:
    void take_data()
    {
        QTest::addColumn<QStringList>("files"); // made in a fresh folder, dragged in this order
        QTest::addColumn<QString>("how"); // drop, vanish first, leave, window: beside the box,
                                          // clip: the first "file" is the clipboard's text
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("state"); // empty: as before
        const QStringList b{"b.url"};
        const QString failed = u"||||FailurePasteURL"_s;
        QTest::newRow("clipboard: counted address") << QStringList{kB} << "clip" << true << kBState;
        QTest::newRow("clipboard: no http: alert, cleared")
            << QStringList{"ftp://b.example/s/img07.gif"} << "clip" << true << failed;
        QTest::newRow("clipboard: empty") << QStringList{} << "clip" << true << failed;
        QTest::newRow("bookmark") << b << "drop" << true << kBState;
        QTest::newRow("capitals refused") << QStringList{"b.URL"} << "drop" << false << "";
        QTest::newRow("folder named x.url") << QStringList{"x.url/"} << "drop" << true << "";
        QTest::newRow("several: the first bookmark")
            << QStringList{"b.url", "c.url"} << "drop" << true << kBState;
        QTest::newRow("picture") << QStringList{"p.png"} << "drop" << false << "";
        QTest::newRow("vanished before the drop") << b << "vanish" << false << "";
        QTest::newRow("left without a drop") << b << "leave" << false << "";
        QTest::newRow("beside the box") << b << "window" << false << "";
    }
    void take()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, how);
        QFETCH(QString, state);
        Window w;
        const QString before = w.state();
        if (how == u"clip"_s) {
            QGuiApplication::clipboard()->setText(files.value(0));
            w.get<QPushButton>(u"mClipButton"_s)->click();
        } else {
            drag(w, files, how);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(w.state(), state.isEmpty() ? before : state);
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
        const QString before = w.state();
        QGuiApplication::clipboard()->setText(kB);
        w.controller.obtaion_from_clip();
        QVERIFY(!w.controller.dropURLWithFile(folder.filePath(u"b.url"_s)));
        QCOMPARE(w.state(), before);
        w.controller.stop_download();
        QTRY_VERIFY(!w.controller.isRunning());
    }
};

QTEST_MAIN(TestDrop)
#include "tst_ui_drop.moc"
