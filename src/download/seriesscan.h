#pragma once

#include "address/fileelement.h"

#include <QString>

// Where a series already on disk leaves off, so that a run can take it up from there.
namespace series {

// The name a run saves a file of this element under is prefix + number + suffix, decoded as
// the run decodes its addresses (pic%20 is "pic ", a query is no part of it). Not valid when
// the element's name cannot be cut so (a number that the address does not keep as it is).
struct DiskName
{
    QString name; // the whole name, also when not valid
    QString prefix;
    QString suffix; // with its leading "."
    bool valid = false;
};
DiskName diskNameOf(const FileElement& element);

// A file of a series and its number, digits as in its name; empty when none was found.
struct Found
{
    QString number;
    QString path;
    bool isEmpty() const { return number.isEmpty(); }
};

// The file of dir named prefix + at least `width` digits + suffix whose number is highest.
// Numbers are compared by their digits without leading zeros, however long. Only plain files
// count: directories and a run's temporary files never.
Found highestIn(const QString& dir, const QString& prefix, const QString& suffix, qsizetype width);

// The dated folder of base whose name gives the latest moment, or "" when it has none.
QString newestDatedFolder(const QString& base);

// highestIn() over the output folder and, with dated folders, the newest of them too: the
// higher of the two (the output folder's on a tie).
Found highestInOutput(const QString& output, bool datedFolders, const QString& prefix,
                      const QString& suffix, qsizetype width);

} // namespace series
