#pragma once

#include "fixtureserver.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

// Every file below dir, hidden ones too, relative and sorted; one whose bytes are not its
// series body of `size` bytes is marked, so a half-written or wrong file shows.
inline QStringList seriesFilesBelow(const QString& dir, qint64 size)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        const bool intact = file.open(QIODevice::ReadOnly) &&
                            file.readAll() == FixtureServer::seriesBody(it.fileName(), size);
        out << QDir(dir).relativeFilePath(file.fileName()) +
                   (intact ? QString() : QStringLiteral(" (corrupt)"));
    }
    out.sort();
    return out;
}
