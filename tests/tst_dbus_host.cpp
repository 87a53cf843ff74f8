// The desktop host against real peers: a fake desktop on a private session bus,
// and real .desktop applications launched through GIO.
#include "host/desktophost.h"
#include "host/soundfolders.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDesktopServices>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace {

QTemporaryDir* gHome = nullptr;

QString writeFile(const QString& name, const QByteArray& data, bool executable = false)
{
    const QString path = gHome->filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(data);
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner);
    return path;
}

} // namespace

// Answers every call on the paths it is registered at, and remembers them.
class FakeDesktop : public QDBusVirtualObject
{
    Q_OBJECT

public:
    QList<QDBusMessage> calls;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        calls.append(message);
        connection.send(message.member() == u"Notify" ? message.createReply(1u)
                                                      : message.createReply());
        return true;
    }
};

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public Q_SLOTS:
    void open(const QUrl& url) { opened.append(url); }
};

class TestDesktopHost : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void reveal_data();
    void reveal();
    void attentionSendsOneNotification();
    void openAll_data();
    void openAll();
    void soundNamesComeFromTheSoundFolders();

private:
    bool serve(const QString& service, const QString& path, FakeDesktop* desktop);
    QDBusConnection peer{QStringLiteral("unset")};
};

void TestDesktopHost::initTestCase()
{
    if (!QDBusConnection::sessionBus().isConnected())
        QSKIP("needs a session bus: run under dbus-run-session");
    // A second connection plays the desktop, so calls really cross the bus.
    peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("desktop"));
    QVERIFY(peer.isConnected());
}

bool TestDesktopHost::serve(const QString& service, const QString& path, FakeDesktop* desktop)
{
    return peer.registerVirtualObject(path, desktop) && peer.registerService(service);
}

void TestDesktopHost::reveal_data()
{
    QTest::addColumn<bool>("fileManager");
    QTest::addColumn<QString>("revealed");
    QTest::addColumn<QString>("opened"); // by the fallback; empty when nothing may open
    QTest::newRow("file manager shows the file") << true << "run/pic 012.jpg"
                                                 << "";
    QTest::newRow("without one, a file's folder opens") << false << "run/pic 012.jpg"
                                                        << "run";
    QTest::newRow("without one, a folder opens itself") << false << "run"
                                                        << "run";
}

void TestDesktopHost::reveal()
{
    QFETCH(bool, fileManager);
    QFETCH(QString, revealed);
    QFETCH(QString, opened);
    writeFile(QStringLiteral("run/pic 012.jpg"), "x");
    FakeDesktop desktop;
    if (fileManager)
        QVERIFY(serve("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", &desktop));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    DesktopHost().revealFile(gHome->filePath(revealed));
    if (fileManager) {
        QTRY_COMPARE(desktop.calls.size(), 1);
        QCOMPARE(desktop.calls.first().member(), QStringLiteral("ShowItems"));
        QCOMPARE(desktop.calls.first().arguments().first().toStringList(),
                 QStringList{QUrl::fromLocalFile(gHome->filePath(revealed)).toString()});
        QTest::qWait(200);
        QVERIFY(recorder.opened.isEmpty());
    } else {
        QTRY_COMPARE(recorder.opened.size(), 1);
        QCOMPARE(recorder.opened.first(), QUrl::fromLocalFile(gHome->filePath(opened)));
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    peer.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    peer.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

void TestDesktopHost::attentionSendsOneNotification()
{
    FakeDesktop desktop;
    QVERIFY(serve("org.freedesktop.Notifications", "/org/freedesktop/Notifications", &desktop));
    QWidget window;
    window.show();
    DesktopHost host;
    host.setWindow(&window);
    host.requestAttention(QStringLiteral("Stepgrab"), QStringLiteral("9 files"));
    QTRY_COMPARE(desktop.calls.size(), 1);
    QTest::qWait(200);
    QCOMPARE(desktop.calls.size(), 1);
    const QVariantList args = desktop.calls.first().arguments();
    QCOMPARE(desktop.calls.first().member(), QStringLiteral("Notify"));
    QCOMPARE((QVariantList{args.at(0), args.at(3), args.at(4)}),
             (QVariantList{QStringLiteral("Stepgrab"), QStringLiteral("Stepgrab"),
                           QStringLiteral("9 files")}));
}

void TestDesktopHost::openAll_data()
{
    QTest::addColumn<QStringList>("files");        // in the order of the listing
    QTest::addColumn<QStringList>("launches");     // one line per process an application got
    QTest::addColumn<QStringList>("byTheDesktop"); // left to the desktop's opener
    // image-viewer and archive-tool take lists (%F), single-viewer one file (%f).
    QTest::newRow("two jpgs and a zip: two applications, the jpgs in one launch")
        << QStringList{"a.jpg", "b.zip", "c.jpg"}
        << QStringList{"archive-tool b.zip", "image-viewer a.jpg c.jpg"} << QStringList{};
    QTest::newRow("application that takes one file: one launch each")
        << QStringList{"a.gif", "b.gif"}
        << QStringList{"single-viewer a.gif", "single-viewer b.gif"} << QStringList{};
    QTest::newRow("no application known: the desktop's opener, file by file")
        << QStringList{"a.zzqq", "b.jpg", "c.zzqq"} << QStringList{"image-viewer b.jpg"}
        << QStringList{"a.zzqq", "c.zzqq"};
}

void TestDesktopHost::openAll()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, launches);
    QFETCH(QStringList, byTheDesktop);
    // What the content sniffing sees first; a .zzqq is nothing it knows.
    const QHash<QString, QByteArray> magic{{"jpg", "\xFF\xD8\xFF\xE0\0\x10JFIF"},
                                           {"zip", "PK\x03\x04\x14\0\0\0"},
                                           {"gif", "GIF89a\x01\0\x01\0"},
                                           {"zzqq", QByteArray("\x00\x01\x02", 3)}};
    const QString dir = QString::fromUtf8(QTest::currentDataTag());
    QStringList paths;
    for (const QString& name : files)
        paths << writeFile("open/" + dir + u'/' + name, magic.value(QFileInfo(name).suffix()));
    QFile log(gHome->filePath(QStringLiteral("launches.log")));
    log.remove();
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    DesktopHost().openFilesEach(paths);
    const auto launched = [&] {
        if (!log.open(QIODevice::ReadOnly))
            return QStringList();
        QStringList lines = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
        log.close();
        lines.sort();
        return lines;
    };
    QTRY_COMPARE(launched(), launches);
    QStringList opened;
    for (const QUrl& url : std::as_const(recorder.opened))
        opened << url.fileName();
    QCOMPARE(opened, byTheDesktop);
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestDesktopHost::soundNamesComeFromTheSoundFolders()
{
    const QString glass = writeFile(QStringLiteral("data/sounds/Glass.oga"), "OggS");
    QVERIFY(sounds::soundNames().contains(QStringLiteral("Glass")));
    QCOMPARE(sounds::soundFile(QStringLiteral("Glass")), glass);
    QCOMPARE(sounds::soundFile(QStringLiteral("NoSuchSound")), QString());
}

int main(int argc, char** argv)
{
    QTemporaryDir home;
    gHome = &home;
    // GIO reads these once, so the fake applications must be in place before anything starts.
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    // Each application records its name and the files of each launch, one line a launch.
    const QString recorder =
        writeFile(QStringLiteral("record.sh"),
                  QStringLiteral("#!/bin/sh\napp=$1; shift\n{ printf '%s' \"$app\"; for f; do "
                                 "printf ' %s' \"${f##*/}\"; done; echo; } >> '%1'\n")
                      .arg(home.filePath(QStringLiteral("launches.log")))
                      .toUtf8(),
                  true);
    const QString entry =
        QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %1 %3\nMimeType=%4;\n");
    writeFile(QStringLiteral("data/applications/image-viewer.desktop"),
              entry.arg("image-viewer", recorder, "%F", "image/jpeg").toUtf8());
    writeFile(QStringLiteral("data/applications/archive-tool.desktop"),
              entry.arg("archive-tool", recorder, "%F", "application/zip").toUtf8());
    writeFile(QStringLiteral("data/applications/single-viewer.desktop"),
              entry.arg("single-viewer", recorder, "%f", "image/gif").toUtf8());
    writeFile(QStringLiteral("config/mimeapps.list"),
              "[Default Applications]\nimage/jpeg=image-viewer.desktop\n"
              "application/zip=archive-tool.desktop\nimage/gif=single-viewer.desktop\n");
    QApplication app(argc, argv);
    TestDesktopHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbus_host.moc"
