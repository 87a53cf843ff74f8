// Times the link scan on a page mapped from disk, as the program scans its saved copy.
//   stepgrab-linkscan-bench generate FILE BYTES   writes a page of at least BYTES bytes
//   stepgrab-linkscan-bench scan FILE [RUNS]      maps and scans it RUNS times (default 5)
//   stepgrab-linkscan-bench peak FILE             one scan in a child process, its peak RSS
// Each prints "key: value" lines for bench/run.

#include "linksearch/linkscan.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int fail(const char* what)
{
    std::fprintf(stderr, "stepgrab-linkscan-bench: %s\n", what);
    return 1;
}

// A deterministic mix of what real pages hold around their links: navigation, posts with
// inline links and entities, thumbnails wrapped in links, a file table, scripts, and
// non-ASCII text.
int generate(const char* path, qint64 bytes)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail("cannot write the page");
    quint32 seed = 12345;
    auto next = [&seed](quint32 range) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % range;
    };
    static const char* const words[] = {
        "lorem",   "ipsum",   "harbour", "series", "download", "gallery", "photo", "archive",
        "holiday", "morning", "the",     "and",    "of",       "a",       "river", "station"};
    auto text = [&](int count) {
        QByteArray out;
        for (int i = 0; i < count; ++i)
            out += QByteArray(words[next(16)]) + ' ';
        return out;
    };
    QByteArray page = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Archive &amp; gallery</title>
<link rel="stylesheet" href="/static/site.css?v=3">
<script src="/static/site.js" defer></script>
</head>
<body>
<header><nav class="main"><a href="/">Home</a> <a href="/albums/">Albums</a> <a href="/files/">Files</a> <a href="/about.html">About</a></nav></header>
<main>
)";
    qint64 anchors = 4;
    qint64 written = 0;
    for (quint32 n = 1; written + page.size() < bytes; ++n) {
        const QByteArray id = QByteArray::number(n);
        const QByteArray img = QByteArray::number(n % 10000).rightJustified(4, '0');
        page += "<article class=\"post\" id=\"post-" + id +
                "\">\n<h2><a class=\"title\" href=\"/posts/2024/" + id + "-" + words[next(16)] +
                ".html\" title=\"Post " + id + " &amp; notes\">Post " + id + "</a></h2>\n<p>" +
                text(8 + next(12)) + "<a href=\"https://example.org/tag/" + words[next(16)] +
                "?id=" + id + "&amp;ref=list\" rel=\"nofollow\" target=\"_blank\">" + text(2) +
                "</a>" + text(6 + next(10)) +
                "\u65e5\u672c\u8a9e\u306e\u8aac\u660e\u6587\u3002</p>\n"
                "<figure><a class=\"thumb\" data-lightbox=\"set-" +
                QByteArray::number(n / 20) + "\" href=\"/photos/IMG_" + img +
                ".jpg\"><img src=\"/thumbs/IMG_" + img + ".webp\" alt=\"Photo " + id + " &gt; " +
                words[next(16)] +
                "\" width=\"320\" height=\"240\" loading=\"lazy\"></a><figcaption>" + text(4) +
                "</figcaption></figure>\n<table class=\"files\"><tr><td><a href='files/archive-" +
                id + ".zip'>archive-" + id + ".zip</a></td><td class=\"size\">" +
                QByteArray::number(next(9000) + 10) + "K</td><td><a href=clips/clip" + id +
                ".mp4>clip</a></td></tr></table>\n</article>\n";
        anchors += 5;
        if (page.size() > (1 << 20)) {
            written += file.write(page);
            page.clear();
        }
    }
    page += "</main>\n<footer><a href=\"#top\">Top</a></footer>\n</body>\n</html>\n";
    ++anchors;
    written += file.write(page);
    if (!file.flush())
        return fail("cannot write the page");
    std::printf("page_bytes: %lld\nanchors_written: %lld\n", written, anchors);
    return 0;
}

qint64 cpuNs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * qint64(1000000000) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * qint64(1000);
}

qint64 median(std::vector<qint64> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Each run maps the page afresh and drops the previous run's links first, as the program
// maps its saved copy once per search and empties the link list before it.
int scan(const char* path, int runs)
{
    std::vector<qint64> walls, cpus;
    QStringList links;
    qint64 size = 0;
    for (int i = 0; i < runs; ++i) {
        links.clear();
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu = cpuNs();
        QFile file(QString::fromLocal8Bit(path));
        if (!file.open(QIODevice::ReadOnly))
            return fail("cannot open the page");
        size = file.size();
        const uchar* data = file.map(0, size);
        if (!data)
            return fail("cannot map the page");
        const QByteArrayView page(data, size);
        links = linksearch::scanLinks(page, linksearch::pageCharset(page));
        file.unmap(const_cast<uchar*>(data));
        cpus.push_back(cpuNs() - cpu);
        walls.push_back(timer.nsecsElapsed());
    }
    const qint64 wall = median(walls);
    const qint64 cpu = median(cpus);
    std::printf("page_bytes: %lld\nlinks: %lld\nruns: %d\nbest_ms: %.3f\nmedian_ms: %.3f\n"
                "median_mb_per_s: %.1f\nmedian_cpu_ms: %.3f\ncpu_mb_per_s: %.1f\n",
                size, qint64(links.size()), runs,
                *std::min_element(walls.begin(), walls.end()) / 1e6, wall / 1e6,
                size / (wall / 1e9) / 1e6, cpu / 1e6, size / (cpu / 1e9) / 1e6);
    return 0;
}

// The child is a fresh process image, so its peak is the scan's alone, not this one's.
int peak(const char* self, const char* path)
{
    const pid_t child = fork();
    if (child < 0)
        return fail("cannot fork");
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        execl(self, self, "scan", path, "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return fail("the scan in the child process failed");
    std::printf("peak_kib: %ld\n", usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const QByteArray mode = argc > 1 ? argv[1] : "";
    if (mode == "generate" && argc == 4) {
        bool ok = false;
        const qint64 bytes = QByteArray(argv[3]).toLongLong(&ok);
        return ok && bytes > 0 ? generate(argv[2], bytes) : fail("not a size");
    }
    if (mode == "scan" && (argc == 3 || argc == 4)) {
        const int runs = argc == 4 ? QByteArray(argv[3]).toInt() : 5;
        return runs > 0 ? scan(argv[2], runs) : fail("not a number of runs");
    }
    if (mode == "peak" && argc == 3)
        return peak("/proc/self/exe", argv[2]);
    std::fprintf(stderr, "usage: %s generate FILE BYTES | scan FILE [RUNS] | peak FILE\n", argv[0]);
    return 2;
}
