#include "fileelement.h"

#include <QMutexLocker>
#include <QRegularExpression>
#include <algorithm>
#include <limits>

namespace address {

namespace {

// Collapses runs of "/" and drops a trailing "/" (but keeps a lone "/").
QString normalisedPath(const QString& path)
{
    QString out;
    out.reserve(path.size());
    for (const QChar c : path) {
        if (c == u'/' && out.endsWith(u'/'))
            continue;
        out.append(c);
    }
    if (out.size() > 1 && out.endsWith(u'/'))
        out.chop(1);
    return out;
}

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(QChar c)
{
    return isAsciiDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// Where the number starts: the first decimal digit outside any "%XX" escape, or 0.
// Browsers copy non-ASCII and blanks as escapes, and their hex digits are bytes
// of the name, not a count. Escapes cannot overlap ("%" is no hex digit), so one
// pass from the left finds them all.
qsizetype firstNumberDigit(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 2 < text.size() && isHexDigit(text[i + 1]) &&
            isHexDigit(text[i + 2]))
            i += 2;
        else if (text[i].isDigit())
            return i;
    }
    return 0;
}

// Adds one to a run of ASCII digits as text, so no width or value limit applies.
QString incrementDigits(QString digits)
{
    for (qsizetype i = digits.size() - 1; i >= 0; --i) {
        if (digits[i] != u'9') {
            digits[i] = QChar(digits[i].unicode() + 1);
            return digits;
        }
        digits[i] = u'0';
    }
    return u'1' + digits;
}

} // namespace

QString lastPathComponent(const QString& path)
{
    if (path.isEmpty())
        return {};
    if (path.endsWith(u'/'))
        return QStringLiteral("/");
    const QString norm = normalisedPath(path);
    const qsizetype slash = norm.lastIndexOf(u'/');
    return slash < 0 ? norm : norm.mid(slash + 1);
}

QString pathExtension(const QString& path)
{
    const QString norm = normalisedPath(path);
    const QString last = norm.mid(norm.lastIndexOf(u'/') + 1);
    const qsizetype dot = last.lastIndexOf(u'.');
    return dot < 0 ? QString() : last.mid(dot + 1);
}

QString deletingLastPathComponent(const QString& path)
{
    const QString norm = normalisedPath(path);
    const qsizetype slash = norm.lastIndexOf(u'/');
    if (slash < 0)
        return {};
    if (slash == 0)
        return QStringLiteral("/");
    return norm.left(slash);
}

QString deletingPathExtension(const QString& path)
{
    const QString ext = pathExtension(path);
    if (ext.isEmpty())
        return path;
    QString norm = normalisedPath(path);
    norm.chop(ext.size() + 1);
    return norm;
}

bool containsWebScheme(const QString& text)
{
    return text.contains(QLatin1String("http://")) || text.contains(QLatin1String("https://"));
}

Split parseFileElement(const QString& address)
{
    const QString last = lastPathComponent(address);
    const qsizetype digit = firstNumberDigit(last);
    Split split;
    split.fileName = last.left(digit);
    split.extension = pathExtension(address);
    const qsizetype numberLength = last.size() - digit - split.extension.size() - 1;
    // A negative span means the first digit sits in the extension: nothing here counts.
    if (numberLength < 0) {
        split.fileName.clear();
        split.extension.clear();
        return split;
    }
    split.number = last.mid(digit, numberLength);
    // pic01.tar.gz: a dot right after the leading digits opens a longer extension,
    // so the series counts pic02.tar.gz instead of collapsing into pic000002.gz.
    qsizetype run = 0;
    while (run < split.number.size() && split.number[run].isDigit())
        ++run;
    if (run > 0 && run < split.number.size() && split.number[run] == u'.') {
        split.extension = split.number.mid(run + 1) + u'.' + split.extension;
        split.number.truncate(run);
    }
    split.countable = last.contains(u'.');
    return split;
}

QString locationOf(const QString& address)
{
    QString location = deletingLastPathComponent(address);
    // The path rule leaves "http:/host"; the scheme needs its "//" back.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    const QRegularExpressionMatch match = scheme.match(location);
    if (match.hasMatch() && !location.mid(match.capturedLength()).startsWith(QLatin1String("//")))
        location.insert(match.capturedLength(), u'/');
    return location;
}

QString fileNameOf(const FileElement& element)
{
    return element.fileName + element.number + u'.' + element.extension;
}

QString fullAddress(const FileElement& element)
{
    return element.location + u'/' + fileNameOf(element);
}

QString nextNumber(const QString& number)
{
    const qsizetype width = number.size();
    qsizetype pos = 0;
    while (pos < number.size() && number[pos].isSpace())
        ++pos;
    bool negative = false;
    if (pos < number.size() && (number[pos] == u'+' || number[pos] == u'-')) {
        negative = number[pos] == u'-';
        ++pos;
    }
    const qsizetype digitsStart = pos;
    while (pos < number.size() && isAsciiDigit(number[pos]))
        ++pos;
    const QString digits = number.mid(digitsStart, pos - digitsStart);

    QString text;
    if (digits.isEmpty()) {
        text = QStringLiteral("1");
    } else if (!negative) {
        text = incrementDigits(digits);
    } else {
        // Negative numbers keep the 32-bit reading: clamp at the smallest int.
        bool ok = false;
        qint64 magnitude = digits.size() > 12 ? 0 : digits.toLongLong(&ok);
        if (!ok || magnitude > qint64(std::numeric_limits<qint32>::max()) + 1)
            magnitude = qint64(std::numeric_limits<qint32>::max()) + 1;
        text = QString::number(-magnitude + 1);
    }
    if (width > text.size())
        text.prepend(QString(width - text.size(), u'0'));
    return text;
}

QString downloadFileName(const QUrl& url)
{
    // The encoded path is what the server was asked for; decoding the whole path
    // first would let an encoded "/" (%2F) move the segment boundary.
    QString path = url.path(QUrl::FullyEncoded);
    // A folder's address ("dir/") is saved under the folder's name, as a browser saves it.
    while (path.endsWith(u'/'))
        path.chop(1);
    const QString segment = path.mid(path.lastIndexOf(u'/') + 1);
    return QString::fromUtf8(QByteArray::fromPercentEncoding(segment.toLatin1()));
}

namespace {

// Bytes that a terminal or a log would act on rather than show.
bool isControl(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f;
}

} // namespace

QString unsafeNameReason(const QString& name, qsizetype maxBytes)
{
    if (name.isEmpty())
        return QStringLiteral("ReasonNameEmpty");
    if (name == u"." || name == u".." || name.contains(u'/') ||
        std::any_of(name.begin(), name.end(), isControl))
        return QStringLiteral("ReasonNameUnsafe");
    if (name.toUtf8().size() > maxBytes)
        return QStringLiteral("ReasonNameTooLong");
    return {};
}

QString printableName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        if (isControl(c))
            out += u'%' + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

} // namespace address

FileElement FileElementStore::get() const
{
    QMutexLocker lock(&mLock);
    return mElement;
}

void FileElementStore::set(const FileElement& element)
{
    QMutexLocker lock(&mLock);
    mElement = element;
}

void FileElementStore::setPart(QString FileElement::*part, const QString& value)
{
    QMutexLocker lock(&mLock);
    mElement.*part = value;
}

FileElement FileElementStore::countUp()
{
    QMutexLocker lock(&mLock);
    mElement.number = address::nextNumber(mElement.number);
    return mElement;
}
