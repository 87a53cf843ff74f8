#include "localized.h"

#include <QCoreApplication>
#include <QList>
#include <initializer_list>

QString localized(const char* key)
{
    return qtTrId(key);
}

namespace {

// Puts each argument in place of its marker ("%1", "%2") in one pass, so a marker inside an
// argument stays as it is; an argument whose marker the text lacks follows after a blank,
// so it is never lost.
QString formatted(const char* key, std::initializer_list<QString> arguments)
{
    const QString text = qtTrId(key);
    QString out;
    QList<bool> placed(qsizetype(arguments.size()), false);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = i + 1 < text.size() ? text.at(i + 1).digitValue() - 1 : -1;
        if (text.at(i) == u'%' && n >= 0 && n < qsizetype(arguments.size())) {
            out += arguments.begin()[n];
            placed[n] = true;
            ++i;
        } else {
            out += text.at(i);
        }
    }
    for (qsizetype n = 0; n < qsizetype(arguments.size()); ++n)
        if (!placed[n])
            out += u' ' + arguments.begin()[n];
    return out;
}

} // namespace

QString localizedFormat(const char* key, const QString& argument)
{
    return formatted(key, {argument});
}

QString localizedFormat(const char* key, const QString& first, const QString& second)
{
    return formatted(key, {first, second});
}

QString localizedFormat(const char* key, std::initializer_list<QString> arguments)
{
    return formatted(key, arguments);
}
