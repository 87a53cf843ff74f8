#include "app/controller.h"
#include "app/mainpanel.h"
#include "app/signalquit.h"
#include "app/singleinstance.h"
#include "host/desktophost.h"
#include "host/localized.h"
#include "sources/bookmark.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QUrl>
#include <csignal>
#include <cstdio>
#include <optional>

namespace {

void installTranslation(QApplication& app)
{
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(), QStringLiteral("stepgrab"), QStringLiteral("_"),
                         QStringLiteral(":/i18n")) ||
        translator->load(QStringLiteral("stepgrab_en"), QStringLiteral(":/i18n")))
        QCoreApplication::installTranslator(translator);
    // Qt's own texts (the file and folder panels, the buttons of alerts) in the same language.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
}

// Without any display, a run to its end and the answers that need no window
// (help, version, a bad option) still work on the offscreen platform.
void chooseOffscreenWithoutDisplay(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    static const QList<QByteArray> windowOptions = {"--start", "--log", "--output", "--url-list"};
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        // An option's value is no option, even "-" for standard input.
        if (arg == "--output" || arg == "--url-list") {
            ++i;
            continue;
        }
        if (arg == "--quit-when-done" ||
            (arg.startsWith('-') && !windowOptions.contains(arg) && !arg.startsWith("--output=") &&
             !arg.startsWith("--url-list="))) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            return;
        }
    }
}

// What ADDRESS asks the window to take. A file manager opens a bookmark by its path (or a
// file: URL); its type goes by the name, in any letter case. A file that is no bookmark gives
// nothing to take, as an address the window cannot use.
launchmessage::Message launchArgument(const QStringList& positional, bool start)
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
            std::fprintf(stderr, "stepgrab: %s is not a bookmark\n", qPrintable(path));
        }
        return message;
    }
    message.kind = launchmessage::Kind::Typed;
    message.address = argument;
    return message;
}

void takeAddress(Controller& controller, const launchmessage::Message& message)
{
    if (message.kind == launchmessage::Kind::Typed)
        controller.takeAddress(message.address);
    else if (message.kind == launchmessage::Kind::Bookmark)
        controller.acceptAddress(message.address, nullptr);
}

// Another launch's address, taken as if opened here; during a run the address is the run's.
void takeHandedOver(Controller& controller, const launchmessage::Message& message)
{
    QWidget* window = controller.mainWindow();
    window->show();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
    if (controller.isRunning())
        return;
    takeAddress(controller, message);
    if (message.start && message.kind != launchmessage::Kind::Raise && controller.canStart())
        controller.start_download();
}

// The most of a list read: far more addresses than anyone pastes, far less than the memory.
constexpr qint64 kLargestList = 64 << 20;

// The whole of FILE ("-": standard input) as text, or why it cannot be had.
std::optional<QString> readList(const QString& name, QString* error)
{
    QFile file;
    const bool opened = name == u"-" ? file.open(stdin, QIODevice::ReadOnly)
                                     : (file.setFileName(name), file.open(QIODevice::ReadOnly));
    if (!opened) {
        *error = file.errorString();
        return std::nullopt;
    }
    QByteArray data;
    for (;;) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                *error = file.errorString();
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

} // namespace

int main(int argc, char* argv[])
{
    // First of all: a signal from here on is kept until the window can be closed for it.
    SignalQuit::install();
    // A log piped into a reader that stops early (stepgrab --log | head) must not end the
    // program before it has stopped the run and kept the preferences.
    std::signal(SIGPIPE, SIG_IGN);
    chooseOffscreenWithoutDisplay(argc, argv);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Stepgrab"));
    QCoreApplication::setApplicationName(QStringLiteral("Stepgrab"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STEPGRAB_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("stepgrab"));
    installTranslation(app);

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
    parser.addOptions({start, quitWhenDone, log, output, urlList});
    parser.addPositionalArgument(QStringLiteral("ADDRESS"), localized("ArgumentAddress"),
                                 QStringLiteral("[ADDRESS]"));
    if (!parser.parse(QCoreApplication::arguments())) {
        std::fprintf(stderr, "stepgrab: %s\nTry 'stepgrab --help' for more information.\n",
                     qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "stepgrab: only one ADDRESS can be given\nTry 'stepgrab --help' for "
                             "more information.\n");
        return 2;
    }

    std::optional<QString> list;
    if (parser.isSet(urlList)) {
        if (parser.isSet(start) || !parser.positionalArguments().isEmpty()) {
            std::fprintf(stderr, "stepgrab: --url-list cannot be combined with --start or "
                                 "ADDRESS\nTry 'stepgrab --help' for more information.\n");
            return 2;
        }
        QString error;
        list = readList(parser.value(urlList), &error);
        if (!list) {
            std::fprintf(stderr, "stepgrab: cannot read %s: %s\n",
                         qPrintable(parser.value(urlList)), qPrintable(error));
            return 2;
        }
    }

    const launchmessage::Message launch =
        launchArgument(parser.positionalArguments(), parser.isSet(start));
    // A batch run, or a list run, is the caller's own: it neither hands over nor takes
    // others' addresses.
    SingleInstance instance;
    if (!parser.isSet(quitWhenDone) && !list) {
        const QString path = SingleInstance::socketPath();
        switch (SingleInstance::handOver(path, launch)) {
        case SingleInstance::HandOver::Taken:
            return 0;
        case SingleInstance::HandOver::NoServer:
            if (!instance.listen(path))
                std::fprintf(stderr, "stepgrab: cannot listen at %s for later launches\n",
                             qPrintable(path));
            break;
        case SingleInstance::HandOver::NoAnswer:
            std::fprintf(stderr, "stepgrab: the running Stepgrab did not take the address; "
                                 "opening a window of its own\n");
            break;
        }
    }

    DesktopHost host;
    Controller controller(&host);
    host.setWindow(controller.mainWindow());
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     &Controller::applicationWillTerminate);
    controller.applicationDidFinishLaunching();
    if (parser.isSet(output))
        controller.setOutputDirectoryForLaunch(parser.value(output));
    controller.setLogMirror(parser.isSet(log));
    // SIGTERM, SIGINT and SIGHUP close the window, as Quit does, so that the run ends and the
    // preferences are kept; the exit status is then what Quit would give.
    SignalQuit signalQuit;
    QObject::connect(&signalQuit, &SignalQuit::quitRequested, controller.mainWindow(),
                     &QWidget::close);

    int status = 0;
    if (parser.isSet(quitWhenDone)) {
        QObject::connect(&controller, &Controller::downloadFinished, &app, [&status](bool failed) {
            status = failed ? 1 : 0;
            // Quit from the event loop, after the run's own end has been handled.
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        });
    }
    takeAddress(controller, launch);
    QObject::connect(&instance, &SingleInstance::received, &controller,
                     [&controller](const launchmessage::Message& message) {
                         takeHandedOver(controller, message);
                     });
    if (list && !controller.startListForLaunch(*list)) {
        if (parser.isSet(quitWhenDone)) {
            std::fprintf(stderr, "stepgrab: %s holds no address\n",
                         qPrintable(parser.value(urlList)));
            return 1;
        }
        controller.showAlertSheet(localized("FailureGrabText"));
    }
    if (parser.isSet(start)) {
        if (!controller.canStart()) {
            std::fprintf(stderr, "stepgrab: --start needs a counted address such as "
                                 "http://host/dir/pic012.jpg\n");
            if (parser.isSet(quitWhenDone))
                return 1;
        }
        controller.start_download();
    }
    const int loop = app.exec();
    // The log itself ends without a line end; the terminal's prompt should not follow it.
    if (parser.isSet(log))
        std::fputs("\n", stdout);
    return loop != 0 ? loop : status;
}
