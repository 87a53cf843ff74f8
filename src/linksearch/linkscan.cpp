#include "linkscan.h"

#include "address/fileelement.h"

#include <QStringDecoder>
#include <array>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace linksearch {

namespace {

// How far into a page a <meta> charset still counts, as browsers' prescan reads it.
constexpr qsizetype kMetaWindow = 8 * 1024;

// What a byte can end in a tag, looked up once per byte in the loops that read one.
enum ByteClass : quint8 { Space = 1, Slash = 2, Close = 4, Equals = 8 };
constexpr std::array<quint8, 256> kByteClass = [] {
    std::array<quint8, 256> table{};
    for (const char c : {' ', '\t', '\n', '\f', '\r'})
        table[quint8(c)] = Space;
    table['/'] = Slash;
    table['>'] = Close;
    table['='] = Equals;
    return table;
}();

bool is(char c, quint8 classes)
{
    return kByteClass[quint8(c)] & classes;
}

bool isSpace(char c)
{
    return is(c, Space);
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
}

bool equalsLower(const char* begin, const char* end, const char* word)
{
    const auto length = std::strlen(word);
    if (size_t(end - begin) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (lower(begin[i]) != word[i])
            return false;
    return true;
}

// Most searches end within a few dozen bytes, where a library call costs more than the
// search; sixteen bytes are compared at a time inline.
const char* find(const char* p, const char* end, char c)
{
#if defined(__SSE2__)
    const __m128i needle = _mm_set1_epi8(c);
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        if (const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, needle)))
            return p + __builtin_ctz(unsigned(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == c)
            return p;
    return nullptr;
}

struct Attribute
{
    const char* name;
    const char* nameEnd;
    const char* value;
    const char* valueEnd;
};

// Reads the attributes of a start tag the way the HTML tokenizer does, from just after
// the tag name to its ">": a ">" inside a quoted value does not end the tag. Answers the
// position after the ">", or nullptr when the text ends inside the tag (browsers drop
// such a tag). Each byte is looked at once, so the scan stays linear whatever the input.
template <typename OnAttribute>
const char* readAttributes(const char* p, const char* end, char doubleQuote,
                           OnAttribute onAttribute)
{
    for (;;) {
        while (p < end && is(*p, Space | Slash))
            ++p;
        if (p == end)
            return nullptr;
        if (*p == '>')
            return p + 1;
        Attribute a{p, nullptr, p, p};
        ++p; // a leading "=" belongs to the name
        while (p < end && !is(*p, Space | Slash | Close | Equals))
            ++p;
        a.nameEnd = p;
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            return nullptr;
        if (*p != '=') {
            a.value = a.valueEnd = p;
            onAttribute(a);
            continue;
        }
        ++p;
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            return nullptr;
        if (*p == '"' || *p == '\'') {
            a.value = p + 1;
            a.valueEnd = find(a.value, end, *p == '"' ? doubleQuote : '\'');
            if (!a.valueEnd)
                return nullptr;
            p = a.valueEnd + 1;
        } else {
            a.value = p;
            while (p < end && !is(*p, Space | Close))
                ++p;
            a.valueEnd = p;
        }
        onAttribute(a);
    }
}

// Calls onTag(nameBegin, nameEnd) at each start tag, whose attributes follow nameEnd, and
// continues after the end of the tag that onTag answers (nullptr stops). Comments are stepped over
// only when skipComments is set: the link scan counts anchors in comments like any other.
template <typename OnTag>
void forEachStartTag(const char* p, const char* end, bool skipComments, OnTag onTag)
{
    while (p && p < end) {
        const char* lt = find(p, end, '<');
        if (!lt)
            return;
        p = lt + 1;
        if (p == end)
            return;
        if (skipComments && end - p >= 3 && std::memcmp(p, "!--", 3) == 0) {
            const char* close = p + 3;
            while ((close = find(close, end, '>')) && std::memcmp(close - 2, "--", 2) != 0)
                ++close;
            p = close ? close + 1 : nullptr;
            continue;
        }
        if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z')))
            continue;
        const char* name = p;
        while (p < end && !is(*p, Space | Slash | Close))
            ++p;
        p = onTag(name, p);
    }
}

// The charset in a Content-Type value, as browsers extract it: the first "charset"
// followed by "=", its value quoted or up to white space or ";".
QByteArrayView charsetParameter(QByteArrayView text)
{
    const char* p = text.data();
    const char* end = p + text.size();
    while (end - p >= 7) {
        if (!equalsLower(p, p + 7, "charset")) {
            ++p;
            continue;
        }
        p += 7;
        while (p < end && isSpace(*p))
            ++p;
        if (p == end || *p != '=')
            continue;
        ++p;
        while (p < end && isSpace(*p))
            ++p;
        if (p < end && (*p == '"' || *p == '\'')) {
            const char* close = find(p + 1, end, *p);
            return close ? QByteArrayView(p + 1, close) : QByteArrayView();
        }
        const char* start = p;
        while (p < end && !isSpace(*p) && *p != ';')
            ++p;
        return QByteArrayView(start, p);
    }
    return {};
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        // Most of a page is ASCII: take it eight bytes at a time.
        while (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const unsigned c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more;
        unsigned low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                low = 0xA0; // overlong
            if (c == 0xED)
                high = 0x9F; // surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                low = 0x90;
            if (c == 0xF4)
                high = 0x8F; // beyond U+10FFFF
        } else
            return false;
        if (end - p <= more || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i <= more; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += more + 1;
    }
    return true;
}

// Charsets in which "<", quotes and "=" may be bytes of other characters: their pages
// are decoded whole before the scan.
bool isAsciiCompatible(QByteArrayView charset)
{
    const QByteArray name = charset.toByteArray().toLower();
    return !(name.startsWith("utf-16") || name.startsWith("utf-32") ||
             name.startsWith("iso-2022") || name == "utf-7" || name == "hz-gb-2312");
}

// A charset name as QStringDecoder knows it, or empty for one it does not know. The
// aliases are those pages and servers use that the decoder's own table lacks or maps
// differently.
QByteArray knownCharset(QByteArrayView declared)
{
    const QByteArray name = declared.trimmed().toByteArray().toLower();
    if (name.isEmpty())
        return {};
    static const struct
    {
        const char* canonical;
        std::initializer_list<const char*> aliases;
    } table[] = {
        {"UTF-8", {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode11utf8", "unicode20utf8"}},
        {"Shift_JIS",
         {"shift_jis", "shift-jis", "sjis", "x-sjis", "ms_kanji", "csshiftjis", "windows-31j",
          "cp932", "ms932", "x-ms-cp932"}},
        {"EUC-JP", {"euc-jp", "eucjp", "x-euc-jp", "cseucpkdfmtjapanese"}},
        {"ISO-8859-1",
         {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "l1", "us-ascii", "ascii", "cp819",
          "ibm819", "iso-ir-100", "csisolatin1"}},
        {"UTF-16LE", {"utf-16", "utf-16le", "unicode", "ucs-2"}},
        {"UTF-16BE", {"utf-16be"}},
        {"ISO-2022-JP", {"iso-2022-jp", "csiso2022jp"}},
    };
    for (const auto& entry : table)
        for (const char* alias : entry.aliases)
            if (name == alias)
                return entry.canonical;
    const QByteArray given = declared.trimmed().toByteArray();
    return QStringDecoder(given.constData()).isValid() ? given : QByteArray();
}

// The meta charset of the first kMetaWindow bytes, as browsers prescan a page.
QByteArray metaCharset(QByteArrayView page)
{
    const QByteArrayView window = page.first(qMin(page.size(), kMetaWindow));
    const char* end = window.data() + window.size();
    QByteArray found;
    forEachStartTag(window.data(), end, true, [&](const char* name, const char* p) -> const char* {
        if (!equalsLower(name, p, "meta"))
            return readAttributes(p, end, '"', [](const Attribute&) {});
        QByteArrayView charset, content;
        bool contentType = false;
        p = readAttributes(p, end, '"', [&](const Attribute& a) {
            if (equalsLower(a.name, a.nameEnd, "charset"))
                charset = QByteArrayView(a.value, a.valueEnd);
            else if (equalsLower(a.name, a.nameEnd, "content"))
                content = QByteArrayView(a.value, a.valueEnd);
            else if (equalsLower(a.name, a.nameEnd, "http-equiv"))
                contentType = equalsLower(a.value, a.valueEnd, "content-type");
        });
        if (!p)
            return nullptr;
        if (charset.isNull() && contentType)
            charset = charsetParameter(content);
        found = knownCharset(charset);
        // A page whose meta tag could be read as ASCII is not UTF-16, whatever it says.
        if (found.startsWith("UTF-16"))
            found = "UTF-8";
        return found.isEmpty() ? p : nullptr;
    });
    return found;
}

// Decodes the bytes of one link from the page's charset.
class ValueDecoder
{
public:
    explicit ValueDecoder(const QByteArray& charset)
        : mUtf8(charset == "UTF-8"), mLatin1(charset == "ISO-8859-1")
    {
        if (!mUtf8 && !mLatin1)
            mDecoder = QStringDecoder(charset.constData(), QStringDecoder::Flag::Stateless);
    }
    QString operator()(QByteArrayView bytes)
    {
        if (mUtf8)
            return QString::fromUtf8(bytes);
        if (mLatin1)
            return QString::fromLatin1(bytes);
        return mDecoder.decode(bytes);
    }

private:
    bool mUtf8;
    bool mLatin1;
    QStringDecoder mDecoder;
};

bool isAsciiAlnum(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Browsers read numeric references to the C1 range as windows-1252.
char32_t windows1252(char32_t code)
{
    static const char16_t c1[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                    0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return code >= 0x80 && code <= 0x9F ? c1[code - 0x80] : code;
}

// One character reference at text[i] ("&..."): sets what it stands for and answers its
// length, or 0 when it is none and stays text.
qsizetype decodeReference(QStringView text, qsizetype i, char32_t& out)
{
    const qsizetype n = text.size();
    if (i + 1 < n && text[i + 1] == u'#') {
        qsizetype j = i + 2;
        const bool hex = j < n && (text[j] == u'x' || text[j] == u'X');
        if (hex)
            ++j;
        const qsizetype digits = j;
        char32_t code = 0;
        for (; j < n; ++j) {
            const char16_t c = text[j].unicode();
            int d = -1;
            if (c >= u'0' && c <= u'9')
                d = c - u'0';
            else if (hex && (c | 0x20) >= u'a' && (c | 0x20) <= u'f')
                d = (c | 0x20) - u'a' + 10;
            if (d < 0)
                break;
            code = qMin<char32_t>(code * (hex ? 16 : 10) + d, 0x110000); // no overflow
        }
        if (j == digits)
            return 0;
        if (j < n && text[j] == u';')
            ++j;
        code = windows1252(code);
        if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        out = code;
        return j - i;
    }
    static const struct
    {
        QStringView name;
        char16_t character;
        bool legacy; // also recognised without ";"
    } named[] = {{u"amp", u'&', true}, {u"quot", u'"', true}, {u"lt", u'<', true},
                 {u"gt", u'>', true},  {u"nbsp", 0xA0, true}, {u"apos", u'\'', false}};
    const QStringView rest = text.mid(i + 1);
    for (const auto& entity : named) {
        if (!rest.startsWith(entity.name))
            continue;
        const qsizetype after = entity.name.size();
        if (after < rest.size() && rest[after] == u';') {
            out = entity.character;
            return after + 2;
        }
        // In an attribute, "&amp=" or "&ampx" is left as written (query strings).
        if (entity.legacy &&
            (after == rest.size() || (!isAsciiAlnum(rest[after]) && rest[after] != u'='))) {
            out = entity.character;
            return after + 1;
        }
    }
    return 0;
}

// A link as the browser takes it: character references decoded, the C0 controls and
// blanks at either end dropped, tabs and line ends inside removed.
QString cleanLink(const QString& text)
{
    // Every reference is longer than what it stands for, so the text only shrinks.
    QString out(text.size(), Qt::Uninitialized);
    QChar* write = out.data();
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        char32_t code = 0;
        const qsizetype used = c == u'&' ? decodeReference(text, i, code) : 0;
        if (used > 0) {
            i += used;
            if (code == u'\t' || code == u'\n' || code == u'\r')
                continue;
            if (QChar::requiresSurrogates(code)) {
                *write++ = QChar(QChar::highSurrogate(code));
                *write++ = QChar(QChar::lowSurrogate(code));
            } else
                *write++ = QChar(char16_t(code));
            continue;
        }
        ++i;
        if (c != u'\t' && c != u'\n' && c != u'\r')
            *write++ = c;
    }
    const QChar* first = out.constData();
    while (first < write && first->unicode() <= 0x20)
        ++first;
    while (write > first && write[-1].unicode() <= 0x20)
        --write;
    return out.mid(first - out.constData(), write - first);
}

// Printable ASCII without references reads the same in every charset scanned as bytes and
// needs no cleaning: most links are such.
bool isPlain(const char* p, const char* end)
{
#if defined(__SSE2__)
    // Signed bytes: below '!' are the blanks and controls, and everything from 0x80 on.
    const __m128i low = _mm_set1_epi8(0x21), del = _mm_set1_epi8(0x7F), amp = _mm_set1_epi8('&');
    for (; end - p >= 16; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i bad =
            _mm_or_si128(_mm_cmplt_epi8(chunk, low),
                         _mm_or_si128(_mm_cmpeq_epi8(chunk, del), _mm_cmpeq_epi8(chunk, amp)));
        if (_mm_movemask_epi8(bad))
            return false;
    }
#endif
    for (; p < end; ++p)
        if (quint8(*p) <= 0x20 || quint8(*p) >= 0x7F || *p == '&')
            return false;
    return true;
}

QStringList scanBytes(QByteArrayView page, const QByteArray& charset, char doubleQuote)
{
    QStringList links;
    // Listings and galleries hold an anchor in every few hundred bytes: room for that
    // spares most of the list's regrowth at a cost of 10 % of the page at most.
    links.reserve(page.size() / 256);
    ValueDecoder decode(charset);
    const char* end = page.data() + page.size();
    forEachStartTag(page.data(), end, false, [&](const char* name, const char* p) -> const char* {
        if (p - name != 1 || lower(*name) != 'a')
            return readAttributes(p, end, doubleQuote, [](const Attribute&) {});
        const char* href = nullptr;
        const char* hrefEnd = nullptr;
        p = readAttributes(p, end, doubleQuote, [&](const Attribute& a) {
            // A repeated attribute is dropped: the first href counts.
            if (!href && equalsLower(a.name, a.nameEnd, "href")) {
                href = a.value;
                hrefEnd = a.valueEnd;
            }
        });
        if (p && href)
            links.append(isPlain(href, hrefEnd) ? QString::fromLatin1(href, hrefEnd - href)
                                                : cleanLink(decode(QByteArrayView(href, hrefEnd))));
        return p;
    });
    return links;
}

} // namespace

QByteArray pageCharset(QByteArrayView page, QByteArrayView contentType)
{
    if (page.startsWith("\xEF\xBB\xBF"))
        return "UTF-8";
    if (page.startsWith("\xFE\xFF"))
        return "UTF-16BE";
    if (page.startsWith("\xFF\xFE"))
        return "UTF-16LE";
    if (QByteArray declared = knownCharset(charsetParameter(contentType)); !declared.isEmpty())
        return declared;
    if (QByteArray declared = metaCharset(page); !declared.isEmpty())
        return declared;
    return isValidUtf8(page) ? "UTF-8" : "ISO-8859-1";
}

QStringList scanLinks(QByteArrayView page, QByteArrayView charset, QChar quoteMark)
{
    QByteArray name = knownCharset(charset);
    if (name.isEmpty())
        name = pageCharset(page);
    // Another closing mark only makes sense as one byte; anything else keeps the usual one.
    const char doubleQuote =
        quoteMark.unicode() > 0 && quoteMark.unicode() < 0x80 ? char(quoteMark.unicode()) : '"';
    if (isAsciiCompatible(name))
        return scanBytes(page, name, doubleQuote);
    QStringDecoder decoder(name.constData(), QStringDecoder::Flag::ConvertInitialBom);
    const QByteArray utf8 = QString(decoder.decode(page)).toUtf8();
    return scanBytes(utf8, "UTF-8", doubleQuote);
}

bool isOfKind(QStringView link, Kind kind)
{
    static const std::initializer_list<const char*> archives = {"zip", "sit", "gz",  "7z", "rar",
                                                                "tar", "tgz", "bz2", "xz", "lzh"};
    static const std::initializer_list<const char*> movies = {
        "rm", "mov", "wmv", "mpg", "mpeg", "avi", "mp4", "m4v", "mkv", "webm", "flv"};
    static const std::initializer_list<const char*> images = {"jpg",  "jpeg", "gif", "png",
                                                              "webp", "avif", "bmp"};
    if (kind == Kind::All)
        return true;
    QStringView path = link;
    for (qsizetype i = 0; i < path.size(); ++i)
        if (path[i] == u'?' || path[i] == u'#') {
            path.truncate(i);
            break;
        }
    // "http://host.zip" names a host, not a file.
    if (const qsizetype scheme = path.indexOf(u"://"); scheme >= 0) {
        const qsizetype slash = path.indexOf(u'/', scheme + 3);
        path = slash < 0 ? QStringView() : path.mid(slash);
    }
    const QStringView last = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = last.lastIndexOf(u'.');
    if (dot < 0)
        return false;
    const QStringView extension = last.mid(dot + 1);
    const auto& list = kind == Kind::Archive ? archives : kind == Kind::Movie ? movies : images;
    for (const char* known : list)
        if (extension.compare(QLatin1StringView(known), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString baseAddress(const QString& pageAddress)
{
    // A bare host (http://abc.lan, http://abc.lan/) has no component to drop; the path
    // rule would leave "http:/", which no link can be joined to.
    if (const qsizetype scheme = pageAddress.indexOf(u"://"); scheme >= 0) {
        QString trimmed = pageAddress;
        while (trimmed.endsWith(u'/') && trimmed.size() > scheme + 3)
            trimmed.chop(1);
        if (trimmed.indexOf(u'/', scheme + 3) < 0)
            return trimmed;
    }
    return address::locationOf(pageAddress);
}

QUrl resolveLink(const QString& pageAddress, const QString& link)
{
    const QUrl resolved = QUrl(pageAddress).resolved(QUrl(link.trimmed()));
    const QString scheme = resolved.scheme().toLower();
    if (!resolved.isValid() || resolved.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return resolved;
}

} // namespace linksearch
