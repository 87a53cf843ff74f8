#include "pagecheck.h"

#include <QMimeDatabase>
#include <array>
#include <string_view>

using namespace Qt::StringLiterals;

namespace pages {

namespace {

// The tags a browser takes as the start of an HTML document when nothing else names the
// type; each must be closed by a space or '>' so that "<bold" or "<pre" do not count.
constexpr std::array<std::string_view, 17> kTags = {"<!DOCTYPE HTML",
                                                    "<HTML",
                                                    "<HEAD",
                                                    "<SCRIPT",
                                                    "<IFRAME",
                                                    "<H1",
                                                    "<DIV",
                                                    "<FONT",
                                                    "<TABLE",
                                                    "<A",
                                                    "<STYLE",
                                                    "<TITLE",
                                                    "<B",
                                                    "<BODY",
                                                    "<BR",
                                                    "<P",
                                                    "<!--"};

bool isBlank(char c)
{
    return c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

// ASCII letters only: no locale, and no byte above 0x7F can ever stand for a tag's letter.
char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool startsWithFolded(QByteArrayView text, std::string_view pattern)
{
    if (text.size() < qsizetype(pattern.size()))
        return false;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (asciiUpper(text[qsizetype(i)]) != pattern[i])
            return false;
    }
    return true;
}

bool opensWithTag(QByteArrayView text)
{
    qsizetype start = 0;
    while (start < text.size() && isBlank(text[start]))
        ++start;
    text = text.sliced(start);
    // An XML declaration opens XHTML error pages; "<?XML" is no valid start of anything
    // else, so letter case is ignored here too.
    if (startsWithFolded(text, "<?XML"))
        return true;
    for (const std::string_view tag : kTags) {
        const qsizetype end = qsizetype(tag.size());
        if (text.size() > end && (text[end] == ' ' || text[end] == '>') &&
            startsWithFolded(text, tag))
            return true;
    }
    return false;
}

// The leading ASCII of UTF-16 code units; the first unit beyond ASCII ends it, since no tag
// or blank can follow from there.
QByteArray leadingAsciiOfUtf16(QByteArrayView units, bool bigEndian)
{
    QByteArray ascii;
    ascii.reserve(units.size() / 2);
    for (qsizetype i = 0; i + 1 < units.size(); i += 2) {
        const uchar high = uchar(units[bigEndian ? i : i + 1]);
        const uchar low = uchar(units[bigEndian ? i + 1 : i]);
        if (high != 0 || low >= 0x80)
            break;
        ascii.append(char(low));
    }
    return ascii;
}

QByteArrayView window(QByteArrayView head)
{
    return head.first(qMin(head.size(), kSniffLength));
}

QMimeType typeOfName(const QString& name)
{
    return QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
}

} // namespace

bool looksLikeHtml(QByteArrayView head)
{
    const QByteArrayView text = window(head);
    if (text.startsWith("\xEF\xBB\xBF"))
        return opensWithTag(text.sliced(3));
    if (text.startsWith("\xFF\xFE"))
        return opensWithTag(leadingAsciiOfUtf16(text.sliced(2), false));
    if (text.startsWith("\xFE\xFF"))
        return opensWithTag(leadingAsciiOfUtf16(text.sliced(2), true));
    return opensWithTag(text);
}

bool isTextKindName(const QString& name)
{
    return typeOfName(name).inherits(u"text/plain"_s);
}

bool isBinaryKindName(const QString& name)
{
    const QMimeType type = typeOfName(name);
    return !type.isDefault() && !type.inherits(u"text/plain"_s);
}

bool isTextData(QByteArrayView head)
{
    return QMimeDatabase().mimeTypeForData(window(head).toByteArray()).inherits(u"text/plain"_s);
}

Verdict judge(const QString& name, QByteArrayView head, bool pageRule)
{
    const QByteArrayView start = window(head);
    if (pageRule && !isTextKindName(name) && looksLikeHtml(start))
        return Verdict::Page;
    if (isBinaryKindName(name) && isTextData(start))
        return Verdict::Page;
    return Verdict::File;
}

} // namespace pages
