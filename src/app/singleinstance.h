#pragma once

#include "app/launchmessage.h"

#include <QObject>

class QLocalServer;
class QLocalSocket;

// One window per user: the first interactive launch listens on a local socket in the user's
// runtime folder, and a later launch hands it its address instead of opening a window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class HandOver {
        Taken,    // the running window has the message
        NoServer, // nobody listens: this launch is the first (or the last one crashed)
        NoAnswer, // someone listens but did not take the message in time
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/stepgrab-<uid>.sock
    static QString socketPath();

    // Every wait is bounded, so a hung first window never hangs the launch that calls it.
    static HandOver handOver(const QString& path, const launchmessage::Message& message,
                             int timeoutMs = 2000);

    // Listens at path, replacing a socket no one answers at any more. False when it cannot.
    bool listen(const QString& path);

signals:
    void received(const launchmessage::Message& message);

private:
    void takeConnection();
    void readFrom(QLocalSocket* socket);

    QLocalServer* mServer = nullptr;
};
