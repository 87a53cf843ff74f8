#pragma once

#include <QByteArray>
#include <QString>

namespace cookies {

struct Jar
{
    QByteArray lines;
    int unreadable = 0;
    QString problem;
};

} // namespace cookies
