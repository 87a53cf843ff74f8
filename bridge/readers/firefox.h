#pragma once

#include "readers/xstacking.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// What Firefox leaves in its profile, read without trusting any of it: the files may come
// from another version, be cut short, or be anyone's.
namespace bridge::firefox {

// A session store larger than this is refused rather than inflated: no real one comes near.
constexpr qsizetype kMaxSessionSize = qsizetype(256) * 1024 * 1024;

// The "mozLz40\0" container: the magic, the little-endian 32-bit size of the content, one LZ4
// block. Empty when the file is not one, is cut short, or inflates to another size.
std::optional<QByteArray> inflateMozLz4(QByteArrayView file);

// A window of the session store: its selected tab's current entry.
struct SessionWindow
{
    QString address; // empty when the window shows none
    QString title;   // the page's title as the tab shows it; empty when the store has none
    friend bool operator==(const SessionWindow&, const SessionWindow&) = default;
};

struct Session
{
    QList<SessionWindow> windows; // in the store's order
    qsizetype selected = 0;       // the window Firefox last saw focused (0 when none was)
};

// The windows of a session store. Empty optional: not a session store.
std::optional<Session> parseSession(QByteArrayView json);

// The addresses of the windows with `front` first, then the others in their order.
QStringList frontFirst(const Session& session, qsizetype front);

// Which of the session's windows is in front on the display: the topmost window of `stacking`
// that belongs to the Firefox process `pid`, matched to the window whose tab title its title
// starts with (Firefox appends " — Mozilla Firefox" or the like, or nothing). The longest such
// tab title wins; -1 when Firefox has no window there, none matches, or two windows match alike.
qsizetype frontSessionWindow(const QList<TopLevel>& stacking, qint64 pid,
                             const QList<SessionWindow>& windows);

// The address each window shows (its selected tab's current entry), the selected window first,
// then the others in their order; an empty address for a window that shows none. Empty optional:
// not a session store.
std::optional<QStringList> parseSessionJson(QByteArrayView json);
// Both steps, over a recovery.jsonlz4 as it lies on disk.
std::optional<QStringList> parseFirefoxSessionStore(QByteArrayView file);

// The profile folders that profiles.ini (its text, and the folder it lies in) names, the one
// Firefox starts by default first: the Install sections' defaults in their order, then the
// profile marked Default=1, then the remaining profiles in their order. No duplicates.
QStringList profileCandidates(QByteArrayView iniText, const QString& iniFolder);

// The process that holds a profile, from its "lock" symlink's target ("<address>:+<pid>").
std::optional<qint64> lockOwner(QByteArrayView target);

// A profile held by a running Firefox: its process, and when it took the lock (the lock
// symlink's time). A Firefox that crashed leaves its lock naming a process that is gone.
struct Lock
{
    qint64 pid = 0;
    qint64 sinceMs = 0;
};
std::optional<Lock> heldLock(const QString& profile);

// The session store of a running Firefox, inflated, handed to `take` until it accepts one:
// recovery.jsonlz4, then the one before it (recovery.baklz4). A store older than the lock was
// left by an earlier run (a crash, say) and is never handed over. False when none was taken.
bool takeLiveSessionStore(const QString& profile, const Lock& lock,
                          const std::function<bool(const QByteArray& json)>& take);

} // namespace bridge::firefox
