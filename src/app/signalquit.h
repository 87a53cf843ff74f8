#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into one request to quit, delivered on the event loop.
// The handler only writes the signal's number into a pipe; everything else happens when
// the event loop reads it, where closing windows and writing files is safe.
class SignalQuit : public QObject
{
    Q_OBJECT

public:
    // Catches the three signals from now on. Call it first thing in main(): a signal caught
    // before any SignalQuit listens waits in the pipe until one does. Returns false (and the
    // signals keep their default action) when the pipe cannot be made.
    static bool install();

    explicit SignalQuit(QObject* parent = nullptr);
    ~SignalQuit() override;

signals:
    // Emitted once, for the first signal; later ones are read and dropped, since the quit
    // they ask for is already under way.
    void quitRequested(int signal);

private:
    void readPipe();

    QSocketNotifier* mNotifier = nullptr;
    bool mRequested = false;
};
