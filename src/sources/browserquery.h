#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <optional>

// The browser query: the 'WWW!' requests to a browser's process, carried over the session
// bus (docs/browser-query.md), and the script query. Every function here blocks until the
// peer answers or its bound runs out, so the Controller calls them off the main thread.

using OSType = quint32;
using OSErr = qint16;

constexpr OSType fourCharCode(const char (&code)[5])
{
    return (OSType(quint8(code[0])) << 24) | (OSType(quint8(code[1])) << 16) |
           (OSType(quint8(code[2])) << 8) | OSType(quint8(code[3]));
}

struct ProcessSerialNumber
{
    quint32 highLongOfPSN = 0;
    quint32 lowLongOfPSN = 0;
};

// A typed value: a four-character type and its bytes. A 'list' holds its items in data,
// encoded as docs/browser-query.md describes.
struct AEDesc
{
    OSType descriptorType = fourCharCode("null");
    QByteArray data;
};

// A request as it is sent: class, ID, the target's 'psn ' descriptor and the parameters.
struct AppleEvent
{
    OSType eventClass = 0;
    OSType eventID = 0;
    AEDesc target;
    qint16 returnID = -1;
    qint32 transactionID = 0;
    QList<std::pair<OSType, AEDesc>> parameters;
};

// Whether a bus peer stands for a process of that type and creator code (activating a
// bridge where one is installed); its serial number comes from the peer's process id.
bool FindAProcess(OSType processType, OSType creator, ProcessSerialNumber* psn);
OSErr CreateAppleEvent(OSType eventClass, OSType eventID, AppleEvent* event,
                       ProcessSerialNumber psn);
// Sends the request to the peer FindAProcess found for its target and waits for the reply,
// at most browserQueryTimeoutMs(); non-zero when the peer is unknown, fails or does not answer.
OSErr AESend(const AppleEvent& request, AppleEvent* reply);
// The address of the browser's front window (browser: 1 'MOSS', 2 'iCAB', else 'MSIE');
// none when no peer answers, a request fails, the browser has no window or its address is empty.
// bridgeMissing, when given, tells whether the bus could not start the bridge at all (no
// session bus, no service file for it, a program that cannot run) rather than a bridge that
// found its browser not running.
std::optional<QString> GrabURLInfoFromBrowswer(int browser, bool* bridgeMissing = nullptr);

// The script query: runs the script file under /bin/sh once `sh -n` accepts it, bounded
// by timeoutMs; its standard output less the final line end, or none on any failure.
std::optional<QString> runScriptQuery(const QString& scriptPath, int timeoutMs = 10000);
// The script to run: the user's own $XDG_DATA_HOME/Stepgrab/Safari_Get_URL.txt when it
// exists, else the one shipped beside the program.
QString scriptQueryPath();

// While set, every query (running or yet to begin) gives up at once with none / false and
// ends the script it started: the program quits without waiting out a browser.
void cancelBrowserQueries(bool cancel);

// The bound of each bus call of the query (10 s); tests shorten it.
int browserQueryTimeoutMs();
void setBrowserQueryTimeoutForTesting(int milliseconds);
