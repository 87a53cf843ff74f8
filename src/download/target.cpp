#include "target.h"

#include "address/fileelement.h"
#include "downloadfolder.h"
#include "fetcher.h"
#include "host/localized.h"
#include "partfile.h"

#include <QFile>
#include <unistd.h>

namespace download {

namespace {

// A folder that is not there yet (or will fail anyway) is judged by the common limit.
qsizetype limitOr255(long limit)
{
    return limit > 0 ? qsizetype(limit) : 255;
}

// The address and the name; a refused target keeps a name fit for the log.
Target nameOf(const QString& fullAddress)
{
    Target target;
    target.url = urlOf(fullAddress);
    if (!target.url.isValid()) {
        target.name = address::printableName(address::lastPathComponent(fullAddress));
        target.refusal = localized("ReasonBadAddress");
        return target;
    }
    target.name = address::downloadFileName(target.url);
    // A server's own address names no file at all: the log shows the address instead.
    if (target.name.isEmpty() && target.url.path().count(u'/') == target.url.path().size()) {
        target.name = address::printableName(fullAddress);
        target.refusal = localized("ReasonServerOnly");
    }
    return target;
}

// A name the clean-up of temporaries would take for one of its own is refused as well, so a
// download can never be removed as a leftover of a crash.
QString nameRefusal(const QString& name, qsizetype nameLimit)
{
    const QString unsafe = address::unsafeNameReason(name, nameLimit);
    if (!unsafe.isEmpty())
        return localized(unsafe.toLatin1().constData());
    if (PartFile::isTemporaryName(name))
        return localized("ReasonNameUnsafe");
    return {};
}

// Fills in where the file goes, or why it cannot go there.
void place(Target& target, const QString& folder, qsizetype nameLimit)
{
    target.refusal = nameRefusal(target.name, nameLimit);
    if (target.refusal.isEmpty())
        target.path = folder::filePathIn(folder, target.name);
    else
        target.name = address::printableName(target.name);
}

} // namespace

qsizetype nameLimitOf(const QString& folder)
{
    return limitOr255(::pathconf(QFile::encodeName(folder).constData(), _PC_NAME_MAX));
}

qsizetype nameLimitOf(const folder::RunFolder& folder)
{
    return limitOr255(::fpathconf(folder.fd(), _PC_NAME_MAX));
}

Target targetOf(const QString& fullAddress, const std::shared_ptr<const folder::RunFolder>& folder)
{
    Target target = nameOf(fullAddress);
    if (!target.refusal.isEmpty())
        return target;
    if (!folder) {
        target.refusal = localized("ReasonNoFolder");
        return target;
    }
    place(target, folder->path(), nameLimitOf(*folder));
    if (target.refusal.isEmpty())
        target.folder = folder;
    return target;
}

Target targetOf(const QString& fullAddress, const QString& folder)
{
    Target target = nameOf(fullAddress);
    if (!target.refusal.isEmpty())
        return target;
    if (folder.isEmpty()) {
        target.refusal = localized("ReasonNoFolder");
        return target;
    }
    place(target, folder, nameLimitOf(folder));
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
