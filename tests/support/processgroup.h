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
