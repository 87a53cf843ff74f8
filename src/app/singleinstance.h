#pragma once

#include "app/launchmessage.h"

#include <QObject>

class QLocalServer;
class QLocalSocket;

// One window per user: the first interactive launch listens on a local socket in a folder of
// the user's own, and a later launch hands it its address instead of opening a window.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    enum class HandOver {
        Taken,    // the running window confirmed it has the message, and will act on it
        NoServer, // nobody listens: this launch is the first (or the last one crashed)
        NoAnswer, // someone listens but did not take the message in time
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // <folder>/stepgrab-<uid>.sock, the folder being $XDG_RUNTIME_DIR or else
    // $XDG_CACHE_HOME/Stepgrab (~/.cache/Stepgrab, made private). Empty, with the reason in
    // *why, when that folder is not the user's alone: whoever else can write there could
    // listen first and receive every address a later launch hands over.
    static QString socketPath(QString* why = nullptr);

    // Why folder is not fit to hold the socket (a link, not a folder, another user's, writable
    // by others); empty when it is.
    static QString folderFault(const QString& folder);

    // Every wait is bounded, so a hung first window never hangs the launch that calls it.
    static HandOver handOver(const QString& path, const launchmessage::Message& message,
                             int timeoutMs = 2000);

    // Listens at path, replacing a socket no one answers at any more. False when it cannot.
    bool listen(const QString& path);

signals:
    void received(const launchmessage::Message& message);

private:
    void takeConnection();

    QLocalServer* mServer = nullptr;
};
