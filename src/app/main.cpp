#include "app/controller.h"
#include "app/launchoptions.h"
#include "app/mainpanel.h"
#include "app/signalquit.h"
#include "app/singleinstance.h"
#include "host/desktophost.h"
#include "host/localized.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <csignal>
#include <cstdio>

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

// Hands the launch's address to the window already running (true), or becomes that window for
// later launches; a socket folder that others could listen in is not used at all.
bool handOverOrListen(SingleInstance& instance, const launchmessage::Message& launch)
{
    QString why;
    const QString path = SingleInstance::socketPath(&why);
    if (path.isEmpty()) {
        std::fprintf(stderr,
                     "stepgrab: not sharing a window through %s; opening a window of its own\n",
                     qPrintable(why));
        return false;
    }
    switch (SingleInstance::handOver(path, launch)) {
    case SingleInstance::HandOver::Taken:
        return true;
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
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    // First of all: a signal from here on is kept until the window can be closed for it.
    SignalQuit::install();
    // A log piped into a reader that stops early (stepgrab --log | head) must not end the
    // program before it has stopped the run and kept the preferences.
    std::signal(SIGPIPE, SIG_IGN);
    // Without any display, a run to its end and the answers that need no window (help,
    // version, a bad option) still work on the offscreen platform.
    if (!qEnvironmentVariableIsSet("DISPLAY") && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM") &&
        launchoptions::needsNoWindow(QByteArrayList(argv, argv + argc)))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Stepgrab"));
    QCoreApplication::setApplicationName(QStringLiteral("Stepgrab"));
    QCoreApplication::setApplicationVersion(QStringLiteral(STEPGRAB_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("stepgrab"));
    installTranslation(app);

    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    const auto parsed = launchoptions::parse(QCoreApplication::arguments(), &input);
    if (const auto* exit = std::get_if<launchoptions::Exit>(&parsed)) {
        std::fputs(qPrintable(exit->text), exit->toStandardError ? stderr : stdout);
        return exit->status;
    }
    const auto& options = std::get<launchoptions::Options>(parsed);
    for (const QString& warning : options.warnings)
        std::fputs(qPrintable(warning), stderr);

    SingleInstance instance;
    if (options.handsOver() && handOverOrListen(instance, options.address))
        return 0;

    DesktopHost host;
    Controller controller(&host);
    host.setWindow(controller.mainWindow());
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &controller,
                     &Controller::applicationWillTerminate);
    controller.applicationDidFinishLaunching();
    if (options.output)
        controller.setOutputDirectoryForLaunch(*options.output);
    controller.setLogMirror(options.log);
    controller.setListGoOnForLaunch(options.keepGoing);
    if (options.cookiesFromBrowser)
        controller.setCookieBrowserForLaunch(
            *options.cookiesFromBrowser == u"firefox"    ? WebBrowser::Firefox
            : *options.cookiesFromBrowser == u"chromium" ? WebBrowser::Chromium
                                                         : WebBrowser::Default);
    if (options.cookies)
        controller.setCookieFileForLaunch(QFileInfo(*options.cookies).absoluteFilePath());
    // SIGTERM, SIGINT and SIGHUP close the window, as Quit does, so that the run ends and the
    // preferences are kept; the exit status is then what Quit would give.
    SignalQuit signalQuit;
    QObject::connect(&signalQuit, &SignalQuit::quitRequested, controller.mainWindow(),
                     &QWidget::close);

    int status = 0;
    if (options.quitWhenDone) {
        QObject::connect(&controller, &Controller::downloadFinished, &app, [&status](bool failed) {
            status = failed ? 1 : 0;
            // Quit from the event loop, after the run's own end has been handled.
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        });
    }
    takeAddress(controller, options.address);
    QObject::connect(&instance, &SingleInstance::received, &controller,
                     [&controller](const launchmessage::Message& message) {
                         takeHandedOver(controller, message);
                     });
    if (options.list && !controller.startListForLaunch(*options.list)) {
        if (options.quitWhenDone) {
            std::fprintf(stderr, "stepgrab: %s holds no address\n", qPrintable(options.listName));
            return 1;
        }
        controller.showAlertSheet(localized("FailureGrabText"));
    }
    if (options.address.start) {
        if (!controller.canStart()) {
            std::fprintf(stderr, "stepgrab: --start needs a counted address such as "
                                 "http://host/dir/pic012.jpg\n");
            if (options.quitWhenDone)
                return 1;
        }
        controller.start_download();
    }
    const int loop = app.exec();
    return loop != 0 ? loop : status;
}
