// The desktop host against a fake desktop on a private session bus.
#include "host/desktophost.h"
#include "support/qt.h"

using namespace Qt::StringLiterals;

static QTemporaryDir gHome;

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
    // What reaches the desktop, each once: calls and opened URLs.
    void request_data()
    {
        QTest::addColumn<QString>("service"); // the fake desktop serves it
        QTest::addColumn<QString>("request"); // a file to reveal, or none: attention
        QTest::addColumn<QStringList>("seen");
        QTest::newRow("file manager shows the file")
            << u"org.freedesktop.FileManager1"_s << u"run/pic 012.jpg"_s
            << QStringList{"ShowItems file://~/run/pic%20012.jpg"};
        QTest::newRow("without one, a file's folder opens")
            << QString() << u"run/pic 012.jpg"_s << QStringList{"open ~/run"};
        QTest::newRow("attention: a notification")
            << u"org.freedesktop.Notifications"_s << QString()
            << QStringList{"Notify Stepgrab stepgrab Stepgrab 9 files"};
    }

    void request()
    {
        QFETCH(QString, service);
        QFETCH(QString, request);
        FakeDesktop desktop;
        const QString path = '/' + QString(service).replace(u'.', u'/'); // as the name spells
        QVERIFY(service.isEmpty() ||
                (peer.registerVirtualObject(path, &desktop) && peer.registerService(service)));
        DesktopHost host;
        if (request.isEmpty()) {
            host.requestAttention(u"Stepgrab"_s, u"9 files"_s);
        } else {
            QFile file(gHome.filePath(request));
            QVERIFY(QDir().mkpath(QFileInfo(file).path()) && file.open(QIODevice::WriteOnly));
            host.revealFile(file.fileName());
        }
        const auto reached = [&] { return desktop.seen.replaceInStrings(gHome.path(), u"~"_s); };
        QFETCH(QStringList, seen);
        QTRY_COMPARE(reached(), seen);
        QTest::qWait(200); // for anything sent twice, or a fallback that opens as well
        QCOMPARE(reached(), seen);
        peer.unregisterService(service);
    }
};

QTEST_MAIN(TestDesktopHost)
#include "tst_dbus_host.moc"
