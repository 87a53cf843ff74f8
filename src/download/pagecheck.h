#pragma once

#include <QByteArrayView>
#include <QString>

// Whether a fetched body is the file that was asked for or a page the server sent in its
// place (an error page delivered with status 200, a "not found" text, a JSON error). The
// verdict rests on the body's first bytes and the name it was fetched under only; the
// server's Content-Type plays no part, since servers label real pictures text/html too.
namespace pages {

// How many leading bytes the rules read; fewer only when the body is shorter.
constexpr qsizetype kSniffLength = 1445;

// Rule 1, "a page where a file was expected": the body opens with one of the HTML tags a
// browser would render it for (<!DOCTYPE HTML, <HTML, <HEAD, <SCRIPT, <IFRAME, <H1, <DIV,
// <FONT, <TABLE, <A, <STYLE, <TITLE, <B, <BODY, <BR, <P, <!-- each followed by a space or
// '>', or <?xml), in any ASCII letter case, after a byte-order mark and blanks. A page in
// UTF-16 with its byte-order mark counts too. Reads the first kSniffLength bytes.
bool looksLikeHtml(QByteArrayView head);

// The name's own extension is a text kind (html, php, txt, json, xml, svg, csv …): its
// shared-mime-info type inherits text/plain.
bool isTextKindName(const QString& name);

// The name's extension names a binary kind (image, audio, video, archive, PDF …): its type
// is known and does not inherit text/plain.
bool isBinaryKindName(const QString& name);

// The bytes are text (HTML, XHTML, XML, JSON, plain text): the type shared-mime-info finds
// for them inherits text/plain.
bool isTextData(QByteArrayView head);

enum class Verdict { File, Page };

// The verdict on a body fetched under `name` (a file name such as "pic013.jpg"), from its
// first kSniffLength bytes. `pageRule` asks for rule 1, which is skipped when the name is a
// text kind (a series of .php pages is pages). Rule 2, "text where a binary file was
// expected", always applies: a binary kind name with text data is a Page.
Verdict judge(const QString& name, QByteArrayView head, bool pageRule);

} // namespace pages
