#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <optional>

// Bookmark files: the Internet Shortcut text ("[InternetShortcut]\r\nURL=address\r\n")
// that Stepgrab writes in Shift JIS and reads from any program that writes them.
namespace bookmark {

// A larger file is not a bookmark.
constexpr qint64 kLargest = 64 * 1024;

// The file's bytes for an address, in Shift JIS; none when the address cannot be encoded,
// or would not read back as itself.
std::optional<QByteArray> format(const QString& address);

// The address of a bookmark's text: the rest of the first line that begins with "URL=" (in
// the [InternetShortcut] section when there is one), up to that line's end. The text is
// decoded as UTF-16 or UTF-8 by its byte-order mark, as UTF-8 when valid, else as Shift JIS.
// None when no such line exists.
std::optional<QString> parse(QByteArrayView bytes);

// The same for a file; none when it cannot be read, is not a regular file or is too large.
std::optional<QString> readFile(const QString& path);

// The path a bookmark is saved at: as chosen when its name ends in ".url" in any letter case,
// else with ".url" added ("links.txt" becomes "links.txt.url").
QString withShortcutSuffix(const QString& path);

// Records the classic type and creator codes of a written bookmark as the extended attribute
// user.com.apple.FinderInfo (32 bytes: type, creator, zeros); best effort.
bool setFinderInfo(const QString& path, quint32 type, quint32 creator);

} // namespace bookmark
