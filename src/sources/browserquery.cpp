#include "sources/browserquery.h"

#include "sources/aedesc.h"
#include "sources/aewire.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <atomic>
#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

std::atomic<int> gTimeoutMs{10000};
// Set while the program quits: every query gives up at its next step.
std::atomic<bool> gCancelled{false};

bool cancelled()
{
    return gCancelled.load();
}

// A bus call bounded by the query's time-out that also ends, as a NoReply, once the queries
// are cancelled: quitting need not wait out a browser that does not answer.
QDBusMessage callBounded(const QDBusConnection& bus, const QDBusMessage& call)
{
    const QString noReply = u"org.freedesktop.DBus.Error.NoReply"_s;
    if (cancelled())
        return call.createErrorReply(noReply, u"cancelled"_s);
    QDBusPendingCall pending = bus.asyncCall(call, gTimeoutMs.load());
    // Short looks first: a browser answers within a fraction of a millisecond, and a query
    // may ask it thousands of times.
    for (unsigned long pause = 20; !pending.isFinished(); pause = qMin(pause * 2, 5000ul)) {
        if (cancelled())
            return call.createErrorReply(noReply, u"cancelled"_s);
        QThread::usleep(pause);
    }
    return pending.reply();
}

// Which bus peer each serial number FindAProcess handed out stands for, so that AESend
// reaches the very connection that was found (a bridge started again gets a new one).
QMutex gPeersLock;
QHash<quint64, QString> gPeers;

quint64 psnKey(ProcessSerialNumber psn)
{
    return (quint64(psn.highLongOfPSN) << 32) | psn.lowLongOfPSN;
}

QDBusMessage callBusDaemon(const QDBusConnection& bus, const QString& method,
                           const QVariantList& arguments)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, method);
    call.setArguments(arguments);
    return callBounded(bus, call);
}

QString nameOwner(const QDBusConnection& bus, const QString& name)
{
    const QDBusMessage answer = callBusDaemon(bus, u"GetNameOwner"_s, {name});
    if (answer.type() != QDBusMessage::ReplyMessage || answer.signature() != "s"_L1)
        return {};
    return answer.arguments().constFirst().toString();
}

bool isActivatable(const QDBusConnection& bus, const QString& name)
{
    const QDBusMessage answer = callBusDaemon(bus, u"ListActivatableNames"_s, {});
    if (answer.type() != QDBusMessage::ReplyMessage || answer.signature() != "as"_L1)
        return false;
    return answer.arguments().constFirst().toStringList().contains(name);
}

// Whether the peer found for the serial number has left the bus: a request to it failed
// because nobody is there, not because the browser refused or was slow.
bool peerGone(ProcessSerialNumber psn)
{
    QString peer;
    {
        QMutexLocker locker(&gPeersLock);
        peer = gPeers.value(psnKey(psn));
    }
    return peer.isEmpty() || nameOwner(QDBusConnection::sessionBus(), peer).isEmpty();
}

// The 'WWW!' index is a 16-bit signed integer: a browser claiming more windows is not believed.
constexpr qint32 kMostWindows = 32767;

} // namespace

int browserQueryTimeoutMs()
{
    return gTimeoutMs.load();
}

void setBrowserQueryTimeoutForTesting(int milliseconds)
{
    gTimeoutMs.store(qMax(1, milliseconds));
}

void cancelBrowserQueries(bool cancel)
{
    gCancelled.store(cancel);
}

namespace {

// Whether the bus could not start the bridge at all, as opposed to a bridge that ran and
// ended because its browser is not running (it exits non-zero: ChildExited).
bool bridgeCannotStart(const QDBusMessage& started)
{
    const QString error = started.errorName();
    if (error == "org.freedesktop.DBus.Error.ServiceUnknown"_L1)
        return true;
    return error.startsWith("org.freedesktop.DBus.Error.Spawn."_L1) &&
           error != "org.freedesktop.DBus.Error.Spawn.ChildExited"_L1 &&
           error != "org.freedesktop.DBus.Error.Spawn.ChildSignaled"_L1;
}

bool findProcess(OSType processType, OSType creator, ProcessSerialNumber* psn, bool* bridgeMissing)
{
    if (!psn)
        return false;
    *psn = ProcessSerialNumber{};
    if (cancelled())
        return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *bridgeMissing = true;
        return false;
    }
    const QString name = aewire::processBusName(processType, creator);
    QString owner = nameOwner(bus, name);
    if (owner.isEmpty()) {
        // A bridge whose browser is not running ends without taking the name, so its
        // activation fails and no process is found; a bridge the bus has no service file
        // for, or cannot run, is a fault of the installation, which the user must hear of.
        if (!isActivatable(bus, name)) {
            *bridgeMissing = !cancelled();
            return false;
        }
        const QDBusMessage started = callBusDaemon(bus, u"StartServiceByName"_s, {name, 0u});
        if (started.type() != QDBusMessage::ReplyMessage) {
            *bridgeMissing = bridgeCannotStart(started);
            return false;
        }
        owner = nameOwner(bus, name);
        if (owner.isEmpty())
            return false;
    }
    const QDBusMessage answer = callBusDaemon(bus, u"GetConnectionUnixProcessID"_s, {owner});
    if (answer.type() != QDBusMessage::ReplyMessage || answer.signature() != "u"_L1)
        return false;
    const uint pid = answer.arguments().constFirst().toUInt();
    if (pid == 0)
        return false;
    *psn = ProcessSerialNumber{0, pid};
    QMutexLocker locker(&gPeersLock);
    gPeers.insert(psnKey(*psn), owner);
    return true;
}

} // namespace

bool FindAProcess(OSType processType, OSType creator, ProcessSerialNumber* psn)
{
    bool bridgeMissing = false;
    return findProcess(processType, creator, psn, &bridgeMissing);
}

OSErr CreateAppleEvent(OSType eventClass, OSType eventID, AppleEvent* event,
                       ProcessSerialNumber psn)
{
    AEDesc target;
    const AEDesc address = makePSNDesc(psn);
    if (const OSErr status = AECreateDesc(typeProcessSerialNumber, address.data.constData(),
                                          address.data.size(), &target))
        return status;
    if (!event)
        return errAECorruptData;
    *event = AppleEvent{eventClass, eventID, target, -1, 0, {}};
    return noErr;
}

OSErr AESend(const AppleEvent& request, AppleEvent* reply)
{
    if (reply)
        *reply = AppleEvent{};
    const auto psn = psnFromDesc(request.target);
    if (!psn)
        return procNotFound;
    QString peer;
    {
        QMutexLocker locker(&gPeersLock);
        peer = gPeers.value(psnKey(*psn));
    }
    if (peer.isEmpty())
        return procNotFound;

    aewire::registerTypes();
    QDBusMessage call = QDBusMessage::createMethodCall(peer, QString::fromLatin1(aewire::kPath),
                                                       QString::fromLatin1(aewire::kInterface),
                                                       QString::fromLatin1(aewire::kSend));
    call << uint(request.eventClass) << uint(request.eventID)
         << QVariant::fromValue(request.returnID) << QVariant::fromValue(request.transactionID)
         << QVariant::fromValue(aewire::toWire(request.parameters));
    const QDBusMessage answer = callBounded(QDBusConnection::sessionBus(), call);
    if (answer.type() == QDBusMessage::ErrorMessage) {
        const QString error = answer.errorName();
        if (error == "org.freedesktop.DBus.Error.NoReply"_L1 ||
            error == "org.freedesktop.DBus.Error.Timeout"_L1)
            return errAETimeout;
        if (error == "org.freedesktop.DBus.Error.ServiceUnknown"_L1)
            return procNotFound;
        return errAEEventFailed;
    }
    if (answer.type() != QDBusMessage::ReplyMessage ||
        answer.signature() != QLatin1StringView(aewire::kReplySignature))
        return errAEReplyNotValid;
    const auto parameters = qdbus_cast<aewire::Parameters>(answer.arguments().constFirst());
    if (reply)
        reply->parameters = aewire::fromWire(parameters);
    return noErr;
}

std::optional<QString> GrabURLInfoFromBrowswer(int browser, bool* bridgeMissing)
{
    bool missing = false;
    if (!bridgeMissing)
        bridgeMissing = &missing;
    *bridgeMissing = false;
    const OSType creator = browser == 1   ? fourCharCode("MOSS")
                           : browser == 2 ? fourCharCode("iCAB")
                                          : fourCharCode("MSIE");
    ProcessSerialNumber psn;
    if (!findProcess(fourCharCode("APPL"), creator, &psn, bridgeMissing))
        return std::nullopt;

    AppleEvent request;
    AppleEvent reply;
    AEDesc windowList;
    AEDesc infoList;

    // Other failures of these two show up in the reading of the reply. A bridge may idle out
    // between being found and being asked: that one is found (started) and asked once more.
    CreateAppleEvent(fourCharCode("WWW!"), fourCharCode("LSTW"), &request, psn);
    const OSErr sent = AESend(request, &reply);
    if ((sent == procNotFound || sent == errAETimeout) && !cancelled() && peerGone(psn)) {
        if (!findProcess(fourCharCode("APPL"), creator, &psn, bridgeMissing))
            return std::nullopt;
        CreateAppleEvent(fourCharCode("WWW!"), fourCharCode("LSTW"), &request, psn);
        AESend(request, &reply);
    }
    qint32 count = 0;
    if (AEGetParamDesc(reply, keyDirectObject, typeAEList, &windowList) != noErr ||
        AECountItems(windowList, &count) != noErr || count > kMostWindows)
        return std::nullopt;
    request = AppleEvent{};
    reply = AppleEvent{};
    // The list is read once: asking it for item after item would read it whole each time,
    // and a browser may claim tens of thousands of windows.
    const QList<AEDesc> windows = decodeDescList(windowList.data).value_or(QList<AEDesc>{});

    // Every window is asked, in list order, though only the first one's address is used:
    // a browser that cannot answer for one of its windows is not trusted for the first.
    std::optional<QString> front;
    for (qint32 index = 1; index <= count; ++index) {
        if (cancelled())
            return std::nullopt;
        char windowID[4];
        qsizetype size = 0;
        OSType type = 0;
        if (AEGetNthPtr(makeListDesc({windows.value(index - 1)}), 1, typeSInt32, &type, windowID,
                        sizeof windowID, &size) != noErr ||
            CreateAppleEvent(fourCharCode("WWW!"), fourCharCode("WNFO"), &request, psn) != noErr ||
            AEPutParamPtr(&request, keyDirectObject, typeSInt32, windowID, sizeof windowID) !=
                noErr ||
            AESend(request, &reply) != noErr ||
            AEGetParamDesc(reply, keyDirectObject, typeAEList, &infoList) != noErr)
            return std::nullopt;
        AEDesc address;
        if (AEGetNthDesc(infoList, 1, typeText, &address) != noErr)
            return std::nullopt;
        if (index == 1 && !address.data.isEmpty())
            front = QString::fromUtf8(address.data);
        request = AppleEvent{};
        reply = AppleEvent{};
        AEDisposeDesc(&infoList);
    }
    return front;
}

namespace {

// More than any address; a script that prints on and on is stopped rather than buffered.
constexpr qint64 kMostScriptOutput = 1 << 20;

struct ShellRun
{
    bool exitedNormally = false;
    int exitCode = -1;
    QByteArray output;
};

// /bin/sh with the arguments, in a process group of its own so that on timeout the shell
// and whatever it started end together; anything the script left running in the
// background is ended too.
ShellRun runShell(const QStringList& arguments, QDeadlineTimer deadline)
{
    ShellRun run;
    QProcess process;
    process.setProgram(u"/bin/sh"_s);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(int(qMax<qint64>(1, deadline.remainingTime()))))
        return run;
    const pid_t group = pid_t(process.processId());
    // The output is taken as it comes (a pipe's worth at a time), so a script that prints on
    // and on is stopped once it passes the bound, not after it has filled the memory.
    QByteArray output;
    bool tooMuch = false;
    while (!(tooMuch = output.size() > kMostScriptOutput)) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired() || cancelled())
            break;
        process.waitForReadyRead(int(qBound(qint64(1), deadline.remainingTime(), qint64(50))));
        output += process.readAllStandardOutput();
    }
    const bool finished = process.state() == QProcess::NotRunning;
    ::kill(-group, SIGKILL);
    if (!finished) {
        process.waitForFinished(-1);
        return run;
    }
    output += process.readAllStandardOutput();
    if (tooMuch || output.size() > kMostScriptOutput)
        return run;
    run.exitedNormally = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.output = std::move(output);
    return run;
}

} // namespace

std::optional<QString> runScriptQuery(const QString& scriptPath, int timeoutMs)
{
    const QFileInfo script(scriptPath);
    if (cancelled() || scriptPath.isEmpty() || !script.isFile() || script.size() == 0)
        return std::nullopt;
    const QString path = script.absoluteFilePath();
    const QDeadlineTimer deadline(qMax(1, timeoutMs));

    const ShellRun check = runShell({u"-n"_s, path}, deadline);
    if (!check.exitedNormally || check.exitCode != 0)
        return std::nullopt;
    ShellRun run = runShell({path}, deadline);
    if (!run.exitedNormally || run.exitCode != 0 || run.output.size() > kMostScriptOutput)
        return std::nullopt;
    if (run.output.endsWith('\n'))
        run.output.chop(1);
    if (run.output.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(run.output);
}

QString scriptQueryPath()
{
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        "/Stepgrab/Safari_Get_URL.txt"_L1;
    if (QFileInfo(own).isFile())
        return own;
    // Installed beside the program (bin/ and share/stepgrab/); the build tree has the same layout.
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           "/../share/stepgrab/Safari_Get_URL.txt"_L1);
}
