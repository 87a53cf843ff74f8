// Times a URL-list run's start over a pasted list of many addresses: from OK (downloadText) to
// the server's first request, and the run's peak memory.
// Usage: stepgrab-urllist-bench [ADDRESSES]   (100000 by default)
#include "app/controller.h"
#include "app/mainpanel.h"
#include "fixtureserver.h"
#include "support/quiethost.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QThread>
#include <algorithm>
#include <cstdio>

static long peakKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;

    FixtureServer server;
    QString list;
    for (int i = 0; i < count; ++i)
        list += server.baseUrl() + QStringLiteral("/l/photo%1.jpg\r\n").arg(i);
    server.addFile(QStringLiteral("/l/photo0.jpg"), FixtureServer::seriesBody("photo0.jpg", 1024));

    QuietHost host;
    Controller controller(&host);
    controller.applicationDidFinishLaunching();
    controller.mOutputDirectory = home.path();
    controller.mainWindow()->findChild<QTextEdit*>()->setPlainText(list);
    list.clear();

    QElapsedTimer clock;
    clock.start();
    controller.downloadText();
    const QDeadlineTimer deadline(30000);
    while (server.hits(QStringLiteral("/l/photo0.jpg")) == 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    const double ms = clock.nsecsElapsed() / 1e6;
    const bool reached = server.hits(QStringLiteral("/l/photo0.jpg")) > 0;
    controller.stop_download();
    std::printf("addresses: %d\nfirst_request_ms: %.1f\npeak_kib: %ld\n", count, ms, peakKiB());
    return reached ? 0 : 1;
}
