// A run's progress on the desktop's task bar: the launcher-entry signal on a private bus.
#include "app/controller.h"
#include "fixtureserver.h"
#include "host/desktophost.h"
#include "support/qt.h"
#include "support/uirun.h"

#include <algorithm>

using namespace Qt::StringLiterals;

// What a dock hears: each Update's path, application and properties.
class Dock : public QObject
{
    Q_OBJECT

public:
    struct Update
    {
        QString path;
        QString app;
        QVariantMap properties;
    };
    QList<Update> updates;

public slots:
    void update(const QDBusMessage& message)
    {
        const QList<QVariant> arguments = message.arguments();
        if (arguments.size() != 2)
            return;
        updates.append(
            {message.path(), arguments.at(0).toString(), qdbus_cast<QVariantMap>(arguments.at(1))});
    }
};

class TestLauncherEntry : public QObject
{
    Q_OBJECT

    // A second connection plays the dock, so the signal really crosses the bus.
    QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"dock"_s);

private Q_SLOTS:
    void runProgress()
    {
        FixtureServer server;
        // Two seconds for the first file, known length; the series ends at the second.
        server.addPaced(u"/p/big001.bin"_s, 8 * 1024 * 1024, 40, 50);
        Dock dock;
        QVERIFY(peer.connect(QString(), QString(), u"com.canonical.Unity.LauncherEntry"_s,
                             u"Update"_s, &dock, SLOT(update(QDBusMessage))));
        QTemporaryDir out;
        DesktopHost host;
        Controller controller(&host);
        controller.applicationDidFinishLaunching();
        controller.mOutputDirectory = out.path();
        controller.mCreateNewFolder = false;
        download::Policy policy;
        policy.pauseMs = 20;
        controller.setPolicy(policy);
        controller.takeAddress(server.baseUrl() + u"/p/big001.bin"_s);
        controller.start_download();
        QTRY_VERIFY_WITH_TIMEOUT(!controller.isRunning(), 20000);
        QTRY_VERIFY(!dock.updates.isEmpty() &&
                    !dock.updates.last().properties.value(u"count-visible"_s).toBool());

        QList<double> fractions;
        for (const Dock::Update& u : std::as_const(dock.updates)) {
            QCOMPARE(u.path, QLatin1String(DesktopHost::kLauncherEntryPath));
            QCOMPARE(u.app, u"application://stepgrab.desktop"_s);
            if (u.properties.value(u"progress-visible"_s).toBool())
                fractions << u.properties.value(u"progress"_s).toDouble();
        }
        // The file's fraction grows while it lasts, and the end hides it all with the count.
        QVERIFY2(fractions.size() >= 3, qPrintable(QString::number(fractions.size())));
        QVERIFY(std::is_sorted(fractions.begin(), fractions.end()));
        QVERIFY(fractions.first() < 0.5 && fractions.last() > 0.5 && fractions.last() <= 1);
        const QVariantMap end = dock.updates.last().properties;
        QCOMPARE(end.value(u"progress-visible"_s).toBool(), false);
        QCOMPARE(end.value(u"count"_s).toLongLong(), 1);
        QCOMPARE(end.value(u"count"_s).metaType(), QMetaType::fromType<qlonglong>());
        const qsizetype heard = dock.updates.size();
        QTest::qWait(300);
        QCOMPARE(dock.updates.size(), heard); // nothing after the end
    }
};

QTEST_MAIN(TestLauncherEntry)
#include "tst_dbus_progress.moc"
