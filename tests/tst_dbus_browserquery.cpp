// The browser query against real bus peers (a browser played by a second connection, and a
// bridge started by D-Bus activation), and the script query with real shell scripts.
#include "sources/aedesc.h"
#include "sources/aewire.h"
#include "sources/browserquery.h"
#include "support/files.h"
#include "support/processes.h"
#include "support/qt.h"
#include "support/table.h"

#include <future>

using namespace Qt::StringLiterals;

// The query blocks its thread, as on the Controller's worker, while the main one serves the peer.
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

// A browser with windows (an address each, "FAIL" for one that cannot answer) that records
// the requests it gets; in "silent" mode it never answers.
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
        if (!lstw && AEGetParamDesc(event, keyDirectObject, typeSInt32, &id) == noErr)
            window = qFromBigEndian<qint32>(id.data.constData());
        seen << (lstw ? u"LSTW"_s : u"WNFO %1"_s.arg(window));
        if (mode.startsWith("silent"_L1))
            return true;
        QList<AEDesc> ids;
        while (ids.size() < windows.size())
            ids << makeLongDesc(ids.size() + 1);
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
    Browser browser;
    QTemporaryDir dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(peer.isConnected());
        aewire::registerTypes();
        setBrowserQueryTimeoutForTesting(2000);
        QVERIFY(peer.registerVirtualObject(QString::fromLatin1(aewire::kPath), &browser));
        QVERIFY(peer.registerService(
            aewire::processBusName(fourCharCode("APPL"), fourCharCode("iCAB"))));
        qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    }

    // Browser 2 ('iCAB') is the peer above; browser 1 ('MOSS') a bridge the bus activates
    // whose browser is not running.
    void eventQuery_data()
    {
        columns<QStringList, QString, QString, QStringList>("windows", "mode", "expected",
                                                            "requests");
        const QString none = u"none"_s, a = u"http://h/a.zip"_s, b = u"http://h/b.zip"_s;
        const QString longAddress = u"http://例え.jp/"_s + QString(1990, u'画') + ".jpg";
        const QStringList lstw{"LSTW"}, one{"LSTW", "WNFO 1"}, both{"LSTW", "WNFO 1", "WNFO 2"};
        const auto row = [](const char* name, const QStringList& windows, const QString& expected,
                            const QStringList& requests, const char* mode = "") {
            QTest::newRow(name) << windows << QString(mode) << expected << requests;
        };
        row("two windows: the first counts, both asked in order", {a, b}, a, both);
        row("second window fails", {a, "FAIL"}, none, both);
        row("long non-ASCII address taken whole", {longAddress}, longAddress, one);
        row("never answers", {a}, none, lstw, "silent");
        row("quit while it waits", {a}, none, lstw, "silent, cancelled");
        row("bridge whose browser is not running", {}, none, {}, "no browser");
    }

    void eventQuery()
    {
        QFETCH(QStringList, windows);
        QFETCH(QString, mode);
        const int index = mode == "no browser"_L1 ? 1 : 2;
        browser.windows = windows;
        browser.mode = mode;
        browser.seen.clear();
        const auto resume = qScopeGuard([] { cancelBrowserQueries(false); });
        if (mode.endsWith("cancelled"_L1))
            QTimer::singleShot(200, [] { cancelBrowserQueries(true); });
        QElapsedTimer clock;
        clock.start();
        QTEST(offThread([index] { return GrabURLInfoFromBrowswer(index); }).value_or(u"none"_s),
              "expected");
        QTEST(browser.seen, "requests");
        // A bridge without its browser exits non-zero: the bus fails its activation at once.
        const bool quick = mode.endsWith("cancelled"_L1) || index == 1;
        QCOMPARE_LT(clock.elapsed(),
                    quick ? browserQueryTimeoutMs() / 2 : browserQueryTimeoutMs() * 2);
        QCOMPARE(processesWith("stepgrab-no-browser-running"), QList<qint64>());
    }

    // Each a script that prints an address yet gives none.
    void scriptQuery_data()
    {
        columns<QByteArray, int>("script", "timeoutMs");
        const auto row = [](const char* name, const QByteArray& script, int timeoutMs = 3000) {
            QTest::newRow(name) << script << timeoutMs;
        };
        // The shell would run the first line before it met the second.
        row("fails sh -n", "echo http://h/a.zip; exit 0\nif then fi\n");
        row("never ends", "echo http://h/a.zip\nsleep 30.5 &\nwait\n", 500);
        row("prints on and on", "yes http://h/a1.jpg\n", 10000);
    }

    void scriptQuery()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, timeoutMs);
        const QString file = dir.filePath(QTest::currentDataTag() + ".sh"_L1);
        QVERIFY(writeFile(file, script));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runScriptQuery(file, timeoutMs).value_or(u"none"_s), u"none"_s);
        QCOMPARE_LT(clock.elapsed(), timeoutMs + 2000);
        // The script's whole process group ends with it (a zombie's command line is empty).
        QTRY_COMPARE_WITH_TIMEOUT(processesWith(QByteArray("sleep 30.5").replace(' ', '\0')),
                                  QList<qint64>(), 2000);
    }
};

QTEST_GUILESS_MAIN(TestBrowserQuery)
#include "tst_dbus_browserquery.moc"
