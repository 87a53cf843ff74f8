#pragma once

#include "app/launchmessage.h"

#include <QByteArrayList>
#include <QStringList>
#include <optional>
#include <variant>

class QIODevice;

// The command line's rules, apart from the window they launch.
namespace launchoptions {

// What a launch that goes on is asked to do.
struct Options
{
    // The ADDRESS or bookmark to put in (kind Raise: none) and whether to start at once.
    launchmessage::Message address;
    bool quitWhenDone = false;
    bool log = false;
    bool keepGoing = false;        // --keep-going: a list goes on after a failed address
    std::optional<QString> output; // --output DIR
    QString listName;              // --url-list FILE as given
    std::optional<QString> list;   // and its text
    QStringList warnings;          // lines for standard error; the launch goes on

    // --cookies-from-browser: "firefox", "chromium" or "default"; --cookies FILE as given.
    std::optional<QString> cookiesFromBrowser;
    std::optional<QString> cookies;

    // A batch run, or a list run, is the caller's own: it neither hands over nor takes others'
    // addresses.
    bool handsOver() const { return !quitWhenDone && !list; }
};

// A launch that ends at once (help, version, a bad command line) with this text and status.
struct Exit
{
    int status = 0;
    QString text;
    bool toStandardError = false; // else standard output
};

// arguments as QCoreApplication::arguments() gives them, the program first; standardInput is
// read for the list FILE "-". Help and messages use the application's name, version and the
// installed translation.
std::variant<Options, Exit> parse(const QStringList& arguments, QIODevice* standardInput);

// Whether the launch gets by without any display (help, version, a bad option, a batch run),
// from the raw arguments, before there is an application to parse them.
bool needsNoWindow(const QByteArrayList& arguments);

} // namespace launchoptions
