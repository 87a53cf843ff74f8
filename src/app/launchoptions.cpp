#include "app/launchoptions.h"

#include "host/localized.h"
#include "sources/bookmark.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>

namespace launchoptions {

namespace {

const QString kTryHelp = QStringLiteral("\nTry 'stepgrab --help' for more information.\n");

// The most of a list read: far more addresses than anyone pastes, far less than the memory.
constexpr qint64 kLargestList = 64 << 20;

// The whole of device as text, or why it cannot be had.
std::optional<QString> readList(QIODevice& device, QString* error)
{
    if (!device.isOpen()) {
        *error = device.errorString();
        return std::nullopt;
    }
    QByteArray data;
    for (;;) {
        const QByteArray chunk = device.read(1 << 20);
        if (chunk.isEmpty()) {
            // A read error shows only in the file's own error state.
            const auto* file = qobject_cast<QFileDevice*>(&device);
            if (file && file->error() != QFileDevice::NoError) {
                *error = device.errorString();
                return std::nullopt;
            }
            break;
        }
        data += chunk;
        if (data.size() > kLargestList) {
            *error = QStringLiteral("larger than %1 MiB").arg(kLargestList >> 20);
            return std::nullopt;
        }
    }
    return QString::fromUtf8(data);
}

// What ADDRESS asks the window to take. A file manager opens a bookmark by its path (or a
// file: URL); its type goes by the name, in any letter case. A file that is no bookmark gives
// nothing to take, as an address the window cannot use.
launchmessage::Message launchArgument(const QStringList& positional, bool start,
                                      QStringList* warnings)
{
    launchmessage::Message message;
    message.start = start;
    if (positional.isEmpty())
        return message;
    const QString& argument = positional.constFirst();
    const QUrl asUrl(argument);
    const QString path = asUrl.isLocalFile() ? asUrl.toLocalFile() : argument;
    if (path.endsWith(QStringLiteral(".url"), Qt::CaseInsensitive) && QFileInfo(path).isFile()) {
        if (const auto address = bookmark::readFile(path)) {
            message.kind = launchmessage::Kind::Bookmark;
            message.address = *address;
        } else {
            warnings->append(QStringLiteral("stepgrab: %1 is not a bookmark\n").arg(path));
        }
        return message;
    }
    message.kind = launchmessage::Kind::Typed;
    message.address = argument;
    return message;
}

Exit badCommandLine(const QString& why)
{
    return {2, QStringLiteral("stepgrab: ") + why + kTryHelp, true};
}

} // namespace

std::variant<Options, Exit> parse(const QStringList& arguments, QIODevice* standardInput)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(localized("CommandLineDescription"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption start(QStringLiteral("start"), localized("OptionStart"));
    const QCommandLineOption quitWhenDone(QStringLiteral("quit-when-done"),
                                          localized("OptionQuitWhenDone"));
    const QCommandLineOption log(QStringLiteral("log"), localized("OptionLog"));
    const QCommandLineOption output(QStringLiteral("output"), localized("OptionOutput"),
                                    QStringLiteral("DIR"));
    const QCommandLineOption urlList(QStringLiteral("url-list"), localized("OptionURLList"),
                                     QStringLiteral("FILE"));
    const QCommandLineOption keepGoing(QStringLiteral("keep-going"), localized("OptionKeepGoing"));
    const QCommandLineOption cookiesFromBrowser(QStringLiteral("cookies-from-browser"),
                                                localized("OptionCookiesFromBrowser"),
                                                QStringLiteral("BROWSER"));
    const QCommandLineOption cookies(QStringLiteral("cookies"), localized("OptionCookies"),
                                     QStringLiteral("FILE"));
    parser.addOptions(
        {start, quitWhenDone, log, output, urlList, keepGoing, cookiesFromBrowser, cookies});
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), localized("ArgumentAddress"),
                                 QStringLiteral("[ADDRESS]"));
    if (!parser.parse(arguments))
        return badCommandLine(parser.errorText());
    // --help-all comes with --help; there are no Qt options worth listing beyond it.
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")))
        return Exit{0, parser.helpText()};
    if (parser.isSet(QStringLiteral("version")))
        return Exit{0, QCoreApplication::applicationName() + u' ' +
                           QCoreApplication::applicationVersion() + u'\n'};
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return badCommandLine(QStringLiteral("only one ADDRESS can be given"));

    Options options;
    if (parser.isSet(urlList)) {
        if (parser.isSet(start) || !positional.isEmpty())
            return badCommandLine(
                QStringLiteral("--url-list cannot be combined with --start or ADDRESS"));
        options.listName = parser.value(urlList);
        QFile file(options.listName);
        if (options.listName != u"-")
            file.open(QIODevice::ReadOnly);
        QString error;
        options.list = readList(
            options.listName == u"-" ? *standardInput : static_cast<QIODevice&>(file), &error);
        if (!options.list)
            return Exit{
                2, QStringLiteral("stepgrab: cannot read %1: %2\n").arg(options.listName, error),
                true};
    }
    options.address = launchArgument(positional, parser.isSet(start), &options.warnings);
    options.quitWhenDone = parser.isSet(quitWhenDone);
    options.log = parser.isSet(log);
    options.keepGoing = parser.isSet(keepGoing);
    if (parser.isSet(output))
        options.output = parser.value(output);
    if (parser.isSet(cookiesFromBrowser)) {
        const QString browser = parser.value(cookiesFromBrowser);
        if (browser != u"firefox" && browser != u"chromium" && browser != u"default")
            return badCommandLine(
                QStringLiteral(
                    "--cookies-from-browser takes firefox, chromium or default, not '%1'")
                    .arg(browser));
        options.cookiesFromBrowser = browser;
    }
    // Read at the start of each run, so that it may change while the window is up.
    if (parser.isSet(cookies))
        options.cookies = parser.value(cookies);
    return options;
}

bool needsNoWindow(const QByteArrayList& arguments)
{
    static const QByteArrayList windowOptions = {
        "--start",  "--log", "--output", "--url-list", "--keep-going", "--cookies-from-browser",
        "--cookies"};
    static const QByteArrayList withValue = {"--output", "--url-list", "--cookies-from-browser",
                                             "--cookies"};
    const auto inOneWord = [](const QByteArray& arg) {
        return std::any_of(withValue.begin(), withValue.end(),
                           [&](const QByteArray& option) { return arg.startsWith(option + '='); });
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QByteArray& arg = arguments[i];
        // An option's value is no option, even "-" for standard input.
        if (withValue.contains(arg)) {
            ++i;
            continue;
        }
        if (arg == "--quit-when-done" ||
            (arg.startsWith('-') && !windowOptions.contains(arg) && !inOneWord(arg)))
            return true;
    }
    return false;
}

} // namespace launchoptions
