// Cookie-file text, Firefox session stores and browser rows (of any bytes) turned into the lines
// libcurl's cookie engine reads: no line may be forged or cut, and what a row gives the parser
// keeps.

#include "require.h"
#include "sources/browsercookies.h"

#include <QList>
#include <cstdint>

namespace {

constexpr qint64 now = 1'800'000'000;

// A line libcurl takes as one cookie: seven fields, one line end, no other control byte.
void requireOneCookie(QByteArrayView line)
{
    require(line.endsWith('\n'), "a line ends with a line end");
    const QByteArrayView body = line.chopped(1);
    qsizetype tabs = 0;
    for (char c : body) {
        require(c == '\t' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f),
                "no control byte but the field tabs");
        tabs += c == '\t';
    }
    require(tabs == 6, "seven fields");
    require(!body.startsWith('#') || body.startsWith("#HttpOnly_"), "not a comment");
}

QList<QByteArrayView> linesOf(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    for (qsizetype at; (at = text.indexOf('\n')) >= 0; text = text.sliced(at + 1))
        lines.append(text.first(at + 1));
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t mode = data[0];
    const QByteArrayView rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    // A cookie file.
    const cookies::Jar jar = cookies::parseNetscapeAt(rest, now);
    const QList<QByteArrayView> kept = linesOf(jar.lines);
    require(jar.unreadable >= 0 && kept.size() + jar.unreadable <= rest.count('\n') + 1,
            "no more lines out than in");
    qsizetype from = 0;
    for (QByteArrayView line : kept) {
        requireOneCookie(line);
        const QByteArrayView body = line.chopped(1);
        // Kept as it was, in order (a CR before the line end is the only change).
        const qsizetype at = rest.indexOf(body, from);
        require(at >= 0, "a kept line is one of the input's");
        from = at + body.size();
    }

    // A browser's row: four fields split at 0x01, flags and expiry from the first byte.
    QList<QByteArrayView> fields;
    QByteArrayView text = rest;
    for (qsizetype at; fields.size() < 3 && (at = text.indexOf('\x01')) >= 0;
         text = text.sliced(at + 1))
        fields.append(text.first(at));
    fields.append(text);
    while (fields.size() < 4)
        fields.append(QByteArrayView());
    const qint64 expiries[] = {0, now - 1, now, now + 1, -1};
    const cookies::Row row{
        fields[0],       fields[1],      fields[2], fields[3], expiries[(mode >> 2) % 5],
        (mode & 1) != 0, (mode & 2) != 0};
    if (const auto line = cookies::netscapeLine(row, now)) {
        requireOneCookie(*line);
        require(line->contains(row.name) && line->endsWith(row.value.toByteArray() + '\n'),
                "the name and value unchanged");
        const cookies::Jar back = cookies::parseNetscapeAt(*line, now);
        require(back.lines == *line && back.unreadable == 0, "the parser keeps a row's line");
    }

    // A Firefox session store: every cookie it gives is one line.
    if (const auto session = cookies::parseFirefoxSessionCookies(rest)) {
        require(session->unreadable == 0 && session->problem.isEmpty(), "a store says no fault");
        for (QByteArrayView line : linesOf(session->lines))
            requireOneCookie(line);
    }

    // Chromium's decryption of any stored bytes, with and without the host's hash.
    if (const auto value = cookies::chromiumDecrypt(rest, "peanuts", fields[0], mode & 1))
        require(value->size() <= rest.size(), "a value no longer than its ciphertext");
    return 0;
}
