// stepgrab-browser-bridge: answers Stepgrab's browser query for a real browser. As a bus
// service (started by D-Bus activation) it owns the name of a process of type 'APPL' with
// its creator code while the browser runs, and answers 'WWW!' 'LSTW' and 'WNFO'
// (docs/browser-query.md). With --print-front-url it prints the front window's address once.
#include "readers/browserreader.h"
#include "sources/aedesc.h"
#include "sources/aewire.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QFile>
#include <QTimer>
#include <QtEndian>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// A browser's windows as last read: an address each, or none where the window cannot
// answer (only the test reader has such windows).
struct Snapshot
{
    bool running = false;
    QList<std::optional<QString>> windows;
};

class Source
{
public:
    virtual ~Source() = default;
    virtual Snapshot read() = 0;
};

class ReaderSource : public Source
{
public:
    explicit ReaderSource(std::unique_ptr<bridge::BrowserReader> reader)
        : m_reader(std::move(reader))
    {
    }
    Snapshot read() override
    {
        const bridge::Windows windows = m_reader->read();
        Snapshot snapshot{windows.running, {}};
        for (const QString& address : windows.addresses)
            snapshot.windows.append(address);
        return snapshot;
    }

private:
    std::unique_ptr<bridge::BrowserReader> m_reader;
};

// For tests: one window per line of the file, "FAIL" for a window whose info request
// fails; no file, no browser. Read afresh each time, as the browser readers are.
class FileSource : public Source
{
public:
    explicit FileSource(QString path) : m_path(std::move(path)) {}
    Snapshot read() override
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        Snapshot snapshot{true, {}};
        QByteArray text = file.readAll();
        if (text.endsWith('\n'))
            text.chop(1);
        if (text.isEmpty())
            return snapshot;
        for (const QByteArray& line : text.split('\n')) {
            if (line == "FAIL")
                snapshot.windows.append(std::nullopt);
            else
                snapshot.windows.append(QString::fromUtf8(line));
        }
        return snapshot;
    }

private:
    QString m_path;
};

const QString kErrorPrefix = u"org.stepgrab.AppleEvents.Error."_s;

class AppleEventsObject : public QDBusVirtualObject
{
public:
    AppleEventsObject(Source& source, QTimer& idle) : m_source(source), m_idle(idle) {}

    QString introspect(const QString&) const override
    {
        return uR"xml(<interface name="org.stepgrab.AppleEvents">
  <method name="Send">
    <arg name="eventClass" type="u" direction="in"/>
    <arg name="eventID" type="u" direction="in"/>
    <arg name="returnID" type="n" direction="in"/>
    <arg name="transactionID" type="i" direction="in"/>
    <arg name="parameters" type="a(uuay)" direction="in"/>
    <arg name="replyParameters" type="a(uuay)" direction="out"/>
  </method>
</interface>
)xml"_s;
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.interface() != QLatin1StringView(aewire::kInterface) ||
            message.member() != QLatin1StringView(aewire::kSend))
            return false;
        m_idle.start();
        if (message.signature() != QLatin1StringView(aewire::kSendSignature))
            return connection.send(message.createErrorReply(
                u"org.freedesktop.DBus.Error.InvalidArgs"_s, u"Send takes (uunia(uuay))"_s));
        const QVariantList arguments = message.arguments();
        AppleEvent event;
        event.eventClass = arguments.at(0).toUInt();
        event.eventID = arguments.at(1).toUInt();
        event.parameters = aewire::fromWire(qdbus_cast<aewire::Parameters>(arguments.at(4)));
        AppleEvent reply;
        QString error;
        answer(event, &reply, &error);
        if (!error.isEmpty())
            return connection.send(message.createErrorReply(
                kErrorPrefix + error.section(u' ', 0, 0), error.section(u' ', 1)));
        return connection.send(
            message.createReply(QVariant::fromValue(aewire::toWire(reply.parameters))));
    }

private:
    void answer(const AppleEvent& event, AppleEvent* reply, QString* error)
    {
        if (event.eventClass != fourCharCode("WWW!")) {
            *error = u"UnknownEvent no event class "_s + fourCharText(event.eventClass);
            return;
        }
        if (event.eventID == fourCharCode("LSTW")) {
            read();
            QList<AEDesc> ids;
            for (qsizetype i = 0; i < m_snapshot.windows.size(); ++i)
                ids.append(makeLongDesc(qint32(i + 1)));
            AEPutParamDesc(reply, keyDirectObject, makeListDesc(ids));
        } else if (event.eventID == fourCharCode("WNFO")) {
            AEDesc idDesc;
            if (AEGetParamDesc(event, keyDirectObject, typeSInt32, &idDesc) != noErr) {
                *error = u"InvalidWindow the direct object is not a 'long'"_s;
                return;
            }
            const qint32 id = qFromBigEndian<qint32>(idDesc.data.constData());
            if (m_snapshot.windows.isEmpty())
                read();
            if (id < 1 || id > m_snapshot.windows.size()) {
                *error = u"NoSuchWindow no window %1"_s.arg(id);
                return;
            }
            const auto& address = m_snapshot.windows.at(id - 1);
            if (!address) {
                *error = u"WindowFailed window %1 cannot tell its address"_s.arg(id);
                return;
            }
            AEPutParamDesc(reply, keyDirectObject, makeListDesc({makeTextDesc(*address)}));
        } else {
            *error = u"UnknownEvent no event 'WWW!' "_s + fourCharText(event.eventID);
        }
    }

    // A browser that has quit takes the bridge with it once this request is answered: the name
    // is released, so the next query activates a bridge that looks afresh.
    void read()
    {
        m_snapshot = m_source.read();
        if (!m_snapshot.running)
            QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                      Qt::QueuedConnection);
    }

    Source& m_source;
    QTimer& m_idle;
    Snapshot m_snapshot;
};

std::optional<OSType> creatorFromText(const QString& text)
{
    if (text == "MSIE"_L1 || text == "MOSS"_L1 || text == "iCAB"_L1) {
        const QByteArray code = text.toLatin1();
        return (OSType(quint8(code[0])) << 24) | (OSType(quint8(code[1])) << 16) |
               (OSType(quint8(code[2])) << 8) | OSType(quint8(code[3]));
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"stepgrab-browser-bridge"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Answers Stepgrab's browser query (the address of the front window of a web browser)\n"
        "on the session bus, or prints it once with --print-front-url."_s);
    parser.addHelpOption();
    const QCommandLineOption creatorOption(
        u"creator"_s,
        u"Which browser to answer for: MSIE the desktop's default web browser (default), "
        "MOSS Firefox, iCAB Chromium / Chrome."_s,
        u"code"_s, u"MSIE"_s);
    const QCommandLineOption portOption(
        u"devtools-port"_s, u"Port of Chromium's DevTools endpoint on 127.0.0.1 (default 9222)."_s,
        u"port"_s, u"9222"_s);
    const QCommandLineOption chromiumOption(
        u"chromium-profile"_s,
        u"Chromium-family profile folder (default: the one in use of any install)."_s, u"dir"_s);
    const QCommandLineOption firefoxOption(
        u"firefox-profile"_s, u"Firefox profile folder (default: the one in use of any install)."_s,
        u"dir"_s);
    const QCommandLineOption printOption(
        u"print-front-url"_s,
        u"Print the address of the front window and exit (non-zero when there is none)."_s);
    const QCommandLineOption idleOption(
        u"idle-timeout"_s,
        u"As a bus service, exit after this many seconds without a request (default 60)."_s,
        u"seconds"_s, u"60"_s);
    const QCommandLineOption fileOption(
        u"windows-from-file"_s,
        u"For testing: the windows are the lines of this file, one address each; a line FAIL is a "
        "window whose info request fails; no file, no browser running."_s,
        u"file"_s);
    parser.addOptions({creatorOption, portOption, chromiumOption, firefoxOption, printOption,
                       idleOption, fileOption});
    parser.process(app);

    const auto creator = creatorFromText(parser.value(creatorOption));
    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    bool idleOk = false;
    const double idleSeconds = parser.value(idleOption).toDouble(&idleOk);
    if (!creator || !portOk || port < 1 || port > 65535 || !idleOk || idleSeconds <= 0 ||
        idleSeconds > 86400) {
        std::fprintf(stderr,
                     "stepgrab-browser-bridge: --creator takes MSIE, MOSS or iCAB, --devtools-port "
                     "1 to 65535, --idle-timeout a positive number of seconds\n");
        return 2;
    }

    bridge::Options options;
    options.devtoolsPort = port;
    options.chromiumProfile = parser.value(chromiumOption);
    options.firefoxProfile = parser.value(firefoxOption);
    std::unique_ptr<Source> source;
    if (parser.isSet(fileOption))
        source = std::make_unique<FileSource>(parser.value(fileOption));
    else if (*creator == fourCharCode("MOSS"))
        source = std::make_unique<ReaderSource>(bridge::makeFirefoxReader(options));
    else if (*creator == fourCharCode("iCAB"))
        source = std::make_unique<ReaderSource>(bridge::makeChromiumReader(options));
    else
        source = std::make_unique<ReaderSource>(bridge::makeDefaultBrowserReader(options));

    const Snapshot first = source->read();
    if (parser.isSet(printOption)) {
        if (!first.running) {
            std::fprintf(stderr, "stepgrab-browser-bridge: the browser is not running\n");
            return 1;
        }
        if (first.windows.isEmpty() || !first.windows.first() || first.windows.first()->isEmpty()) {
            std::fprintf(stderr, "stepgrab-browser-bridge: the browser shows no page\n");
            return 1;
        }
        std::printf("%s\n", first.windows.first()->toUtf8().constData());
        return 0;
    }

    // No browser, no process: the name stays free, so activation fails and the query
    // finds no process. A non-zero status tells the bus at once: after a clean exit it
    // would wait out its activation time-out for a daemonized child to take the name.
    if (!first.running) {
        std::fprintf(stderr, "stepgrab-browser-bridge: the browser is not running\n");
        return 1;
    }

    aewire::registerTypes();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "stepgrab-browser-bridge: no session bus\n");
        return 1;
    }
    QTimer idle;
    idle.setSingleShot(true);
    idle.setInterval(int(idleSeconds * 1000));
    QObject::connect(&idle, &QTimer::timeout, &app, &QCoreApplication::quit);
    AppleEventsObject object(*source, idle);
    if (!bus.registerVirtualObject(QString::fromLatin1(aewire::kPath), &object)) {
        std::fprintf(stderr, "stepgrab-browser-bridge: cannot register %s\n", aewire::kPath);
        return 1;
    }
    const QString name = aewire::processBusName(fourCharCode("APPL"), *creator);
    if (!bus.registerService(name)) {
        std::fprintf(stderr, "stepgrab-browser-bridge: %s is taken\n", qPrintable(name));
        return 1;
    }
    // The bus going away (dbus-run-session ending, a logout) ends the bridge too.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &app, [&bus, &app] {
        if (!bus.isConnected())
            app.quit();
    });
    watch.start(250);
    idle.start();
    const int status = app.exec();
    bus.unregisterService(name);
    bus.unregisterObject(QString::fromLatin1(aewire::kPath));
    return status;
}
