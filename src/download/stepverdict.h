#pragma once

#include "fetcher.h"

#include <QString>

namespace download {

enum class RunKind { Series, List };

struct StepVerdict
{
    bool goOn = true;    // the run goes on to its next address
    bool failed = false; // a failure ends the run (not the end of a series, not a Stop)
    QString line;        // what the log says of the step, line end included; empty for nothing
    // The server does not have the number: a hole, or the series' end.
    bool missing = false;
};

// Where a series stands as its next answer comes: the missing numbers it may go past in a row,
// those just before this one, and the last file found before them.
struct SeriesGap
{
    int allowance = 0;
    int missingBefore = 0;
    QString lastFound;
};

// What one fetched address means for its run, in one place for both kinds of run and for the
// first file of a series (fetched before the worker takes over). A written file is logged by
// whoever reports it, since it is there even when its run was stopped meanwhile; so is a kept
// one, which counts as found all the same.
StepVerdict verdictOf(RunKind kind, bool first, const QString& name, const Fetcher::Result& result,
                      const SeriesGap& gap = {});

// A failure to write that every later address of the folder would meet as well: the folder
// gone, full, or closed to us, rather than one name it refused.
bool isFolderFault(const Fetcher::Result& result);

} // namespace download
