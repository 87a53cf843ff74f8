// Times a link search end to end on a page of many links: from the command to the Entrance
// sheet on screen, through the script query, the fetch over loopback, the scan and the table.
// Usage: stepgrab-entrance-bench [LINKS] [RUNS]   (100000 links, 5 runs by default)
#include "app/controller.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
#include "support/quiethost.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int links = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    QByteArray page = "<html><body>\n";
    for (int i = 0; i < links; ++i)
        page += "<a class=\"t\" href=\"photos/pic" + QByteArray::number(i) + ".jpg\">" +
                QByteArray::number(i) + "</a>\n";
    page += "</body></html>\n";
    FixtureServer server;
    server.addFile(QStringLiteral("/big/index.html"), page, 200, "text/html");
    QDir().mkpath(home.path() + QStringLiteral("/Stepgrab"));
    QFile script(home.path() + QStringLiteral("/Stepgrab/Safari_Get_URL.txt"));
    if (!script.open(QIODevice::WriteOnly))
        return 1;
    script.write("echo " + server.baseUrl().toUtf8() + "/big/index.html\n");
    script.close();

    QuietHost host;
    Controller controller(&host);
    controller.applicationDidFinishLaunching();
    controller.mWebBrowser = WebBrowser::Script;
    auto* sheet = controller.mainWindow()->findChild<QDialog*>(QStringLiteral("EntranceSheet"));
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        controller.showEntrance();
        if (!QTest::qWaitFor([&] { return sheet->isVisible(); }, 60000))
            return 1;
        QApplication::processEvents(); // the first paint of the sheet and its table
        times << clock.nsecsElapsed() / 1e6;
        if (controller.linkList().size() != links)
            return 1;
        controller.sheet_entrance_close();
    }
    std::sort(times.begin(), times.end());
    std::printf("page_bytes: %lld\nlinks: %d\nmedian_ms: %.1f\nfastest_ms: %.1f\n",
                static_cast<long long>(page.size()), links, times[times.size() / 2], times.front());
    return 0;
}
