#include "stepverdict.h"

#include "host/localized.h"
#include "target.h"

#include <cerrno>

namespace download {

StepVerdict verdictOf(RunKind kind, bool first, const QString& name, const Fetcher::Result& result,
                      const SeriesGap& gap)
{
    using enum Fetcher::Outcome;
    StepVerdict v;
    if (result.outcome == Written || result.outcome == Unchanged)
        return v;
    v.goOn = false;
    if (result.outcome == Aborted)
        return v;
    v.failed = true;
    if (kind == RunKind::Series) {
        // The server's way of saying the series is over. Even the first number missing means
        // nothing of the series is there, which is a failure; a page in place of the first file
        // is one too, and says why.
        if (result.outcome == HttpError || (result.outcome == HtmlPage && !first)) {
            v.missing = true;
            v.failed = first;
            // Galleries skip a number now and then: a hole within the allowance is looked past.
            // The first number is not: a series that is not there at all has no hole to skip.
            if (!first && gap.missingBefore < gap.allowance) {
                v.goOn = true;
                v.failed = false;
                v.line = localizedFormat("MissingGoOn", name) + u'\n';
            } else if (!first && gap.allowance > 0) {
                v.line = localizedFormat("SeriesEnded", gap.lastFound,
                                         QString::number(gap.missingBefore + 1)) +
                         u'\n';
            } else {
                v.line = localizedFormat("CantFound", name) + u'\n';
            }
            return v;
        }
        // No server answered the first fetch: the host's own words.
        if (first && result.outcome == NetworkError && result.status == 0) {
            v.line = u'>' + printable(result.reason) + u'\n';
            return v;
        }
    }
    v.line = failureLine(name, result.reason);
    return v;
}

bool isFolderFault(const Fetcher::Result& result)
{
    if (result.outcome != Fetcher::Outcome::WriteError)
        return false;
    switch (result.writeErrno) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOSPC:
    case EDQUOT:
    case ENOENT:
    case ENOTDIR:
    case EIO:
        return true;
    default:
        return false;
    }
}

} // namespace download
