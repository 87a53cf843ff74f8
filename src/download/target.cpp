#include "target.h"

#include "address/fileelement.h"
#include "downloadfolder.h"
#include "fetcher.h"
#include "host/localized.h"

#include <QFile>
#include <unistd.h>

namespace download {

// A folder that is not there yet (or will fail anyway) is judged by the common limit.
qsizetype nameLimitOf(const QString& folder)
{
    const long limit = ::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX);
    return limit > 0 ? qsizetype(limit) : 255;
}

Target targetOf(const QString& fullAddress, const QString& folder)
{
    Target target;
    target.url = urlOf(fullAddress);
    if (!target.url.isValid()) {
        target.name = address::lastPathComponent(fullAddress);
        target.refusal = localized("ReasonBadAddress");
        return target;
    }
    target.name = address::downloadFileName(target.url);
    if (folder.isEmpty()) {
        target.refusal = localized("ReasonNoFolder");
        return target;
    }
    const QString unsafe = address::unsafeNameReason(target.name, nameLimitOf(folder));
    if (!unsafe.isEmpty()) {
        target.refusal = localized(unsafe.toLatin1().constData());
        return target;
    }
    target.path = folder::filePathIn(folder, target.name);
    return target;
}

QString failureLine(const QString& name, const QString& reason)
{
    QString line = localizedFormat("FailureDownload", name);
    if (!reason.isEmpty())
        line += QStringLiteral(": ") + printable(reason);
    return line + u'\n';
}

QString retryLine(const QString& name, const QString& reason, int retry, int delayMs)
{
    return localizedFormat("RetryDownload", name, printable(reason)) + u' ' +
           localizedFormat("RetryWait", QString::number((delayMs + 999) / 1000),
                           QString::number(retry)) +
           u'\n';
}

} // namespace download
