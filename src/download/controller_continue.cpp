#include "app/controller.h"
#include "download/downloadfolder.h"
#include "download/seriesscan.h"
#include "host/localized.h"

// Start, from the number after the highest file of the series already on disk: a series that
// has grown since the last run is taken up where that run left off, without fetching again
// what is there.
void Controller::continue_series()
{
    if (!allows(Command::ContinueSeries))
        return;
    retireWorker();
    const FileElement element = mElement.get();
    const series::DiskName disk = series::diskNameOf(element);
    // The new run's dated folder is made only when it begins, so the newest one is an
    // earlier run's.
    const QString output = folder::outputFolder(mOutputDirectory);
    const series::Found found = disk.valid
                                    ? series::highestInOutput(output, mCreateNewFolder, disk.prefix,
                                                              disk.suffix, element.number.size())
                                    : series::Found{};
    QString line;
    if (found.isEmpty()) {
        line = localizedFormat("ContinueSeriesNone", disk.name, address::printableName(output));
    } else {
        const QString next = address::nextNumber(found.number);
        mElement.setNumber(next);
        line = localizedFormat("ContinueSeriesAt",
                               address::printableName(disk.prefix + next + disk.suffix),
                               address::printableName(found.path));
    }
    showNumber(mElement.get().number);
    beginRun(line + u'\n', [this] { downloadOneStep(); });
}
