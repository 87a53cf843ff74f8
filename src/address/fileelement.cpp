#include "fileelement.h"

#include <QMutexLocker>
#include <QRegularExpression>
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
    qsizetype digit = 0;
    for (qsizetype i = 0; i < last.size(); ++i) {
        if (last[i].isDigit()) {
            digit = i;
            break;
        }
    }
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
