#include "app/controller.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
#include "host/host.h"
#include "sources/dropbox.h"

#include <QtTest>
#include <QtWidgets>

using namespace Qt::StringLiterals;

namespace {

// Set before the application exists: the settings' location is fixed at first use.
const QTemporaryDir kConfigHome;
const bool kConfigIsolated = qputenv("XDG_CONFIG_HOME", kConfigHome.path().toLocal8Bit());

const QString kBefore = u"http://old.example/p/a01.png"_s;

struct Window : Host
{
    Controller controller{this};

    Window()
    {
        controller.applicationDidFinishLaunching();
        controller.takeAddress(kBefore);
    }
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    void revealFile(const QString&) override {}
    bool openFile(const QString&) override { return true; }
    void openFilesEach(const QStringList&) override {}
    bool openURL(const QUrl&) override { return true; }
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

// A bookmark named b.url holds http://b.example/s/img07.gif; ftp.url an ftp address.
void make(const QDir& dir, const QString& name)
{
    if (name.endsWith(u'/')) {
        QVERIFY(dir.mkpath(name));
        return;
    }
    const QString host = QFileInfo(name).completeBaseName();
    const QString scheme = host == u"ftp"_s ? u"ftp"_s : u"http"_s;
    QFile file(dir.filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        name.endsWith(u".png"_s)
            ? QByteArray("\x89PNG\r\n\x1a\n")
            : u"[InternetShortcut]\r\nURL=%1://%2.example/s/img07.gif\r\n"_s.arg(scheme, host)
                  .toLatin1());
}

} // namespace

class TestDrop : public QObject
{
    Q_OBJECT

private slots:
    void clipboard_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("state");
        QTest::newRow("counted address")
            << u"http://b.example/s/img07.gif"_s << u"http://b.example/s|img|07|gif|"_s;
        QTest::newRow("no extension: whole")
            << u"http://b.example/s/"_s << u"http://b.example/s/||||"_s;
        QTest::newRow("no http") << u"ftp://b.example/s/img07.gif"_s << u"||||FailurePasteURL"_s;
        QTest::newRow("empty clipboard") << QString() << u"||||FailurePasteURL"_s;
    }
    void clipboard()
    {
        QFETCH(QString, text);
        QFETCH(QString, state);
        Window w;
        QGuiApplication::clipboard()->setText(text);
        auto* clip = w.get<QPushButton>(u"mClipButton"_s);
        QVERIFY(clip->isEnabled());
        clip->click();
        QCOMPARE(w.state(), state);
    }

    void drop_data()
    {
        QTest::addColumn<QStringList>("files");   // made in a fresh folder
        QTest::addColumn<QStringList>("dragged"); // in this order; an address is not a file
        QTest::addColumn<bool>("onBox");          // else over the window beside the box
        QTest::addColumn<bool>("offered");
        QTest::addColumn<bool>("taken");
        QTest::addColumn<QString>("state"); // empty: as before
        const QStringList b{u"b.url"_s};
        const QString bState = u"http://b.example/s|img|07|gif|"_s;
        QTest::newRow("bookmark") << b << b << true << true << true << bState;
        QTest::newRow("capitals refused") << QStringList{u"b.URL"_s} << QStringList{u"b.URL"_s}
                                          << true << true << false << QString();
        QTest::newRow("folder named x.url") << QStringList{u"x.url/"_s} << QStringList{u"x.url"_s}
                                            << true << true << true << QString();
        QTest::newRow("several: the first bookmark")
            << QStringList{u"b.url"_s, u"c.url"_s} << QStringList{u"b.url"_s, u"c.url"_s} << true
            << true << true << bState;
        QTest::newRow("several: a picture first")
            << QStringList{u"p.png"_s, u"c.url"_s} << QStringList{u"p.png"_s, u"c.url"_s} << true
            << true << false << QString();
        QTest::newRow("picture") << QStringList{u"p.png"_s} << QStringList{u"p.png"_s} << true
                                 << true << false << QString();
        QTest::newRow("vanished before the drop")
            << b << QStringList{u"-b.url"_s} << true << true << false << QString();
        QTest::newRow("ftp bookmark: cleared, no alert")
            << QStringList{u"ftp.url"_s} << QStringList{u"ftp.url"_s} << true << true << true
            << u"||||"_s;
        QTest::newRow("web address") << QStringList{} << QStringList{u"http://b.example/b.url"_s}
                                     << true << false << false << QString();
        QTest::newRow("beside the box") << b << b << false << false << false << QString();
    }
    void drop()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, dragged);
        QFETCH(bool, onBox);
        QFETCH(bool, offered);
        QFETCH(bool, taken);
        QFETCH(QString, state);
        QTemporaryDir dir;
        for (const QString& name : files)
            make(QDir(dir.path()), name);
        QList<QUrl> urls;
        for (const QString& name : dragged)
            urls << (name.startsWith(u"http"_s)
                         ? QUrl(name)
                         : QUrl::fromLocalFile(dir.filePath(name.mid(name.startsWith(u'-')))));
        QMimeData data;
        data.setUrls(urls);

        Window w;
        const QString before = w.state();
        auto* box = w.get<DropBox>(u"mDropBox"_s);
        QWidget* target = onBox ? static_cast<QWidget*>(box) : w.controller.mainWindow();
        const Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction;
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, actions, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), offered);
        QCOMPARE(!box->pixmap().isNull(), offered);
        if (!offered) {
            QCOMPARE(w.state(), before);
            return;
        }
        QDragMoveEvent move(at, actions, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &move);
        QVERIFY(move.isAccepted());
        for (const QString& name : dragged)
            if (name.startsWith(u'-'))
                QVERIFY(QFile::remove(dir.filePath(name.mid(1))));
        QDropEvent drop(at, actions, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &drop);
        QCOMPARE(drop.isAccepted(), taken);
        QVERIFY(box->pixmap().isNull());
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
        QVERIFY(w.controller.isRunning());
        const QString before = w.state();
        QGuiApplication::clipboard()->setText(u"http://b.example/s/img07.gif"_s);
        QVERIFY(!w.get<QPushButton>(u"mClipButton"_s)->isEnabled());
        w.controller.obtaion_from_clip();
        QVERIFY(!w.controller.dropURLWithFile(folder.filePath(u"b.url"_s)));
        QCOMPARE(w.state(), before);
        w.controller.stop_download();
        QTRY_VERIFY(!w.controller.isRunning());
    }

    void dragLeft()
    {
        Window w;
        auto* box = w.get<DropBox>(u"mDropBox"_s);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(u"/etc/hostname"_s)});
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(box, &enter);
        QVERIFY(!box->pixmap().isNull());
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(box, &leave);
        QVERIFY(box->pixmap().isNull());
    }
};

QTEST_MAIN(TestDrop)
#include "tst_ui_drop.moc"
