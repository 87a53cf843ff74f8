#include "urllist.h"

#include <QTextBoundaryFinder>
#include <limits>

namespace urllist {

QStringList splitList(QStringView text)
{
    QStringList addresses;
    for (QStringView line : text.tokenize(u'\n')) {
        line = line.trimmed();
        if (!line.isEmpty())
            addresses.append(line.toString());
    }
    return addresses;
}

namespace {

qsizetype utf8Size(QStringView text)
{
    return text.toUtf8().size();
}

// The longest start of `text` of at most `bytes` bytes that ends between two characters.
QString leading(const QString& text, qsizetype bytes)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    qsizetype used = 0;
    for (qsizetype next = characters.toNextBoundary(); next > 0;
         next = characters.toNextBoundary()) {
        used += utf8Size(QStringView(text).mid(end, next - end));
        if (used > bytes)
            break;
        end = next;
    }
    return text.left(end);
}

// "x (2).jpg" from "x.jpg", 2 and the limit; "README (2)", ".bashrc (2)". A dot at the start
// belongs to the name, not to an extension.
QString numbered(const QString& name, int number, qsizetype limit)
{
    const QString suffix = QStringLiteral(" (%1)").arg(number);
    const qsizetype dot = name.lastIndexOf(u'.');
    QString stem = dot > 0 ? name.left(dot) : name;
    QString extension = dot > 0 ? name.mid(dot) : QString();
    qsizetype room = limit - utf8Size(suffix) - utf8Size(extension);
    if (room < 1 && !extension.isEmpty()) {
        // An extension too long to keep with the number: the name is shortened as a whole.
        stem = name;
        extension.clear();
        room = limit - utf8Size(suffix);
    }
    if (room < 0)
        return {};
    return leading(stem, room) + suffix + extension;
}

} // namespace

QString NameBook::take(const QString& name, qsizetype nameLimit)
{
    if (!mTaken.contains(name)) {
        mTaken.insert(name);
        return name;
    }
    // Numbers are not searched from 2 again for a name asked for many times over.
    int& number = mLastNumber[name];
    number = qMax(number, 1);
    while (number < std::numeric_limits<int>::max()) {
        const QString candidate = numbered(name, ++number, nameLimit);
        if (candidate.isEmpty())
            return {};
        if (!mTaken.contains(candidate)) {
            mTaken.insert(candidate);
            return candidate;
        }
    }
    return {};
}

} // namespace urllist
