// The browser query against real bus peers (a browser played by a second connection, and
// the bridge started by D-Bus activation), and the script query with real shell scripts.
#include "sources/aedesc.h"
#include "sources/aewire.h"
#include "sources/browserquery.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <csignal>
#include <future>
#include <thread>

using namespace Qt::StringLiterals;

// The query blocks its thread, as it does on the Controller's worker; the main thread
// meanwhile serves the peer that plays the browser.
template <typename F> static auto offThread(F work)
{
    std::packaged_task<decltype(work())()> task(work);
    auto result = task.get_future();
    std::thread thread(std::move(task));
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QTest::qWait(5);
    thread.join();
    return result.get();
}

static aewire::Parameter directObject(const AEDesc& desc)
{
    return {keyDirectObject, desc.descriptorType, desc.data};
}

// A browser with windows (an address each, "FAIL" for one that cannot answer) that records
// the requests it gets; `mode` makes it answer wrongly.
class Browser : public QDBusVirtualObject
{
public:
    QStringList windows;
    QString mode;
    QStringList seen;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override
    {
        if (message.signature() != QLatin1StringView(aewire::kSendSignature))
            return bus.send(
                message.createErrorReply(u"org.example.Signature"_s, message.signature()));
        const QVariantList arguments = message.arguments();
        const auto parameters = qdbus_cast<aewire::Parameters>(arguments.value(4));
        AppleEvent event{arguments.value(0).toUInt(), arguments.value(1).toUInt(), {}, -1, 0,
                         aewire::fromWire(parameters)};
        AEDesc id;
        const bool lstw = event.eventID == fourCharCode("LSTW");
        if (lstw)
            seen << u"LSTW"_s;
        else if (AEGetParamDesc(event, keyDirectObject, typeSInt32, &id) == noErr)
            seen << u"WNFO %1"_s.arg(qFromBigEndian<qint32>(id.data.constData()));
        if (mode == "silent"_L1)
            return true;
        if (mode == "wrong signature"_L1)
            return bus.send(message.createReply(u"http://h/a.zip"_s));
        aewire::Parameters reply;
        if (lstw && mode == "list as TEXT"_L1) {
            reply << directObject(makeTextDesc(u"1"_s));
        } else if (lstw && mode == "short long"_L1) {
            reply << directObject(makeListDesc({AEDesc{typeSInt32, QByteArray(2, '\1')}}));
        } else if (lstw && mode == "bad list bytes"_L1) {
            reply << directObject(AEDesc{typeAEList, QByteArray("long\0\0\0\x64\0\0\0\1", 12)});
        } else if (lstw) {
            QList<AEDesc> ids;
            for (int i = 1; i <= windows.size(); ++i)
                ids << makeLongDesc(i);
            reply << directObject(makeListDesc(ids));
        } else {
            const QString address = windows.value(qFromBigEndian<qint32>(id.data.constData()) - 1);
            if (address == "FAIL"_L1)
                return bus.send(
                    message.createErrorReply(u"org.example.Failed"_s, u"no such window"_s));
            reply << directObject(makeListDesc(
                {mode == "info item long"_L1 ? makeLongDesc(1) : makeTextDesc(address)}));
        }
        return bus.send(message.createReply(QVariant::fromValue(reply)));
    }
};

static const QString kICab = aewire::processBusName(fourCharCode("APPL"), fourCharCode("iCAB"));

// Processes whose command line holds the marker, zombies aside.
static QStringList processesWith(const QByteArray& marker)
{
    QStringList found;
    for (const QString& pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile cmdline("/proc/" + pid + "/cmdline");
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().contains(marker))
            found << pid;
    }
    return found;
}

class TestBrowserQuery : public QObject
{
    Q_OBJECT

    QDBusConnection peer = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"browser"_s);
    Browser browser;
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
        qDBusRegisterMetaType<QMap<QString, QString>>();
        setBrowserQueryTimeoutForTesting(2000);
        QVERIFY(peer.registerVirtualObject(QString::fromLatin1(aewire::kPath), &browser));
        QVERIFY(peer.registerService(kICab));
        qputenv("XDG_DATA_HOME", dir.filePath(u"data"_s).toUtf8());
    }

    void cleanupTestCase()
    {
        // The bridge activated for 'MSIE' would otherwise wait out its idle time.
        const QString name = aewire::processBusName(fourCharCode("APPL"), fourCharCode("MSIE"));
        const auto bus = QDBusConnection::sessionBus().interface();
        if (const auto pid = bus->servicePid(name); pid.isValid() && pid.value() > 0)
            ::kill(pid_t(pid.value()), SIGTERM);
        QTRY_VERIFY_WITH_TIMEOUT(!bus->isServiceRegistered(name).value(), 5000);
    }

    void eventQuery_data()
    {
        QTest::addColumn<QStringList>("windows");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("expected"); // null: none
        QTest::addColumn<QStringList>("requests");
        const QString none;
        const QString longAddress = "http://h/" + QString(1990, u'x') + ".zip";
        QTest::newRow("one window") << QStringList{"http://h/a.zip"} << ""
                                    << "http://h/a.zip" << QStringList{"LSTW", "WNFO 1"};
        QTest::newRow("two windows: the first counts, both are asked")
            << QStringList{"http://h/1.jpg", "http://h/2.jpg"} << ""
            << "http://h/1.jpg" << QStringList{"LSTW", "WNFO 1", "WNFO 2"};
        QTest::newRow("second window fails") << QStringList{"http://h/1.jpg", "FAIL"} << "" << none
                                             << QStringList{"LSTW", "WNFO 1", "WNFO 2"};
        QTest::newRow("no window") << QStringList{} << "" << none << QStringList{"LSTW"};
        QTest::newRow("empty first address") << QStringList{"", "http://h/2.jpg"} << "" << none
                                             << QStringList{"LSTW", "WNFO 1", "WNFO 2"};
        QTest::newRow("non-ASCII address")
            << QStringList{u"http://例え.jp/画像/001.jpg"_s} << ""
            << u"http://例え.jp/画像/001.jpg"_s << QStringList{"LSTW", "WNFO 1"};
        QTest::newRow("2,000-character address taken whole")
            << QStringList{longAddress} << "" << longAddress << QStringList{"LSTW", "WNFO 1"};
        QTest::newRow("never answers")
            << QStringList{"http://h/a.zip"} << "silent" << none << QStringList{"LSTW"};
        QTest::newRow("window list as TEXT")
            << QStringList{"http://h/a.zip"} << "list as TEXT" << none << QStringList{"LSTW"};
        QTest::newRow("2-byte long")
            << QStringList{"http://h/a.zip"} << "short long" << none << QStringList{"LSTW"};
        QTest::newRow("list item past the end")
            << QStringList{"http://h/a.zip"} << "bad list bytes" << none << QStringList{"LSTW"};
        QTest::newRow("reply of another signature")
            << QStringList{"http://h/a.zip"} << "wrong signature" << none << QStringList{"LSTW"};
        QTest::newRow("address as long") << QStringList{"http://h/a.zip"} << "info item long"
                                         << none << QStringList{"LSTW", "WNFO 1"};
    }

    void eventQuery()
    {
        QFETCH(QStringList, windows);
        QFETCH(QString, mode);
        QFETCH(QString, expected);
        QFETCH(QStringList, requests);
        browser.windows = windows;
        browser.mode = mode;
        browser.seen.clear();
        QElapsedTimer clock;
        clock.start();
        const auto address = offThread([] { return GrabURLInfoFromBrowswer(2); });
        QCOMPARE(address.value_or(QString()), expected);
        QCOMPARE(address.has_value(), !expected.isNull());
        QCOMPARE(browser.seen, requests);
        QCOMPARE_LT(clock.elapsed(), 2000 * 2);
    }

    // Found or not, and no process left behind by a failed activation.
    void findAProcess_data()
    {
        QTest::addColumn<QByteArray>("creator");
        QTest::addColumn<bool>("found");
        QTest::newRow("nothing owns or activates the name") << QByteArray("NONE") << false;
        QTest::newRow("bridge whose browser is not running") << QByteArray("MOSS") << false;
        QTest::newRow("a peer owns the name") << QByteArray("iCAB") << true;
    }

    void findAProcess()
    {
        QFETCH(QByteArray, creator);
        QFETCH(bool, found);
        const OSType code = qFromBigEndian<quint32>(creator.constData());
        ProcessSerialNumber psn{7, 7};
        QCOMPARE(offThread([&] { return FindAProcess(fourCharCode("APPL"), code, &psn); }), found);
        QCOMPARE(psn.lowLongOfPSN, found ? quint32(QCoreApplication::applicationPid()) : 0u);
        QCOMPARE(processesWith("stepgrab-no-browser-running"), QStringList());
    }

    // The bridge started by the bus from its service file answers from its windows file,
    // read afresh at each query.
    void activatedBridge_data()
    {
        QTest::addColumn<QByteArray>("windows");
        QTest::addColumn<QString>("expected");
        QTest::newRow("two windows")
            << QByteArray("http://h/a.zip\nhttp://h/b.zip\n") << "http://h/a.zip";
        QTest::newRow("second window fails") << QByteArray("http://h/a.zip\nFAIL\n") << QString();
        QTest::newRow("no window") << QByteArray("") << QString();
    }

    void activatedBridge()
    {
        QFETCH(QByteArray, windows);
        QFETCH(QString, expected);
        const QString file = write(u"windows.txt"_s, windows);
        QDBusMessage update = QDBusMessage::createMethodCall(
            u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s,
            u"UpdateActivationEnvironment"_s);
        update << QVariant::fromValue(QMap<QString, QString>{{u"STEPGRAB_TEST_WINDOWS"_s, file}});
        QCOMPARE(QDBusConnection::sessionBus().call(update).type(), QDBusMessage::ReplyMessage);
        const auto address = offThread([] { return GrabURLInfoFromBrowswer(0); });
        QCOMPARE(address.value_or(QString()), expected);
        QCOMPARE(address.has_value(), !expected.isNull());
    }

    void scriptQuery_data()
    {
        QTest::addColumn<QByteArray>("script"); // null: no file
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("expected");
        const QString address = u"http://h/a.zip"_s;
        QTest::newRow("prints the address")
            << QByteArray("echo http://h/a.zip\n") << 3000 << address;
        QTest::newRow("no final line end")
            << QByteArray("printf http://h/a.zip") << 3000 << address;
        QTest::newRow("one line end removed") << QByteArray("printf 'x\\n\\n'") << 3000 << u"x\n"_s;
        // The shell would run the first line before it met the second.
        QTest::newRow("does not compile")
            << QByteArray("echo http://h/a.zip; exit 0\nif then fi\n") << 3000 << QString();
        QTest::newRow("exits 1") << QByteArray("echo http://h/a.zip; exit 1\n") << 3000
                                 << QString();
        QTest::newRow("prints nothing") << QByteArray("true\n") << 3000 << QString();
        QTest::newRow("missing file") << QByteArray() << 3000 << QString();
        QTest::newRow("empty file") << QByteArray("") << 3000 << QString();
        QTest::newRow("never ends")
            << QByteArray("echo http://h/a.zip\nsleep 30 & echo $! > \"$0.pid\"\nwait\n") << 500
            << QString();
        QTest::newRow("leaves a job running")
            << QByteArray("sleep 30 >/dev/null & echo $! > \"$0.pid\"\necho http://h/a.zip\n")
            << 3000 << address;
    }

    void scriptQuery()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, timeoutMs);
        QFETCH(QString, expected);
        const QString path = script.isNull() ? dir.filePath(u"missing.sh"_s)
                                             : write(QTest::currentDataTag() + ".sh"_L1, script);
        QElapsedTimer clock;
        clock.start();
        const auto result = runScriptQuery(path, timeoutMs);
        QCOMPARE(result.value_or(QString()), expected);
        QCOMPARE(result.has_value(), !expected.isNull());
        QCOMPARE_LT(clock.elapsed(), timeoutMs + 2000);
        QFile pidFile(path + ".pid");
        if (pidFile.open(QIODevice::ReadOnly)) {
            const QByteArray pid = pidFile.readAll().trimmed();
            // Gone, or a zombie waiting for init.
            const auto ended = [&pid] {
                QFile stat("/proc/" + pid + "/stat");
                return !stat.open(QIODevice::ReadOnly) || stat.readAll().contains(") Z ");
            };
            QVERIFY(!pid.isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(ended(), 2000);
        }
    }

    void scriptQueryPath_data()
    {
        QTest::addColumn<bool>("ownScript");
        QTest::newRow("the user's own script first") << true;
        QTest::newRow("else the shipped one") << false;
    }

    void scriptQueryPath()
    {
        QFETCH(bool, ownScript);
        const QString own = dir.filePath(u"data/Stepgrab/Safari_Get_URL.txt"_s);
        QFile::remove(own);
        if (ownScript)
            write(u"data/Stepgrab/Safari_Get_URL.txt"_s, "echo http://h/own.zip\n");
        const QString path = ::scriptQueryPath();
        QCOMPARE(path == own, ownScript);
        QVERIFY2(QFileInfo(path).isFile(), qPrintable(path));
        QFile::remove(own);
    }

    // The shipped script as installed: it finds the bridge in bin/ beside share/stepgrab/.
    void shippedScript_data()
    {
        QTest::addColumn<QByteArray>("windows"); // null: the browser is not running
        QTest::addColumn<QString>("expected");
        QTest::newRow("browser shows a page")
            << u"http://h/画像.jpg\nhttp://h/b.zip\n"_s.toUtf8() << u"http://h/画像.jpg"_s;
        QTest::newRow("browser not running") << QByteArray() << QString();
    }

    void shippedScript()
    {
        QFETCH(QByteArray, windows);
        QFETCH(QString, expected);
        QFile shipped(::scriptQueryPath());
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QString script =
            write(u"prefix/share/stepgrab/Safari_Get_URL.txt"_s, shipped.readAll());
        const QString file = dir.filePath(u"shown.txt"_s);
        QFile::remove(file);
        if (!windows.isNull())
            write(u"shown.txt"_s, windows);
        // The real bridge, told where the windows are.
        write(u"prefix/bin/stepgrab-browser-bridge"_s, "#!/bin/sh\nexec '" STEPGRAB_BRIDGE
                                                       "' --windows-from-file '" +
                                                           file.toUtf8() + "' \"$@\"\n");
        QFile(dir.filePath(u"prefix/bin/stepgrab-browser-bridge"_s))
            .setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        const auto result = runScriptQuery(script, 5000);
        QCOMPARE(result.value_or(QString()), expected);
        QCOMPARE(result.has_value(), !expected.isNull());
    }
};

QTEST_GUILESS_MAIN(TestBrowserQuery)
#include "tst_dbus_browserquery.moc"
