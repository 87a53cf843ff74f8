#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// What stepgrab-browser-bridge learns of one browser. Each reader reads the browser's
// state afresh on every call, from what the browser itself keeps (a debugging endpoint,
// a session file), and trusts none of it.
namespace bridge {

struct Windows
{
    // False when the browser does not run: the bridge then owns no bus name.
    bool running = false;
    // The address shown in each window, the front (most recently active) window first; empty
    // for a window that shows none.
    QStringList addresses;
};

class BrowserReader
{
public:
    virtual ~BrowserReader() = default;
    virtual Windows read() = 0;
};

struct Options
{
    int devtoolsPort = 9222;
    // Profile folders such as ~/.config/chromium/Default; empty: the one in use of any install
    // that browserprofiles.h knows. Both initialised, so that a designated initializer naming
    // only one leaves the other empty without a warning.
    QString chromiumProfile{};
    QString firefoxProfile{};
};

// Chromium / Chrome: the DevTools endpoint when it answers, else the profile's session file.
std::unique_ptr<BrowserReader> makeChromiumReader(const Options& options);
// Firefox: the session store of the profile.
std::unique_ptr<BrowserReader> makeFirefoxReader(const Options& options);
// The desktop's default web browser (xdg-settings): the Firefox or the Chromium reader.
std::unique_ptr<BrowserReader> makeDefaultBrowserReader(const Options& options);

// Whether a process of that id exists (a browser's lock names the process that holds it).
bool isProcessAlive(qint64 pid);

// A browser's file of at most `limit` bytes; none when it cannot be read or is larger.
std::optional<QByteArray> readBounded(const QString& path, qint64 limit);

} // namespace bridge
