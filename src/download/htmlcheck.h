#pragma once

#include "pagecheck.h"

#include <QByteArray>

namespace html {

// The six bytes a server's "not found" page classically starts with.
QByteArray header();

// How many leading bytes isHTMLFile needs to decide; fewer only at end of data.
constexpr qsizetype kSniffLength = pages::kSniffLength;

// True when the data opens as an HTML page rather than the requested file, by the rules
// of pages::looksLikeHtml over its first kSniffLength bytes.
bool isHTMLFile(const QByteArray& data);

} // namespace html
