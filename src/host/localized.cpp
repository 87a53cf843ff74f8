#include "localized.h"

#include <QCoreApplication>

QString localized(const char* key)
{
    return qtTrId(key);
}

QString localizedFormat(const char* key, const QString& argument)
{
    const QString text = qtTrId(key);
    if (!text.contains(QLatin1String("%1")))
        return text + u' ' + argument;
    // Replaces only the marker, so a "%" in the argument stays as it is.
    QString out = text;
    out.replace(QLatin1String("%1"), argument);
    return out;
}

QString localizedFormat(const char* key, const QString& first, const QString& second)
{
    const QString text = qtTrId(key);
    const bool hasFirst = text.contains(QLatin1String("%1"));
    const bool hasSecond = text.contains(QLatin1String("%2"));
    if (!hasFirst && !hasSecond)
        return text + u' ' + first + u' ' + second;
    // One pass over the text, so that a "%2" inside the first argument stays as it is.
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'%' && i + 1 < text.size() &&
            (text.at(i + 1) == u'1' || text.at(i + 1) == u'2')) {
            out += text.at(++i) == u'1' ? first : second;
        } else {
            out += text.at(i);
        }
    }
    // A text that names only one place still shows both arguments.
    if (!hasFirst)
        out += u' ' + first;
    if (!hasSecond)
        out += u' ' + second;
    return out;
}
