// Splits arbitrary text as an address, counts it up and names the file it would be saved as.

#include "address/fileelement.h"
#include "require.h"

#include <QDir>
#include <cstdint>

using namespace address;

namespace {

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// True when a "%XX" escape begins in the prefix and ends in the number: the number
// would then be counting the bytes of an escaped name.
bool escapeCrossesSeam(const QString& fileName, const QString& number)
{
    const QString text = fileName + number;
    for (qsizetype i = 0; i + 2 < text.size(); ++i) {
        if (text[i] == u'%' && isHex(text[i + 1]) && isHex(text[i + 2])) {
            if (i < fileName.size() && i + 2 >= fileName.size())
                return true;
            i += 2;
        }
    }
    return false;
}

// A "%" that opens no escape (a typed a%9.jpg) can join the counted digits into one
// (a%10.jpg): the text is ambiguous there, and nothing a split does can prevent it.
bool prefixEndsWithStrayPercent(const QString& fileName)
{
    return fileName.right(2).contains(u'%');
}

void checkSplit(const QString& text)
{
    const Split split = parseFileElement(text);
    if (!split.countable)
        return;
    const QString file = split.fileName + split.number + u'.' + split.extension;
    require(file == lastPathComponent(text), "the split puts the last component back together");
    require(split.fileName.isEmpty() || split.number.front().isDigit(),
            "after a prefix the number starts with a digit");
    require(!escapeCrossesSeam(split.fileName, split.number),
            "the number starts outside any escape");

    const FileElement element{locationOf(text), split.fileName, split.number, split.extension};
    require(fullAddress(element).endsWith(u'/' + file),
            "the full address ends with file name, number, dot and extension");

    const QString next = nextNumber(split.number);
    require(next.size() >= split.number.size(), "counting up never shrinks the number");
    if (prefixEndsWithStrayPercent(split.fileName))
        return;
    require(!escapeCrossesSeam(split.fileName, next), "counting up makes no escape");
    // The series stays the same series: the next address splits into the same prefix
    // and extension, with the counted number in between.
    const Split again =
        parseFileElement(fullAddress({element.location, split.fileName, next, split.extension}));
    require(again.countable, "the next address can be counted");
    require(again.fileName == split.fileName, "the next address keeps the prefix");
    require(again.number == next, "the next address holds the counted number");
    require(again.extension == split.extension, "the next address keeps the extension");
}

void checkNextNumber(const QString& text)
{
    const QString next = nextNumber(text);
    require(!next.isEmpty() && next.size() >= text.size(), "the width never shrinks");
    bool digitsOnly = !text.isEmpty();
    bool ninesOnly = digitsOnly;
    for (const QChar c : text) {
        digitsOnly = digitsOnly && c >= u'0' && c <= u'9';
        ninesOnly = ninesOnly && c == u'9';
    }
    if (ninesOnly)
        require(next == u'1' + QString(text.size(), u'0'), "nines roll over into one more digit");
    else if (digitsOnly)
        require(next.size() == text.size() && next > text, "digits count up in their width");
}

void checkDownloadName(const QString& text)
{
    // The way the engine makes a request from a full address.
    const QUrl url(text, QUrl::TolerantMode);
    const QString name = downloadFileName(url);
    // A folder's address names the folder: its trailing slashes are not a segment.
    QString path = url.path(QUrl::FullyEncoded);
    while (path.endsWith(u'/'))
        path.chop(1);
    const QString segment = path.mid(path.lastIndexOf(u'/') + 1);
    if (name.contains(u'/'))
        require(segment.contains(QLatin1String("%2F"), Qt::CaseInsensitive),
                "only an encoded slash decodes to a slash");
    if (!unsafeNameReason(name).isEmpty())
        return;
    require(QDir::cleanPath(QLatin1String("/folder/") + name) == QLatin1String("/folder/") + name,
            "a safe name is one plain entry in the folder");
    require(!name.contains(QChar(0)) && name.toUtf8().size() <= 255,
            "a safe name has no NUL and fits the file system");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    checkSplit(text);
    checkNextNumber(text);
    checkDownloadName(text);
    return 0;
}
