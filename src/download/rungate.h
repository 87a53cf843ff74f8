#pragma once

#include <QMutex>
#include <atomic>

// Pairs the run flag with a run number, so a worker of a stopped run can tell
// that a later run is not its own even though the flag is set again.
class RunGate
{
public:
    explicit RunGate(std::atomic<bool>& mode) : mMode(mode) {}

    quint64 begin()
    {
        QMutexLocker lock(&mLock);
        mMode = true;
        return ++mRun;
    }
    void end()
    {
        QMutexLocker lock(&mLock);
        mMode = false;
    }
    // A failed step ends its own run only, never one started since.
    void endIf(quint64 run)
    {
        QMutexLocker lock(&mLock);
        if (mRun == run)
            mMode = false;
    }
    bool isActive(quint64 run) const { return mMode && mRun == run; }
    quint64 current() const { return mRun; }

private:
    std::atomic<bool>& mMode;
    std::atomic<quint64> mRun{0};
    QMutex mLock;
};
