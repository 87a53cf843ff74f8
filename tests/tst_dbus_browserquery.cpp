// The browser query against real bus peers (a browser played by a second connection, and
// the bridge started by D-Bus activation), and the script query with real shell scripts.
#include "sources/aedesc.h"
#include "sources/aewire.h"
#include "sources/browserquery.h"
#include "support/busbridge.h"
#include "support/processes.h"
#include "support/qt.h"

#include <future>

using namespace Qt::StringLiterals;

// The query blocks its thread, as it does on the Controller's worker; the main thread
// meanwhile serves the peer that plays the browser.
template <typename F> static auto offThread(F work)
{
    auto result = std::async(std::launch::async, work);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    return result.get();
}

static QList<qint64> processesWith(const QByteArray& marker)
{
    return processesWhere([&marker](const QByteArray& line) { return line.contains(marker); });
}

static QString appName(const char (&creator)[5])
{
    return aewire::processBusName(fourCharCode("APPL"), fourCharCode(creator));
}

// A browser with windows (an address each, "FAIL" for one that cannot answer) that records
// the requests it gets; in "silent" mode it never answers, in "leave" mode it leaves the bus.
class Browser : public QDBusVirtualObject
{
public:
    QStringList windows, seen;
    QString mode;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override
    {
        if (message.signature() != QLatin1StringView(aewire::kSendSignature))
            return false;
        AppleEvent event;
        event.parameters =
            aewire::fromWire(qdbus_cast<aewire::Parameters>(message.arguments().value(4)));
        const bool lstw = message.arguments().value(1).toUInt() == fourCharCode("LSTW");
        AEDesc id;
        qint32 window = 0;
        if (lstw)
            seen << u"LSTW"_s;
        else if (AEGetParamDesc(event, keyDirectObject, typeSInt32, &id) == noErr)
            seen << u"WNFO %1"_s.arg(window = qFromBigEndian<qint32>(id.data.constData()));
        if (mode.startsWith("silent"_L1))
            return true;
        if (mode == "leave"_L1) {
            QTimer::singleShot(0, [] { QDBusConnection::disconnectFromBus(u"stale"_s); });
            return true;
        }
        QList<AEDesc> ids;
        for (int i = 1; i <= windows.size(); ++i)
            ids << makeLongDesc(i);
        const QString address = windows.value(window - 1);
        if (!lstw && address == "FAIL"_L1)
            return bus.send(message.createErrorReply(u"org.example.Failed"_s, address));
        const AEDesc answer = lstw ? makeListDesc(ids) : makeListDesc({makeTextDesc(address)});
        const aewire::Parameters reply{{keyDirectObject, answer.descriptorType, answer.data}};
        return bus.send(message.createReply(QVariant::fromValue(reply)));
    }
};

class TestBrowserQuery : public QObject
{
    Q_OBJECT

    QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"browser"_s);
    Browser browser, leaving;
    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        QFile file(dir.filePath(name));
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
        return file.fileName();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(peer.isConnected());
        aewire::registerTypes();
        setBrowserQueryTimeoutForTesting(2000);
        QVERIFY(peer.registerVirtualObject(QString::fromLatin1(aewire::kPath), &browser));
        QVERIFY(peer.registerService(appName("iCAB")));
        leaving.mode = u"leave"_s;
        qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    }

    void cleanupTestCase() { endActivatedBridge(appName("MSIE")); }

    // Browser 2 ('iCAB') is the peer above; browser 0 ('MSIE') the bridge the bus activates,
    // reading its windows from the file named in the bus's activation environment; browser 1
    // ('MOSS') a bridge whose browser is not running.
    void eventQuery_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("windows");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("requests");
        const QString none = u"none"_s, a = u"http://h/a.zip"_s, b = u"http://h/b.zip"_s;
        const QString longAddress = u"http://例え.jp/"_s + QString(1990, u'画') + ".jpg";
        const QStringList lstw{"LSTW"}, one{"LSTW", "WNFO 1"}, both{"LSTW", "WNFO 1", "WNFO 2"};
        const auto row = [](const char* name, const QStringList& windows, const QString& expected,
                            const QStringList& requests, const char* mode = "", int index = 2) {
            QTest::newRow(name) << index << windows << QString(mode) << expected << requests;
        };
        row("two windows: the first counts, both asked in order", {a, b}, a, both);
        row("second window fails", {a, "FAIL"}, none, both);
        row("long non-ASCII address taken whole", {longAddress}, longAddress, one);
        row("peer leaves before the window list", {a}, a, one, "stale peer");
        row("never answers", {a}, none, lstw, "silent");
        row("quit while it waits", {a}, none, lstw, "silent, cancelled");
        row("bridge whose browser is not running", {}, none, {}, "", 1);
        row("activated bridge, its browser quit", {a, b}, none, {}, "browser quit", 0);
    }

    void eventQuery()
    {
        QFETCH(int, index);
        QFETCH(QStringList, windows);
        QFETCH(QString, mode);
        QFETCH(QString, expected);
        QFETCH(QStringList, requests);
        browser.windows = windows;
        browser.mode = mode;
        browser.seen.clear();
        // The bridge answers once, then its browser quits.
        if (mode == "browser quit"_L1) {
            const QString file = write(u"windows.txt"_s, (windows.join('\n') + '\n').toUtf8());
            QVERIFY(setActivationEnvironment(u"STEPGRAB_TEST_WINDOWS"_s, file));
            QCOMPARE(offThread([] { return GrabURLInfoFromBrowswer(0); }).value_or(u"none"_s),
                     windows.first());
            QVERIFY(QFile::remove(file));
        }
        // A peer that leaves unanswered once asked, as a bridge idling out just then; the
        // browser above, queued for the name, takes it over and is asked afresh.
        const auto leave = qScopeGuard([] { QDBusConnection::disconnectFromBus(u"stale"_s); });
        if (mode == "stale peer"_L1) {
            const QString name = appName("iCAB");
            auto stale = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"stale"_s);
            QVERIFY(stale.registerVirtualObject(QString::fromLatin1(aewire::kPath), &leaving));
            QVERIFY(peer.unregisterService(name) && stale.registerService(name));
            QVERIFY(peer.interface()
                        ->registerService(name, QDBusConnectionInterface::QueueService,
                                          QDBusConnectionInterface::DontAllowReplacement)
                        .isValid());
        }
        const bool cancel = mode.endsWith("cancelled"_L1);
        const auto resume = qScopeGuard([] { cancelBrowserQueries(false); });
        if (cancel)
            QTimer::singleShot(200, [] { cancelBrowserQueries(true); });
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(offThread([index] { return GrabURLInfoFromBrowswer(index); }).value_or(u"none"_s),
                 expected);
        QCOMPARE(browser.seen, requests);
        // A bridge without its browser exits non-zero, so the bus fails its activation at
        // once instead of when the call's bound runs out.
        const bool quick = cancel || index == 1;
        QCOMPARE_LT(clock.elapsed(),
                    quick ? browserQueryTimeoutMs() / 2 : browserQueryTimeoutMs() * 2);
        QCOMPARE(processesWith("stepgrab-no-browser-running"), QList<qint64>());
        // The bridge of a browser that quit leaves its name, so the next query starts afresh.
        if (mode == "browser quit"_L1)
            QTRY_VERIFY_WITH_TIMEOUT(!QDBusConnection::sessionBus()
                                          .interface()
                                          ->isServiceRegistered(appName("MSIE"))
                                          .value(),
                                     5000);
    }

    void scriptQuery_data()
    {
        QTest::addColumn<QString>("layout"); // installed (script: the windows) or plain
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* name, const char* layout, const QByteArray& script,
                            const QString& expected, int timeoutMs = 3000) {
            QTest::newRow(name) << QString(layout) << script << timeoutMs << expected;
        };
        const QString none = u"none"_s;
        row("the shipped script, installed", "installed",
            u"http://h/画像.jpg\nhttp://h/b.zip\n"_s.toUtf8(), u"http://h/画像.jpg"_s, 5000);
        // The shell would run the first line before it met the second.
        row("fails sh -n", "", "echo http://h/a.zip; exit 0\nif then fi\n", none);
        row("never ends", "", "echo http://h/a.zip\nsleep 30.5 &\nwait\n", none, 500);
        row("prints on and on", "", "yes http://h/a1.jpg\n", none, 10000);
    }

    void scriptQuery()
    {
        QFETCH(QString, layout);
        QFETCH(QByteArray, script);
        QFETCH(int, timeoutMs);
        QFETCH(QString, expected);
        QString path;
        if (layout == "installed"_L1) {
            // The shipped script finds the bridge in bin/ beside share/stepgrab/: here the
            // real bridge, told where the windows are.
            QFile shipped(scriptQueryPath());
            QVERIFY(shipped.open(QIODevice::ReadOnly));
            path = write(u"prefix/share/stepgrab/Safari_Get_URL.txt"_s, shipped.readAll());
            const QByteArray wrapper = "#!/bin/sh\nexec '" STEPGRAB_BRIDGE
                                       "' --windows-from-file '" +
                                       write(u"shown.txt"_s, script).toUtf8() + "' \"$@\"\n";
            const QString bridge = write(u"prefix/bin/stepgrab-browser-bridge"_s, wrapper);
            QVERIFY(QFile::setPermissions(bridge, QFile::ReadOwner | QFile::ExeOwner));
        } else {
            path = write(QTest::currentDataTag() + ".sh"_L1, script);
        }
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runScriptQuery(path, timeoutMs).value_or(u"none"_s), expected);
        QCOMPARE_LT(clock.elapsed(), timeoutMs + 2000);
        // The script's whole process group ends with it (a zombie's command line is empty).
        QTRY_COMPARE_WITH_TIMEOUT(processesWith(QByteArray("sleep 30.5").replace(' ', '\0')),
                                  QList<qint64>(), 2000);
    }
};

QTEST_GUILESS_MAIN(TestBrowserQuery)
#include "tst_dbus_browserquery.moc"
