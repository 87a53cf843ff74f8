#include "signalquit.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Both ends of the pipe; -1 until install() has made it.
std::array<int, 2> gPipe{-1, -1};

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

extern "C" void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to quit; losing this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

bool SignalQuit::install()
{
    if (gPipe[0] >= 0)
        return true;
    if (::pipe2(gPipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        gPipe = {-1, -1};
        return false;
    }
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    return true;
}

SignalQuit::SignalQuit(QObject* parent) : QObject(parent)
{
    if (gPipe[0] < 0)
        return;
    mNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, &SignalQuit::readPipe);
}

SignalQuit::~SignalQuit() = default;

void SignalQuit::readPipe()
{
    unsigned char bytes[64];
    ssize_t got;
    int first = 0;
    while ((got = ::read(gPipe[0], bytes, sizeof bytes)) > 0) {
        if (first == 0)
            first = bytes[0];
    }
    if (first == 0 || mRequested)
        return;
    mRequested = true;
    emit quitRequested(first);
}
