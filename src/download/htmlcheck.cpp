#include "htmlcheck.h"

namespace html {

QByteArray header()
{
    return QByteArrayLiteral("<html>");
}

bool isHTMLFile(const QByteArray& data)
{
    if (data.startsWith(header()))
        return true;
    // Blanks before the tag may run on; the verdict still rests on the first
    // kSniffLength bytes, which is all the engine holds back before it decides.
    QByteArrayView rest = QByteArrayView(data).first(qMin(data.size(), kSniffLength));
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    qsizetype i = 0;
    while (i < rest.size() && (rest[i] == ' ' || rest[i] == '\t' || rest[i] == '\r' ||
                               rest[i] == '\n' || rest[i] == '\f'))
        ++i;
    const QByteArray head =
        rest.sliced(i).first(qMin<qsizetype>(rest.size() - i, 14)).toByteArray().toLower();
    return head.startsWith("<html") || head.startsWith("<!doctype html");
}

} // namespace html
