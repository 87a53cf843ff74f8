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
        // A page without an address keeps its place as an empty one, so that it is not
        // another page that passes for the front one.
        urls.append(object.value(QLatin1String("url")).toString());
    }
    return urls;
}

} // namespace bridge
