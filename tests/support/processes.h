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

// Firefox's crash helpers leave its process group and end once they see Firefox gone.
inline QList<qint64> crashHelpers(qint64 firefox)
{
    return processesWhere([firefox](const QByteArray& cmdline) {
        const QByteArrayList args = cmdline.split('\0');
        return args.size() > 1 && args[0].endsWith("/crashhelper") &&
               args[1] == QByteArray::number(firefox);
    });
}
