// A long run and many interrupted ones through the real window, against a server on loopback.
// Usage: stepgrab-soak-bench series FOLDER_URL [FILES] [FILE_BYTES] [PAUSE_MS]
//          a series FOLDER_URL/pic0001.jpg … of FILES files (1000; at least 100) of FILE_BYTES
//          (4096) bytes each, as stepgrab-sample-server serves it; the process's resident memory
//          and open descriptors when file 100 and file FILES are logged; PAUSE_MS (20) is at
//          least 10, so that the worker is in its pause, not gone, when the last file is logged
//        stepgrab-soak-bench stopstart [CYCLES] [SEED] [PAUSE_MS]
//          CYCLES (200) Start/Stop cycles at moments drawn from SEED (1), against files that
//          take varying time; every run must end once, every file be whole or absent
// Prints "name: value" lines. Exits 1 when the figures could not be taken, 2 when a stopped
// run broke a rule (the lines starting "fault:" say which).
#include "fixtureserver.h"
#include "support/files.h"
#include "support/quiethost.h"
#include "support/window.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextBlock>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

struct Sample
{
    long rssKiB = -1;
    long anonKiB = -1;
    int fds = -1;
};

long statusKiB(const QByteArray& status, const QByteArray& key)
{
    for (const QByteArray& line : status.split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    return -1;
}

Sample sample()
{
    Sample s;
    QFile status(u"/proc/self/status"_s);
    if (status.open(QIODevice::ReadOnly)) {
        const QByteArray text = status.readAll();
        s.rssKiB = statusKiB(text, "VmRSS:");
        s.anonKiB = statusKiB(text, "RssAnon:");
    }
    // The listing's own descriptor is open at every sample alike.
    s.fds = int(QDir(u"/proc/self/fd"_s)
                    .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                    .size());
    return s;
}

int argument(int argc, char** argv, int index, int fallback)
{
    return argc > index ? atoi(argv[index]) : fallback;
}

// One long run: its memory and descriptors early and at the end, while the worker still runs.
// The server is another process, so that its threads and sockets count in no figure.
int series(const QString& folderUrl, int files, int fileBytes, int pauseMs)
{
    const QString first = u"pic%1.jpg"_s.arg(100, 4, 10, QLatin1Char('0'));
    const QString last = u"pic%1.jpg"_s.arg(files, 4, 10, QLatin1Char('0'));

    // A recording desktop would grow with every file and count in the figures.
    QuietHost host;
    Controller controller(&host);
    controller.applicationDidFinishLaunching();
    download::Policy policy;
    policy.pauseMs = pauseMs;
    controller.setPolicy(policy);
    QTemporaryDir output;
    controller.mCreateNewFolder = false;
    controller.mOutputDirectory = output.path();

    Sample atFirst, atLast;
    auto* log = controller.mainWindow()->findChild<QPlainTextEdit*>(u"mDrawer_Text"_s);
    // Taken as the file's line reaches the log, the worker already on its way to the next.
    QObject::connect(log, &QPlainTextEdit::textChanged, &controller, [&] {
        const QString line = log->document()->lastBlock().previous().text();
        // Both at once when the series is a single step long.
        if (atFirst.fds < 0 && line.endsWith(u' ' + first))
            atFirst = sample();
        if (atLast.fds < 0 && line.endsWith(u' ' + last))
            atLast = sample();
    });
    QElapsedTimer clock;
    clock.start();
    controller.takeAddress(folderUrl + u"/pic0001.jpg"_s);
    controller.start_download();
    if (!QTest::qWaitFor([&] { return !controller.isRunning(); }, files * (pauseMs + 1000)))
        return 1;
    const double seconds = clock.elapsed() / 1000.0;

    int whole = 0;
    for (int n = 1; n <= files; ++n) {
        const QString name = u"pic%1.jpg"_s.arg(n, 4, 10, QLatin1Char('0'));
        QFile file(output.filePath(name));
        whole += file.open(QIODevice::ReadOnly) &&
                 file.readAll() == FixtureServer::seriesBody(name, fileBytes);
    }
    std::printf("files: %d\nfile_bytes: %d\npause_ms: %d\nrun_s: %.1f\nfiles_whole: %d\n"
                "first_file: %s\nlast_file: %s\n",
                files, fileBytes, pauseMs, seconds, whole, qPrintable(first), qPrintable(last));
    std::printf("rss_kib_first: %ld\nrss_kib_last: %ld\nanon_kib_first: %ld\nanon_kib_last: %ld\n"
                "fds_first: %d\nfds_last: %d\n",
                atFirst.rssKiB, atLast.rssKiB, atFirst.anonKiB, atLast.anonKiB, atFirst.fds,
                atLast.fds);
    return whole == files && atFirst.fds >= 0 && atLast.fds >= 0 && atFirst.rssKiB >= 0 ? 0 : 1;
}

// What the server sends for one number of the stop/start series.
struct Served
{
    qint64 size = 0;
    bool paced = false; // largeChunk() bytes in pieces, else its seriesBody()
};

QByteArray servedBytes(const QString& name, const Served& served)
{
    return served.paced ? FixtureServer::largeChunk(0, served.size)
                        : FixtureServer::seriesBody(name, served.size);
}

int stopStart(int cycles, quint32 seed, int pauseMs)
{
    QRandomGenerator random(seed);
    FixtureServer server;
    constexpr qint64 kQuick = 8 * 1024;
    server.addSeries(u"s"_s, u"pic"_s, 1, 999, 3, u"jpg"_s, FixtureServer::End::NotFound404Html,
                     kQuick);
    // Half the files come at once, a quarter after a wait of up to a pause, and a quarter in
    // eight pieces over up to about a pause, each well within the longest wait before Stop, so that
    // Stop finds the run in its first fetch, in a pause, waiting for an answer and in the middle of
    // a body.
    QHash<QString, Served> served;
    for (int n = 1; n <= 999; ++n) {
        const QString name = names(n, n).first();
        const QString path = u"/s/"_s + name;
        switch (random.bounded(4)) {
        case 2: {
            const qint64 size = random.bounded(4 * 1024, 64 * 1024);
            served[name] = {size, false};
            server.addDelayed(path, FixtureServer::seriesBody(name, size),
                              random.bounded(1, pauseMs));
            break;
        }
        case 3: {
            const qint64 size = random.bounded(256 * 1024, 1024 * 1024);
            served[name] = {size, true};
            server.addPaced(path, size, 8, random.bounded(1, pauseMs / 6 + 2));
            break;
        }
        default:
            served[name] = {kQuick, false};
        }
    }

    RunWindow w;
    Controller& c = w.controller;
    download::Policy policy;
    policy.pauseMs = pauseMs;
    c.setPolicy(policy);
    c.takeAddress(server.baseUrl() + u"/s/pic001.jpg"_s);
    const QString folder = w.output.path();
    auto* log = w.get<QPlainTextEdit>(u"mDrawer_Text"_s);
    auto* start = w.get<QWidget>(u"mStartButton"_s);
    auto* stop = w.get<QWidget>(u"mStopButton"_s);
    auto* init = w.get<QWidget>(u"mInitButton"_s);
    int ends = 0;
    QObject::connect(&c, &Controller::downloadFinished, &c, [&] { ++ends; });

    QStringList faults;
    const QRegularExpression seriesName(u"^pic\\d{3}\\.jpg$"_s);
    int filesChecked = 0;
    // With no run going, the folder holds the series' files, each of the size sent, and
    // nothing else: no temporary and no file cut short under its final name.
    const auto checkFolder = [&](bool bytes) {
        for (const QString& name : entries(folder)) {
            ++filesChecked;
            const QString path = QDir(folder).filePath(name);
            struct stat st;
            if (!seriesName.match(name).hasMatch() || !served.contains(name) ||
                ::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
                faults << u"a stray entry: "_s + name;
                continue;
            }
            if (st.st_size != served[name].size)
                faults << u"%1 holds %2 of %3 bytes"_s.arg(name)
                              .arg(st.st_size)
                              .arg(served[name].size);
            else if (bytes && fileBytes(path) != servedBytes(name, served[name]))
                faults << name + u" differs from what was sent"_s;
        }
    };
    // The ends the run had and the log's own account of them, looked at once the run is over.
    int runs = 0, oneEnd = 0, mostEnds = 0;
    const auto checkRun = [&] {
        const QString text = log->toPlainText();
        const int logged = int(text.count(u"FinishedDownload"_s));
        mostEnds = std::max(mostEnds, ends);
        if (ends == 1 && logged == 1 && text.count(u"StartedDownload"_s) == 1)
            ++oneEnd;
        else
            faults << u"run %1 ended %2 times, its log %3 times"_s.arg(runs).arg(ends).arg(logged);
    };

    int stops = 0, endedAlone = 0, inits = 0;
    for (int cycle = 0; cycle < cycles && faults.size() < 20; ++cycle) {
        if (!QTest::qWaitFor([&] { return start->isEnabled(); }, 20000)) {
            faults << u"Start stayed disabled after cycle %1"_s.arg(cycle);
            break;
        }
        ends = 0;
        QTest::mouseClick(start, Qt::LeftButton);
        if (!c.isRunning()) {
            faults << u"Start began no run at cycle %1"_s.arg(cycle);
            break;
        }
        ++runs;
        QTest::qWait(random.bounded(0, 2 * pauseMs + 1));
        if (stop->isEnabled()) {
            QTest::mouseClick(stop, Qt::LeftButton);
            ++stops;
        } else {
            ++endedAlone;
        }
        if (!QTest::qWaitFor([&] { return !c.isRunning(); }, 20000)) {
            faults << u"run %1 did not end within 20 s of Stop"_s.arg(runs);
            break;
        }
        checkFolder(false);
        // Another run starts at once, or after an idle moment in which a late end could come.
        QTest::qWait(random.bounded(0, pauseMs + 1));
        checkRun();
        // Now and then the series again from its first number, over the files already here.
        if (random.bounded(8) == 0 && init->isEnabled()) {
            QTest::mouseClick(init, Qt::LeftButton);
            ++inits;
        }
    }
    // Whatever the last worker still had under way shows within a few pauses.
    QTest::qWait(4 * pauseMs + 500);
    if (runs > 0 && ends != 1)
        faults << u"the last run ended %1 times"_s.arg(ends);
    mostEnds = std::max(mostEnds, ends);
    checkFolder(true);

    // A paced body sent short is a transfer that Stop cut.
    int cut = 0, paced = 0;
    for (auto it = served.cbegin(); it != served.cend(); ++it) {
        if (!it->paced)
            continue;
        const QString path = u"/s/"_s + it.key();
        const int hits = server.hits(path);
        paced += hits;
        cut += hits - int(server.sentBytes(path) / it->size);
    }
    std::printf("seed: %u\npause_ms: %d\ncycles: %d\nruns: %d\nruns_with_one_end: %d\n"
                "most_ends_in_a_run: %d\nstops_clicked: %d\nruns_ended_alone: %d\ninits: %d\n"
                "paced_transfers: %d\npaced_transfers_cut: %d\nfiles_checked: %d\n"
                "files_at_end: %lld\nfaults: %lld\n",
                seed, pauseMs, cycles, runs, oneEnd, mostEnds, stops, endedAlone, inits, paced, cut,
                filesChecked, static_cast<long long>(entries(folder).size()),
                static_cast<long long>(faults.size()));
    for (const QString& fault : faults)
        std::printf("fault: %s\n", qPrintable(fault));
    return faults.isEmpty() ? 0 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (mode == "series" && argc > 2) {
        const int files = argument(argc, argv, 3, 1000);
        if (files < 100 || files > 9999) {
            std::fprintf(stderr, "stepgrab-soak-bench: FILES must be 100 to 9999\n");
            return 1;
        }
        return series(QString::fromLocal8Bit(argv[2]), files,
                      std::max(1, argument(argc, argv, 4, 4096)),
                      std::max(10, argument(argc, argv, 5, 20)));
    }
    if (mode == "stopstart")
        return stopStart(std::max(1, argument(argc, argv, 2, 200)),
                         quint32(argument(argc, argv, 3, 1)),
                         std::max(12, argument(argc, argv, 4, 100)));
    std::fprintf(stderr,
                 "usage: stepgrab-soak-bench series FOLDER_URL [FILES] [FILE_BYTES] [PAUSE_MS]\n"
                 "       stepgrab-soak-bench stopstart [CYCLES] [SEED] [PAUSE_MS]\n");
    return 1;
}
