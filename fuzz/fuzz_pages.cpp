// Judges arbitrary bodies under names of each kind, with and without the page rule.

#include "download/pagecheck.h"
#include "require.h"

#include <cstdint>

using namespace Qt::StringLiterals;
using pages::Verdict;

namespace {

QByteArray utf16(QByteArrayView ascii, bool bigEndian)
{
    QByteArray units = bigEndian ? QByteArray("\xFE\xFF") : QByteArray("\xFF\xFE");
    for (const char c : ascii) {
        units.append(bigEndian ? '\0' : c);
        units.append(bigEndian ? c : '\0');
    }
    return units;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray body(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool html = pages::looksLikeHtml(body);
    const bool text = pages::isTextData(body);

    struct Name
    {
        QString name;
        enum { Binary, Text, Unknown } kind;
    };
    // One binary kind only: each judgement under it asks shared-mime-info about the data,
    // which is what makes an execution slow.
    const Name names[] = {{u"pic013.jpg"_s, Name::Binary},
                          {u"page002.php"_s, Name::Text},
                          {u"notes013.txt"_s, Name::Text},
                          {u"file013"_s, Name::Unknown},
                          {u"x013.dat"_s, Name::Unknown}};
    for (const Name& n : names) {
        const Verdict first = pages::judge(n.name, body, false);
        const Verdict inRun = pages::judge(n.name, body, true);
        require(first == Verdict::File || inRun == Verdict::Page,
                "the page rule only adds pages, never takes one away");
        switch (n.kind) {
        case Name::Text:
            require(first == Verdict::File && inRun == Verdict::File,
                    "a text-kind name is what was asked for, markup and all");
            break;
        case Name::Unknown:
            require(first == Verdict::File, "a name of no known kind leaves nothing to judge by");
            require((inRun == Verdict::Page) == html,
                    "in a run, an unknown kind is judged as HTML");
            break;
        case Name::Binary:
            require((first == Verdict::Page) == text, "text where a binary kind was asked for");
            require((inRun == Verdict::Page) == (html || text),
                    "in a run, HTML or text where a binary kind was asked for");
            break;
        }
        // The engine decides as soon as it holds kSniffLength bytes.
        if (body.size() >= pages::kSniffLength) {
            const QByteArray window = body.first(pages::kSniffLength);
            require(inRun == pages::judge(n.name, window + "\x01<html>", true),
                    "bytes after the window do not decide");
            if (body.size() > pages::kSniffLength)
                require(inRun == pages::judge(n.name, window, true), "only the first bytes decide");
        }
    }

    // The same ASCII page is a page in UTF-8 with a mark and in UTF-16 of either byte order;
    // the cut keeps every form within the window.
    QByteArray ascii = body.first(qMin<qsizetype>(body.size(), (pages::kSniffLength - 3) / 2));
    for (char& c : ascii)
        c = char(c & 0x7F);
    const bool asciiHtml = pages::looksLikeHtml(ascii);
    require(asciiHtml == pages::looksLikeHtml("\xEF\xBB\xBF" + ascii), "a UTF-8 mark is skipped");
    require(asciiHtml == pages::looksLikeHtml(utf16(ascii, false)), "UTF-16 LE reads as ASCII");
    require(asciiHtml == pages::looksLikeHtml(utf16(ascii, true)), "UTF-16 BE reads as ASCII");
    return 0;
}
