#pragma once

#include <QDir>
#include <QFile>
#include <QList>

// The processes whose command line (arguments joined by NULs) `match` accepts; a zombie's
// command line is empty.
template <class Match> QList<qint64> processesWhere(Match match)
{
    QList<qint64> found;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/") + pid + QStringLiteral("/cmdline"));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) && match(cmdline.readAll()))
            found << pid.toLongLong();
    }
    return found;
}
