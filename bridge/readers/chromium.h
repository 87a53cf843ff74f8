#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <optional>

// What Chromium and Chrome leave readable about their windows, read without trusting a byte.
namespace bridge {

// The urls of the "page" targets of a DevTools /json/list answer, in the order listed
// (Chromium lists the most recently active first); an empty one for a page without an address.
// Anything that is not such a target is skipped.
QStringList parseDevToolsList(QByteArrayView json);

// Replays a session file ("SNSS" command log) into the address of each open window's selected
// tab (empty where it has none), the active window first. None when the bytes are not a session
// file. A file cut short (still being written) gives the windows as far as it goes.
std::optional<QStringList> parseChromiumSession(QByteArrayView file);

// The session file to read in a profile folder: the newest Sessions/Session_*, else the
// "Current Session" of older versions; empty when there is none.
QString chromiumSessionFile(const QString& profileDir);

// The process that holds a user-data folder's SingletonLock ("<host>-<pid>"), when the lock
// names this host; none otherwise.
std::optional<qint64> chromiumLockHolder(const QString& userDataDir);
// Whether the process holding that lock is alive: the browser runs with this folder.
bool chromiumUserDataInUse(const QString& userDataDir);

} // namespace bridge
