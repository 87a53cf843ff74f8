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

using namespace Qt::StringLiterals;

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

    QDBusConnection peer{u"unset"_s};

    bool serve(const QString& service, const QString& path, FakeDesktop* desktop)
    {
        return peer.registerVirtualObject(path, desktop) && peer.registerService(service);
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!QDBusConnection::sessionBus().isConnected())
            QSKIP("needs a session bus: run under dbus-run-session");
        // A second connection plays the desktop, so calls really cross the bus.
        peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desktop"_s);
        QVERIFY(peer.isConnected());
    }

    void reveal_data()
    {
        QTest::addColumn<bool>("fileManager");
        QTest::addColumn<QString>("revealed");
        QTest::addColumn<QString>("opened"); // by the fallback; empty when nothing may open
        const QString file = u"run/pic 012.jpg"_s, dir = u"run"_s;
        QTest::newRow("file manager shows the file") << true << file << QString();
        QTest::newRow("without one, a file's folder opens") << false << file << dir;
        QTest::newRow("without one, a folder opens itself") << false << dir << dir;
    }

    void reveal()
    {
        QFETCH(bool, fileManager);
        QFETCH(QString, revealed);
        QFETCH(QString, opened);
        writeFile(u"run/pic 012.jpg"_s, "x");
        FakeDesktop desktop;
        if (fileManager)
            QVERIFY(
                serve("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", &desktop));
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(u"file"_s, &recorder, "open");

        DesktopHost().revealFile(gHome->filePath(revealed));
        if (fileManager) {
            QTRY_COMPARE(desktop.calls.size(), 1);
            QCOMPARE(desktop.calls.first().member(), u"ShowItems"_s);
            QCOMPARE(desktop.calls.first().arguments().first().toStringList(),
                     QStringList{QUrl::fromLocalFile(gHome->filePath(revealed)).toString()});
            QTest::qWait(200);
            QVERIFY(recorder.opened.isEmpty());
        } else {
            QTRY_COMPARE(recorder.opened.size(), 1);
            QCOMPARE(recorder.opened.first(), QUrl::fromLocalFile(gHome->filePath(opened)));
        }
        QDesktopServices::unsetUrlHandler(u"file"_s);
        peer.unregisterService(u"org.freedesktop.FileManager1"_s);
        peer.unregisterObject(u"/org/freedesktop/FileManager1"_s);
    }

    void attentionSendsOneNotification()
    {
        FakeDesktop desktop;
        QVERIFY(serve("org.freedesktop.Notifications", "/org/freedesktop/Notifications", &desktop));
        QWidget window;
        window.show();
        DesktopHost host;
        host.setWindow(&window);
        host.requestAttention(u"Stepgrab"_s, u"9 files"_s);
        QTRY_COMPARE(desktop.calls.size(), 1);
        QTest::qWait(200);
        QCOMPARE(desktop.calls.size(), 1);
        const QVariantList args = desktop.calls.first().arguments();
        QCOMPARE(desktop.calls.first().member(), u"Notify"_s);
        QCOMPARE((QVariantList{args.at(0), args.at(3), args.at(4)}),
                 (QVariantList{u"Stepgrab"_s, u"Stepgrab"_s, u"9 files"_s}));
    }

    void openAll_data()
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

    void openAll()
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
        QFile log(gHome->filePath(u"launches.log"_s));
        log.remove();
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler(u"file"_s, &recorder, "open");

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
        QDesktopServices::unsetUrlHandler(u"file"_s);
    }

    void soundNamesComeFromTheSoundFolders()
    {
        const QString glass = writeFile(u"data/sounds/Glass.oga"_s, "OggS");
        QVERIFY(sounds::soundNames().contains(u"Glass"_s));
        QCOMPARE(sounds::soundFile(u"Glass"_s), glass);
        QCOMPARE(sounds::soundFile(u"NoSuchSound"_s), QString());
    }
};

int main(int argc, char** argv)
{
    QTemporaryDir home;
    gHome = &home;
    // GIO reads these once, so the fake applications must be in place before anything starts.
    qputenv("XDG_DATA_HOME", home.filePath(u"data"_s).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(u"config"_s).toUtf8());
    // Each application records its name and the files of each launch, one line a launch.
    const QString recorder =
        writeFile(u"record.sh"_s,
                  QStringLiteral("#!/bin/sh\napp=$1; shift\n{ printf '%s' \"$app\"; for f; do "
                                 "printf ' %s' \"${f##*/}\"; done; echo; } >> '%1'\n")
                      .arg(home.filePath(u"launches.log"_s))
                      .toUtf8(),
                  true);
    const QString entry =
        u"[Desktop Entry]\nType=Application\nName=%1\nExec=%2 %1 %3\nMimeType=%4;\n"_s;
    for (const auto& [app, files, type] : {std::tuple{"image-viewer", "%F", "image/jpeg"},
                                           {"archive-tool", "%F", "application/zip"},
                                           {"single-viewer", "%f", "image/gif"}})
        writeFile(u"data/applications/%1.desktop"_s.arg(app),
                  entry.arg(app, recorder, files, type).toUtf8());
    writeFile(u"config/mimeapps.list"_s,
              "[Default Applications]\nimage/jpeg=image-viewer.desktop\n"
              "application/zip=archive-tool.desktop\nimage/gif=single-viewer.desktop\n");
    QApplication app(argc, argv);
    TestDesktopHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbus_host.moc"
