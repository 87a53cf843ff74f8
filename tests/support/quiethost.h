#pragma once

#include "host/host.h"

// A desktop that ignores every request: for windows whose tests ask nothing of one.
struct QuietHost : Host
{
    void playSound(const QString&) override {}
    void requestAttention(const QString&, const QString&) override {}
    void revealFile(const QString&) override {}
    bool openFile(const QString&) override { return true; }
    void openFilesEach(const QStringList&) override {}
    bool openURL(const QUrl&) override { return true; }
    void showRunProgress(double, int, bool) override {}
};
