#pragma once

#include <QByteArray>

namespace html {

// The six bytes a server's "not found" page classically starts with.
QByteArray header();

// How many leading bytes isHTMLFile needs to decide; fewer only at end of data.
constexpr qsizetype kSniffLength = 512;

// True when the data is an HTML page rather than the requested file: it starts
// with "<html>", or, after an optional byte-order mark and white space, with
// "<html" or "<!doctype html" in any letter case.
bool isHTMLFile(const QByteArray& data);

} // namespace html
