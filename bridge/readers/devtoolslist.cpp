#include "readers/chromium.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace bridge {

QStringList parseDevToolsList(QByteArrayView json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json.toByteArray());
    QStringList urls;
    if (!document.isArray())
        return urls;
    const QJsonArray targets = document.array();
    for (const QJsonValue& target : targets) {
        const QJsonObject object = target.toObject();
        // Service workers, iframes and extension pages are targets too, not windows.
        if (object.value(QLatin1String("type")).toString() != QLatin1String("page"))
            continue;
        const QJsonValue url = object.value(QLatin1String("url"));
        if (url.isString() && !url.toString().isEmpty())
            urls.append(url.toString());
    }
    return urls;
}

} // namespace bridge
