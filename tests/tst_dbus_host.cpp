// The desktop host against real peers: fake desktop services registered on a
// private session bus, and a real .desktop application launched through GIO.
#include "host/desktophost.h"
#include "host/soundfolders.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

QTemporaryDir* gHome = nullptr;

void writeFile(const QString& path, const QByteArray& data, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

} // namespace

class FakeFileManager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public Q_SLOTS:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        Q_EMIT shown(uris);
    }

Q_SIGNALS:
    void shown(const QStringList& uris);
};

class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public Q_SLOTS:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(replaces);
        Q_UNUSED(icon);
        Q_UNUSED(actions);
        Q_UNUSED(hints);
        Q_UNUSED(timeout);
        Q_EMIT notified(app, summary, body);
        return 1;
    }

Q_SIGNALS:
    void notified(const QString& app, const QString& summary, const QString& body);
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
    void revealGoesToTheFileManager();
    void revealFallsBackToOpeningTheFolder_data();
    void revealFallsBackToOpeningTheFolder();
    void attentionSendsOneNotification();
    void openAllUsesTheFirstFilesApplication_data();
    void openAllUsesTheFirstFilesApplication();
    void openAllWithoutApplicationSaysSo();
    void soundNamesComeFromTheSoundFolders();

private:
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

void TestDesktopHost::revealGoesToTheFileManager()
{
    FakeFileManager manager;
    QVERIFY(peer.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                QDBusConnection::ExportAllSlots));
    QVERIFY(peer.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");

    QSignalSpy shown(&manager, &FakeFileManager::shown);
    DesktopHost host;
    const QString file = gHome->filePath(QStringLiteral("run/pic 012.jpg"));
    writeFile(file, "x");
    host.revealFile(file);
    QVERIFY(shown.wait(5000));
    QCOMPARE(shown.first().first().toStringList(), QStringList{QUrl::fromLocalFile(file).toString()});
    QTest::qWait(200);
    QVERIFY2(recorder.opened.isEmpty(), "a file manager answered, so nothing else may open");

    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    peer.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
    peer.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
}

void TestDesktopHost::revealFallsBackToOpeningTheFolder_data()
{
    QTest::addColumn<QString>("revealed");
    QTest::addColumn<QString>("opened");
    QTest::newRow("file opens its folder") << QStringLiteral("fallback/a.jpg") << QStringLiteral("fallback");
    QTest::newRow("folder opens itself") << QStringLiteral("fallback") << QStringLiteral("fallback");
}

void TestDesktopHost::revealFallsBackToOpeningTheFolder()
{
    QFETCH(QString, revealed);
    QFETCH(QString, opened);
    QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.FileManager1")));
    writeFile(gHome->filePath(QStringLiteral("fallback/a.jpg")), "x");
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &recorder, "open");
    DesktopHost host;
    host.revealFile(gHome->filePath(revealed));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.opened.size(), 1, 5000);
    QCOMPARE(recorder.opened.first(), QUrl::fromLocalFile(gHome->filePath(opened)));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestDesktopHost::attentionSendsOneNotification()
{
    FakeNotifications server;
    QVERIFY(peer.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                QDBusConnection::ExportAllSlots));
    QVERIFY(peer.registerService(QStringLiteral("org.freedesktop.Notifications")));
    QSignalSpy notified(&server, &FakeNotifications::notified);
    DesktopHost host;
    QWidget window;
    window.show();
    host.setWindow(&window);
    host.requestAttention(QStringLiteral("Stepgrab"), QStringLiteral("9 files"));
    QVERIFY(notified.wait(5000));
    QTest::qWait(200);
    QCOMPARE(notified.size(), 1);
    QCOMPARE(notified.first(), (QVariantList{QStringLiteral("Stepgrab"), QStringLiteral("Stepgrab"),
                                             QStringLiteral("9 files")}));
    peer.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    peer.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

void TestDesktopHost::openAllUsesTheFirstFilesApplication_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QStringList>("expectedLaunches");
    // multi-viewer takes a list (%F), single-viewer one file (%f).
    QTest::newRow("takes several files: one launch") << QStringLiteral("png")
                                                      << QStringList{QStringLiteral("a1.png a2.png a3.txt")};
    QTest::newRow("takes one file: one launch each")
        << QStringLiteral("gif")
        << QStringList{QStringLiteral("a1.gif"), QStringLiteral("a2.gif"), QStringLiteral("a3.txt")};
}

void TestDesktopHost::openAllUsesTheFirstFilesApplication()
{
    QFETCH(QString, extension);
    QFETCH(QStringList, expectedLaunches);
    const QString dir = gHome->filePath(QStringLiteral("open-") + extension);
    QStringList files;
    for (const QString& name : {QStringLiteral("a1.") + extension, QStringLiteral("a2.") + extension,
                                QStringLiteral("a3.txt")}) {
        files << dir + u'/' + name;
        writeFile(files.last(), "data");
    }
    const QString log = gHome->filePath(QStringLiteral("launches.log"));
    QFile::remove(log);

    DesktopHost host;
    QVERIFY(host.openFilesWithApplicationOf(files.first(), files));
    QTRY_COMPARE_WITH_TIMEOUT(
        [&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? f.readAll().count('\n') : 0;
        }(),
        qsizetype(expectedLaunches.size()), 5000);
    QFile f(log);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QStringList launches = QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    launches.sort();
    QCOMPARE(launches, expectedLaunches);
}

void TestDesktopHost::openAllWithoutApplicationSaysSo()
{
    const QString file = gHome->filePath(QStringLiteral("unknown/a1.zzqq"));
    writeFile(file, QByteArray("\x00\x01\x02\x03", 4));
    DesktopHost host;
    QVERIFY(!host.openFilesWithApplicationOf(file, {file}));
}

void TestDesktopHost::soundNamesComeFromTheSoundFolders()
{
    writeFile(gHome->filePath(QStringLiteral("data/sounds/Glass.oga")), "OggS");
    QVERIFY(sounds::soundNames().contains(QStringLiteral("Glass")));
    QCOMPARE(sounds::soundFile(QStringLiteral("Glass")), gHome->filePath(QStringLiteral("data/sounds/Glass.oga")));
    QCOMPARE(sounds::soundFile(QStringLiteral("NoSuchSound")), QString());
}

int main(int argc, char** argv)
{
    QTemporaryDir home;
    gHome = &home;
    // GIO reads these once, so the fake applications must be in place before anything starts.
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toUtf8());
    const QString log = home.filePath(QStringLiteral("launches.log"));
    writeFile(home.filePath(QStringLiteral("record.sh")),
              QStringLiteral("#!/bin/sh\nfor f in \"$@\"; do printf '%s ' \"$(basename \"$f\")\"; done | "
                             "sed 's/ $//' >> '%1'\necho >> '%1'\n")
                  .arg(log)
                  .toUtf8(),
              true);
    const QString recorder = home.filePath(QStringLiteral("record.sh"));
    writeFile(home.filePath(QStringLiteral("data/applications/multi-viewer.desktop")),
              QStringLiteral("[Desktop Entry]\nType=Application\nName=Multi\nExec=%1 %F\nMimeType=image/png;\n")
                  .arg(recorder)
                  .toUtf8());
    writeFile(home.filePath(QStringLiteral("data/applications/single-viewer.desktop")),
              QStringLiteral("[Desktop Entry]\nType=Application\nName=Single\nExec=%1 %f\nMimeType=image/gif;\n")
                  .arg(recorder)
                  .toUtf8());
    writeFile(home.filePath(QStringLiteral("config/mimeapps.list")),
              "[Default Applications]\nimage/png=multi-viewer.desktop\nimage/gif=single-viewer.desktop\n");
    QApplication app(argc, argv);
    TestDesktopHost test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_dbus_host.moc"
