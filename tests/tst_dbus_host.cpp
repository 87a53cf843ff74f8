// The desktop host against a fake desktop and a dock on a private session bus.
#include "host/desktophost.h"
#include "support/qt.h"
#include "support/table.h"

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

// What a dock hears: each Update as "path application key=value type, …".
class Dock : public QObject
{
    Q_OBJECT

public:
    QStringList heard;

public slots:
    void update(const QDBusMessage& message)
    {
        const QVariantMap properties = qdbus_cast<QVariantMap>(message.arguments().value(1));
        QStringList shown;
        for (auto [key, value] : properties.asKeyValueRange())
            shown << key + u'=' + value.toString() + u' ' + QLatin1String(value.typeName());
        heard << message.path() + u' ' + message.arguments().value(0).toString() + u' ' +
                     shown.join(u", "_s);
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

    // The task bar's progress as docks read it: a fraction within 0…1 and a 64-bit count.
    void launcherEntry_data()
    {
        columns<double, int, bool, QString>("fraction", "count", "visible", "heard");
        QTest::newRow("a file's fraction beside the count")
            << 0.25 << 3 << true
            << u"count=3 qlonglong, count-visible=true bool, progress=0.25 double, "
               u"progress-visible=true bool"_s;
        QTest::newRow("no length: the count alone")
            << -1.0 << 3 << true
            << u"count=3 qlonglong, count-visible=true bool, progress=0 double, "
               u"progress-visible=false bool"_s;
        QTest::newRow("the end hides both")
            << 1.0 << 4 << false
            << u"count=4 qlonglong, count-visible=false bool, progress=1 double, "
               u"progress-visible=false bool"_s;
    }

    void launcherEntry()
    {
        QFETCH(double, fraction);
        QFETCH(int, count);
        QFETCH(bool, visible);
        QFETCH(QString, heard);
        Dock dock;
        QVERIFY(peer.connect(QString(), QString(), u"com.canonical.Unity.LauncherEntry"_s,
                             u"Update"_s, &dock, SLOT(update(QDBusMessage))));
        DesktopHost().showRunProgress(fraction, count, visible);
        QTRY_COMPARE(dock.heard, QStringList{QLatin1String(DesktopHost::kLauncherEntryPath) +
                                             u" application://stepgrab.desktop "_s + heard});
    }
};

QTEST_MAIN(TestDesktopHost)
#include "tst_dbus_host.moc"
