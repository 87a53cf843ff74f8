#pragma once

#include "host/host.h"

#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>

// Before the application exists: the settings' place is fixed then. A program run inherits it.
static const QTemporaryDir kHome;
static const bool kIsolated = qputenv("XDG_CONFIG_HOME", kHome.path().toLocal8Bit());

// Stands in for the desktop: what a run asks of it is what the test reads.
struct RecordingHost : Host
{
    QStringList calls;
    // The task bar's progress in turn, with when it was shown.
    struct Shown
    {
        double fraction;
        int count;
        bool visible;
        qint64 ms;
    };
    QList<Shown> taskbar;

    void playSound(const QString& name) override { calls << QStringLiteral("sound ") + name; }
    void requestAttention(const QString&, const QString&) override
    {
        calls << QStringLiteral("attention");
    }
    void revealFile(const QString& path) override { calls << QStringLiteral("reveal ") + path; }
    bool openFile(const QString& path) override
    {
        calls << QStringLiteral("open ") + path;
        return true;
    }
    void openFilesEach(const QStringList& paths) override
    {
        calls << QStringLiteral("openEach ") + paths.join(u',');
    }
    bool openURL(const QUrl& url) override
    {
        calls << QStringLiteral("url ") + url.toString();
        return true;
    }
    void showRunProgress(double fraction, int count, bool visible) override
    {
        taskbar.append({fraction, count, visible, QDateTime::currentMSecsSinceEpoch()});
    }
};

// format's %1 for each number of first … last, three digits wide.
inline QStringList names(int first, int last, const QString& format = QStringLiteral("pic%1.jpg"))
{
    QStringList out;
    for (int n = first; n <= last; ++n)
        out << format.arg(n, 3, 10, QLatin1Char('0'));
    return out;
}

// The log lines of files written in turn.
inline QString done(const QStringList& files)
{
    QString lines;
    for (const QString& name : files)
        lines += QStringLiteral("DownloadComleted ") + name + u'\n';
    return lines;
}
