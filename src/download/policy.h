#pragma once

#include <QList>

namespace download {

// The timings and bounds of a run's transfers and steps. One value travels from the window
// (or a test, or a benchmark) to the fetchers and the worker, so that two runs in one process
// never share a setting by accident.
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
};

} // namespace download
