#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

// The links of a page, found by a linear scan of its anchors (no full HTML parse),
// and the kinds of file the link searches look for.
namespace linksearch {

enum class Kind { All, Archive, Movie, Image };

// The charset to read a page in: a byte-order mark, else the charset of the HTTP
// Content-Type (contentType may be empty), else a <meta> charset near the top of the
// page, else "UTF-8" when the bytes are valid UTF-8, else "ISO-8859-1".
QByteArray pageCharset(QByteArrayView page, QByteArrayView contentType = {});

// The href of every <a> tag, in page order, duplicates kept: tag and attribute names in
// any letter case, href in any position, white space around "=", the value double-quoted
// (closed by quoteMark), single-quoted or unquoted, its character references decoded and
// its text decoded from the page's charset. The page is scanned as bytes, so its memory
// is not doubled by a decoded copy.
QStringList scanLinks(QByteArrayView page, QByteArrayView charset, QChar quoteMark = u'"');

// Whether a link is of the kind: by the lower-cased extension of its path, without
// query or fragment. Every link is of Kind::All.
bool isOfKind(QStringView link, Kind kind);

// The base address shown for a page: the page address without its last path component.
QString baseAddress(const QString& pageAddress);

} // namespace linksearch
