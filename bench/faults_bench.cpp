// Runs the transfer engine against servers that cut or mis-frame their answers, the way real
// ones do, and against a large file cut several times.
// Usage: stepgrab-faults-bench faults [RUNS]      (50 runs of each kind by default)
//        stepgrab-faults-bench resume SIZE FOLDER  (the file is written into FOLDER, then removed)
// faults exits 2 when any run saved a file as complete; both exit 1 when a figure could not be
// taken.
#include "download/fetcher.h"
#include "fixtureserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <optional>

namespace {

using FS = FixtureServer;

struct Run
{
    Fetcher::Result result;
    int retries = 0;
    bool answered = false;
};

Run fetchOnce(Fetcher& fetcher, const QString& url, const QString& path, int timeoutMs)
{
    Run run;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto done =
        QObject::connect(&fetcher, &Fetcher::finished, &loop, [&](const Fetcher::Result& r) {
            run.result = r;
            run.answered = true;
            loop.quit();
        });
    const auto retried = QObject::connect(&fetcher, &Fetcher::retrying, &loop,
                                          [&](const QString&, int, int) { ++run.retries; });
    fetcher.start(QUrl(url), path, false);
    timeout.start(timeoutMs);
    loop.exec();
    if (!run.answered)
        fetcher.abort();
    QObject::disconnect(done);
    QObject::disconnect(retried);
    return run;
}

struct Kind
{
    QString name;
    std::function<void(FS&, const QString&)> setup;
    bool reused = false;
};

QList<Kind> kinds()
{
    QList<Kind> out;
    const QList<QPair<QString, FS::ChunkCut>> cuts{
        {"chunked mid-chunk", FS::ChunkCut::MidChunk},
        {"chunked at boundary", FS::ChunkCut::AtBoundary},
        {"chunked after data", FS::ChunkCut::AfterData}};
    for (bool reused : {false, true})
        for (const auto& [name, cut] : cuts)
            for (FS::Hangup hangup : {FS::Hangup::Close, FS::Hangup::Reset})
                out.append(
                    {name + (hangup == FS::Hangup::Close ? ", close" : ", reset") +
                         (reused ? ", reused" : ", fresh"),
                     [cut, hangup](FS& s, const QString& p) { s.addChunkedCut(p, cut, hangup); },
                     reused});
    out.append({"no length, reset", [](FS& s, const QString& p) {
                    s.addHangup(p, 300000, FS::Framing::CloseDelimited, FS::Hangup::Reset);
                }});
    const QList<QPair<QString, FS::BadLength>> lengths{
        {"Content-Length: N, N", FS::BadLength::Doubled},
        {"Content-Length: 12abc", FS::BadLength::TrailingLetters},
        {"Content-Length 23 digits", FS::BadLength::TwentyThreeDigits},
        {"two Content-Length", FS::BadLength::TwoDifferent},
        {"206 not asked for", FS::BadLength::UnaskedRange},
        {"N + 100 bytes", FS::BadLength::LongerThanAnnounced}};
    for (const auto& [name, kind] : lengths)
        out.append({name, [kind](FS& s, const QString& p) { s.addBadLength(p, kind, 100000); }});
    return out;
}

int faults(int runs)
{
    QTemporaryDir dir;
    FS server;
    server.addFile(QStringLiteral("/good"), FS::largeChunk(0, 50000));
    download::Policy policy;
    policy.retryDelaysMs = {10, 10, 10};
    const QList<Kind> all = kinds();
    int savedTotal = 0;
    bool failed = false;
    std::printf("%-36s %5s %18s %8s %7s\n", "kind", "runs", "saved as complete", "retried",
                "reused");
    for (int k = 0; k < all.size(); ++k) {
        const Kind& kind = all.at(k);
        const QString path = QStringLiteral("/cut/%1").arg(k);
        kind.setup(server, path);
        int saved = 0;
        int retried = 0;
        for (int i = 0; i < runs; ++i) {
            // A new Fetcher per run: a new connection unless it reuses the good file's.
            Fetcher fetcher(policy);
            if (kind.reused &&
                fetchOnce(fetcher, server.baseUrl() + "/good", dir.filePath("good"), 30000)
                        .result.outcome != Fetcher::Outcome::Written) {
                std::fprintf(stderr, "the good file failed before '%s'\n", qPrintable(kind.name));
                failed = true;
            }
            const QString file = dir.filePath(QStringLiteral("f%1-%2").arg(k).arg(i));
            const Run run = fetchOnce(fetcher, server.baseUrl() + path, file, 30000);
            if (!run.answered) {
                std::fprintf(stderr, "'%s' did not end within 30 s\n", qPrintable(kind.name));
                failed = true;
            }
            if (run.result.outcome == Fetcher::Outcome::Written || QFile::exists(file))
                ++saved;
            retried += run.retries > 0;
            QFile::remove(file);
            QFile::remove(dir.filePath("good"));
        }
        savedTotal += saved;
        std::printf("%-36s %5d %18d %8d %7s\n", qPrintable(kind.name), runs, saved, retried,
                    kind.reused ? qPrintable(QString::number(server.reusedHits(path))) : "-");
        std::fflush(stdout);
    }
    std::printf("faults_saved_as_complete: %d\n", savedTotal);
    if (failed)
        return 1;
    return savedTotal > 0 ? 2 : 0;
}

// Compares the file with the pattern a block at a time.
bool sameAsPattern(const QString& path, qint64 size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != size)
        return false;
    constexpr qint64 kBlock = 4 * 1024 * 1024;
    for (qint64 at = 0; at < size; at += kBlock) {
        const QByteArray block = file.read(std::min(kBlock, size - at));
        if (block != FS::largeChunk(at, block.size()))
            return false;
    }
    return true;
}

// The body bytes the server sent for each request, from the ranges it was asked for: all
// answers are honest and each cut is an orderly close, so the client read all of them.
qint64 bytesServed(const QList<QByteArray>& ranges, const QList<qint64>& cuts, qint64 size)
{
    qint64 total = 0;
    for (int i = 0; i < ranges.size(); ++i) {
        const QByteArray& range = ranges.at(i);
        const qint64 start =
            range.startsWith("bytes=") ? range.mid(6).split('-').first().toLongLong() : 0;
        total += std::max<qint64>((i < cuts.size() ? cuts.at(i) : size) - start, 0);
    }
    return total;
}

int resume(qint64 size, const QString& folder)
{
    FS server;
    const QList<qint64> cuts{size / 4, size / 2, size * 9 / 10};
    server.addResumable(QStringLiteral("/whole"), size, {});
    server.addResumable(QStringLiteral("/cut"), size, cuts);
    download::Policy policy;
    policy.retryDelaysMs = {10, 10, 10};
    const QString path = QDir(folder).filePath(QStringLiteral("large.bin"));
    // The uncut file before and after the cut one, so that a change in the machine's load
    // falls on both sides of the comparison.
    const char* names[3] = {"whole", "cut", "whole"};
    double ms[3] = {0, 0, 0};
    Run runs[3];
    for (int i = 0; i < 3; ++i) {
        Fetcher fetcher(policy);
        QElapsedTimer clock;
        clock.start();
        runs[i] = fetchOnce(fetcher, server.baseUrl() + '/' + names[i], path, 600000);
        ms[i] = clock.nsecsElapsed() / 1e6;
        const bool ok = runs[i].result.outcome == Fetcher::Outcome::Written;
        const bool same = ok && sameAsPattern(path, size);
        QFile::remove(path);
        if (!same) {
            std::fprintf(stderr, "the %s transfer %s: %s\n", names[i],
                         ok ? "wrote other bytes" : "failed", qPrintable(runs[i].result.reason));
            return 1;
        }
    }
    const double wholeMs = (ms[0] + ms[2]) / 2;
    const qint64 served = bytesServed(server.rangeHeaders(QStringLiteral("/cut")), cuts, size);
    std::printf("resume_file_bytes: %lld\n", static_cast<long long>(size));
    std::printf("resume_cuts_at: %lld %lld %lld\n", static_cast<long long>(cuts[0]),
                static_cast<long long>(cuts[1]), static_cast<long long>(cuts[2]));
    std::printf("resume_requests: %lld\n",
                static_cast<long long>(server.rangeHeaders(QStringLiteral("/cut")).size()));
    std::printf("resume_retries: %d\n", runs[1].retries);
    std::printf("resume_served_over_size: %.3f\n", double(served) / double(size));
    std::printf("resume_received_over_size: %.3f\n",
                double(runs[1].result.received) / double(size));
    std::printf("resume_whole_ms: %.0f\nresume_cut_ms: %.0f\nresume_time_ratio: %.3f\n", wholeMs,
                ms[1], ms[1] / wholeMs);
    std::printf("resume_files_identical: yes\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("faults"))
        return faults(args.size() > 1 ? std::max(1, args.at(1).toInt()) : 50);
    if (args.value(0) == QLatin1String("resume") && args.size() == 3 && args.at(1).toLongLong() > 0)
        return resume(args.at(1).toLongLong(), args.at(2));
    std::fprintf(stderr, "usage: stepgrab-faults-bench faults [RUNS]\n"
                         "       stepgrab-faults-bench resume SIZE FOLDER\n");
    return 1;
}
