#pragma once

#include <QTcpServer>

// A local port free now, given up for a browser to take for its debugging endpoint.
inline quint16 freeLocalPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}
