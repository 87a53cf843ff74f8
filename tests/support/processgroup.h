#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <unistd.h>

// A program in a process group of its own, so that stopping it ends what it forked too
// (Chromium's zygote and renderers).
class Group
{
public:
    ~Group() { stop(); }
    bool start(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] { ::setsid(); });
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(program, arguments);
        pid = process.waitForStarted(5000) ? process.processId() : 0;
        return pid > 0;
    }
    void stop()
    {
        if (pid <= 0)
            return;
        ::kill(-pid, SIGTERM);
        if (!process.waitForFinished(5000))
            ::kill(-pid, SIGKILL), process.waitForFinished(5000);
        ::kill(-pid, SIGKILL); // helpers that outlived the leader still carry its group
        pid = 0;
    }
    QProcess process;
    qint64 pid = 0;
};

// An X server of its own on the first free display: its name, or an empty one.
inline QString startDisplay(Group& xvfb, const QString& exe)
{
    if (!xvfb.start(exe,
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                     QStringLiteral("1024x768x24")}) ||
        !xvfb.process.waitForReadyRead(10000))
        return {};
    return QLatin1Char(':') + QString::fromLatin1(xvfb.process.readAllStandardOutput().trimmed());
}
