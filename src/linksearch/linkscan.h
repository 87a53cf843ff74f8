#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QUrl>

// The links of a page, found by a linear scan of its anchors (no full HTML parse),
// and the kinds of file the link searches look for.
namespace linksearch {

enum class Kind { All, Archive, Movie, Image };

// The charset to read a page in: a byte-order mark, else the charset of the HTTP
// Content-Type (contentType may be empty), else a <meta> charset in the first 8 KiB of the
// page, else "UTF-8" when the bytes are valid UTF-8, else "ISO-8859-1". A declared name is
// answered as QStringDecoder knows it (x-sjis and windows-31j as "Shift_JIS", say); one that
// no decoder knows counts as not declared.
QByteArray pageCharset(QByteArrayView page, QByteArrayView contentType = {});

// The href of every <a> tag, in page order, duplicates kept: tag and attribute names in
// any letter case, href in any position, white space around "=", the value double-quoted
// (closed by quoteMark when that is an ASCII character), single-quoted or unquoted, its
// text decoded from the charset, its character references decoded and the blanks at its
// ends dropped. A quoted value of any attribute may hold ">"; an empty href gives an empty
// entry; a tag that the page cuts off gives none. Anchors in comments and scripts count.
// The time taken is linear in the page size whatever the bytes. The page is scanned as
// bytes, so its memory is not doubled by a decoded copy; only a charset that does not keep
// ASCII as it is (UTF-16, ISO-2022-JP) is decoded whole first. A charset no decoder knows
// is replaced by pageCharset(page).
QStringList scanLinks(QByteArrayView page, QByteArrayView charset, QChar quoteMark = u'"');

// Whether a link is of the kind: by the lower-cased extension of its path, without
// query or fragment (x.zip?dl=1 is an archive; a path ending in "/" or a bare host has no
// extension). Every link is of Kind::All.
bool isOfKind(QStringView link, Kind kind);

// The base address shown for a page: the page address without its last path component,
// by the path rule of the address fields (http://host/a/b/page.html gives http://host/a/b,
// http://host/rel1.2/ gives http://host); a bare host is kept, without a final "/".
QString baseAddress(const QString& pageAddress);

// The address a link of a page opens, resolved against the page's address by the rules for
// relative references; empty unless it is an http or https address.
QUrl resolveLink(const QString& pageAddress, const QString& link);

} // namespace linksearch
