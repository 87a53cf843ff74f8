#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// What a second launch hands to the running window: one line of UTF-8,
// "<kind>[+start] <address>\n", or "raise\n" when it had no address. The window answers
// "ack\n" (or "no\n" for a line it cannot read), and acts on the message only after the launch
// has sent "go\n" back: a launch that gave up waiting never confirms, and runs on its own.
namespace launchmessage {

enum class Kind {
    Raise,    // no address: only bring the window forward
    Typed,    // an address given on the command line, taken as if typed
    Bookmark, // the address read from a bookmark file, taken as an opened bookmark
};

struct Message
{
    Kind kind = Kind::Raise;
    bool start = false;
    QString address;
};

inline constexpr QByteArrayView kAcknowledged = "ack\n";
inline constexpr QByteArrayView kRefused = "no\n";
inline constexpr QByteArrayView kConfirmation = "go\n";
// The answer of a window from before the confirmation, which acted on the line at once.
inline constexpr QByteArrayView kTakenAtOnce = "ok\n";

// A longer line is refused unread: it comes from any program of the user.
constexpr qsizetype kLargest = 64 * 1024;

// The line for a message, its line end included; none when it would be too long or the
// address holds a line end.
std::optional<QByteArray> encode(const Message& message);

// The message of one line (without its line end); none for anything else.
std::optional<Message> decode(QByteArrayView line);

} // namespace launchmessage
