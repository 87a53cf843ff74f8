// The desktop host against a fake desktop on a private session bus and real GIO launches.
#include "host/desktophost.h"
#include "support/qt.h"

using namespace Qt::StringLiterals;

static QTemporaryDir gHome;

static QString writeFile(const QString& name, const QByteArray& data)
{
    const QString path = gHome.filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) // not where a folder is meant
        file.write(data);
    return path;
}

// Answers D-Bus calls where registered, takes the file: URLs for the desktop's opener.
class FakeDesktop : public QDBusVirtualObject
{
    Q_OBJECT

public:
    QStringList seen;
    FakeDesktop() { QDesktopServices::setUrlHandler(u"file"_s, this, "open"); }
    Q_INVOKABLE void open(const QUrl& url) { seen << "open " + url.toLocalFile(); }
    ~FakeDesktop() override { QDesktopServices::unsetUrlHandler(u"file"_s); }
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        QStringList call{message.member()};
        for (const QVariant& argument : message.arguments())
            call += argument.toStringList(); // the texts; numbers and maps give none
        seen << call.join(u' ').trimmed();
        return connection.send(message.createReply());
    }
};

class TestDesktopHost : public QObject
{
    Q_OBJECT

    // A second connection plays the desktop, so calls really cross the bus.
    QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"desk"_s);

private Q_SLOTS:
    void initTestCase()
    {
        // GIO reads these once, so the fake applications must be in place before it starts.
        qputenv("XDG_DATA_HOME", gHome.filePath(u"data"_s).toUtf8());
        qputenv("XDG_CONFIG_HOME", gHome.filePath(u"config"_s).toUtf8());
        const QString recorder = writeFile(u"record.sh"_s, "echo \"$@\" >> \"$0.log\"\n");
        for (const auto& [app, type] : {std::pair{"image-viewer", "image/jpeg"},
                                        std::pair{"archive-tool", "application/zip"}})
            writeFile(u"data/applications/%1.desktop"_s.arg(app),
                      u"[Desktop Entry]\nType=Application\nName=%1\nExec=/bin/sh %3 %1 %F\n"
                      "MimeType=%2;\n"_s.arg(app, type, recorder)
                          .toUtf8());
        writeFile(u"config/mimeapps.list"_s,
                  "[Default Applications]\nimage/jpeg=image-viewer.desktop\n"
                  "application/zip=archive-tool.desktop\n");
    }

    // What reaches the desktop, each once: calls, opened URLs, launches (application, files).
    void request_data()
    {
        QTest::addColumn<QString>("service"); // the fake desktop serves it
        QTest::addColumn<QStringList>("request");
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("file manager shows the file")
            << u"org.freedesktop.FileManager1"_s << QStringList{"reveal", "run/pic 012.jpg"}
            << QStringList{"ShowItems file://~/run/pic%20012.jpg"};
        QTest::newRow("without one, a file's folder opens")
            << QString() << QStringList{"reveal", "run/pic 012.jpg"} << QStringList{"open ~/run"};
        QTest::newRow("without one, a folder opens itself")
            << QString() << QStringList{"reveal", "run/"} << QStringList{"open ~/run/"};
        QTest::newRow("attention: a notification")
            << u"org.freedesktop.Notifications"_s << QStringList{"attention"}
            << QStringList{"Notify Stepgrab stepgrab Stepgrab 9 files"};
        QTest::newRow("open all: one launch per application, unknown types to the opener")
            << QString() << QStringList{"open", "a.jpg", "b.zip", "c.zzqq", "d.jpg"}
            << QStringList{"archive-tool ~/b.zip", "image-viewer ~/a.jpg ~/d.jpg", "open ~/c.zzqq"};
    }

    void request()
    {
        QFETCH(QString, service);
        QFETCH(QStringList, request);
        FakeDesktop desktop;
        const QString path = '/' + QString(service).replace(u'.', u'/'); // as the name spells
        QVERIFY(service.isEmpty() ||
                (peer.registerVirtualObject(path, &desktop) && peer.registerService(service)));
        writeFile(u"record.sh.log"_s, {});
        QStringList files;
        for (const QString& name : request.mid(1))
            files << writeFile(name, QByteArray("x\0", 2));
        DesktopHost host;
        if (request[0] == u"attention")
            host.requestAttention(u"Stepgrab"_s, u"9 files"_s);
        else if (request[0] == u"reveal")
            host.revealFile(files[0]);
        else
            host.openFilesEach(files);
        const auto reached = [&] {
            QFile log(gHome.filePath(u"record.sh.log"_s));
            log.open(QIODevice::ReadOnly);
            QStringList lines =
                desktop.seen + QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
            lines.replaceInStrings(gHome.path(), u"~"_s).sort();
            return lines;
        };
        QFETCH(QStringList, seen);
        QTRY_COMPARE(reached(), seen);
        QTest::qWait(200); // for anything sent twice, or a fallback that opens as well
        QCOMPARE(reached(), seen);
        peer.unregisterService(service);
    }
};

QTEST_MAIN(TestDesktopHost)
#include "tst_dbus_host.moc"
