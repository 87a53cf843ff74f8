#include "sources/bookmark.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>
#include <sys/xattr.h>

namespace bookmark {

namespace {

QString decode(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.sliced(3));
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        // The decoder takes the byte order from the mark and drops it, so that a file
        // beginning "URL=" right after the mark still begins with it.
        QStringDecoder utf16(QStringDecoder::Utf16);
        return utf16(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder shiftJis("Shift_JIS");
    if (shiftJis.isValid())
        return shiftJis(bytes);
    return QString::fromLatin1(bytes);
}

} // namespace

std::optional<QByteArray> format(const QString& address)
{
    QStringEncoder shiftJis("Shift_JIS");
    if (!shiftJis.isValid())
        return std::nullopt;
    const QString text =
        QStringLiteral("[InternetShortcut]\r\nURL=") + address + QStringLiteral("\r\n");
    QByteArray bytes = shiftJis(text);
    if (shiftJis.hasError())
        return std::nullopt;
    // A character written through a best-fit mapping (¥ as a backslash), or a text whose
    // Shift JIS bytes also happen to be valid UTF-8 (some half-width kana), would read back
    // as another address: such a file is not written.
    if (decode(bytes) != text)
        return std::nullopt;
    return bytes;
}

std::optional<QString> parse(QByteArrayView bytes)
{
    const QString text = decode(bytes);
    // Section headers decide where "URL=" counts: only in [InternetShortcut] once the
    // file has that section, anywhere in a file without sections.
    const bool sectioned = text.contains(QLatin1String("[InternetShortcut]"), Qt::CaseInsensitive);
    bool inShortcut = !sectioned;
    qsizetype start = 0;
    while (start <= text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != u'\r' && text[end] != u'\n')
            ++end;
        const QStringView line = QStringView(text).mid(start, end - start);
        const QStringView trimmed = line.trimmed();
        if (trimmed.startsWith(u'[') && trimmed.endsWith(u']'))
            inShortcut = !sectioned || trimmed.compare(QLatin1String("[InternetShortcut]"),
                                                       Qt::CaseInsensitive) == 0;
        else if (inShortcut && line.startsWith(QLatin1String("URL=")))
            return line.mid(4).toString();
        if (end >= text.size())
            break;
        start = end + 1;
    }
    return std::nullopt;
}

std::optional<QString> readFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kLargest)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Read one byte more than allowed: a file that grew since it was looked at is still refused.
    const QByteArray bytes = file.read(kLargest + 1);
    if (bytes.size() > kLargest)
        return std::nullopt;
    return parse(bytes);
}

QString withShortcutSuffix(const QString& path)
{
    if (path.endsWith(QLatin1String(".url"), Qt::CaseInsensitive))
        return path;
    return path + QLatin1String(".url");
}

bool setFinderInfo(const QString& path, quint32 type, quint32 creator)
{
    // The Finder's own layout: type and creator as big-endian codes, flags and the rest zero.
    char info[32] = {};
    for (int i = 0; i < 4; ++i) {
        info[i] = char(type >> (24 - 8 * i));
        info[4 + i] = char(creator >> (24 - 8 * i));
    }
    const QByteArray name = QFile::encodeName(path);
    return ::setxattr(name.constData(), "user.com.apple.FinderInfo", info, sizeof info, 0) == 0;
}

} // namespace bookmark
