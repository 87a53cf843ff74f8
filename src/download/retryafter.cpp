#include "retryafter.h"

#include <QLocale>
#include <algorithm>

namespace download {

int retryAfterMs(const QByteArray& header, const QDateTime& now)
{
    const QByteArray value = header.trimmed();
    if (value.isEmpty())
        return -1;
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        bool ok = false;
        const qint64 s = value.toLongLong(&ok);
        return ok ? int(qMin<qint64>(s, kMaxRetryAfterMs / 1000) * 1000) : kMaxRetryAfterMs;
    }
    // IMF-fixdate, the form servers send ("Wed, 21 Oct 2015 07:28:00 GMT"), which Qt's
    // RFC 2822 parser does not take; that one still reads the older asctime form.
    const QString text = QString::fromLatin1(value);
    QDateTime when =
        QLocale::c().toDateTime(text, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    when.setTimeSpec(Qt::UTC);
    if (!when.isValid())
        when = QDateTime::fromString(text, Qt::RFC2822Date);
    if (!when.isValid())
        return -1;
    return int(qBound(qint64(0), now.msecsTo(when), qint64(kMaxRetryAfterMs)));
}

} // namespace download
