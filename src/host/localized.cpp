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
