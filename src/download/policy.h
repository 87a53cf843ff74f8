#pragma once

#include <QList>
#include <QUrl>
#include <memory>

namespace download {

class CookieJar;

// The timings, bounds and choices of a run's transfers and steps. One value travels from the
// window (or a test, or a benchmark) to the fetchers and the worker, so that two runs in one
// process never share a setting by accident.
struct Policy
{
    int pauseMs = 1000; // after every step of a worker
    // The waits before the first, second … retry; their number is the number of retries.
    QList<int> retryDelaysMs{2000, 4000, 8000};
    int maxRetryAfterMs = 60000; // the longest wait a server's Retry-After can ask for
    int inactivityMs = 60000;    // a transfer that receives nothing for this long fails
    // A transfer that stays below minBytesPerSecond for speedWindowMs fails; the inactivity
    // bound alone lets a server that sends a byte now and then hold a run for hours.
    int speedWindowMs = 60000;
    int minBytesPerSecond = 1024;

    // Missing numbers in a row that a series goes past before it ends; 0 ends it at the first.
    int missingInRow = 0;
    // A file already in the folder is asked for only if it changed on the server.
    bool keepExisting = false;
    // A list run logs a failed address and goes on to the next.
    bool listGoesOn = false;
    // The page the run's addresses came from, sent as a browser would send it; empty for none.
    QUrl referrer;
    // The run's cookies, shared by all its fetchers; none: no Cookie is sent and none kept.
    std::shared_ptr<CookieJar> cookies;
};

} // namespace download
