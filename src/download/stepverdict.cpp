#include "stepverdict.h"

#include "host/localized.h"
#include "target.h"

namespace download {

StepVerdict verdictOf(RunKind kind, bool first, const QString& name, const Fetcher::Result& result)
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
            v.failed = first;
            v.line = localizedFormat("CantFound", name) + u'\n';
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

} // namespace download
