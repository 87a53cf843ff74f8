#include "seriesscan.h"

#include "downloadfolder.h"
#include "target.h"

#include <QDir>
#include <QRegularExpression>
#include <algorithm>
#include <optional>

namespace series {

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

QStringView withoutLeadingZeros(QStringView digits)
{
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits[i] == u'0')
        ++i;
    return digits.sliced(i);
}

// Numbers of any length: a longer run of significant digits is the larger number.
bool isHigher(QStringView a, QStringView b)
{
    a = withoutLeadingZeros(a);
    b = withoutLeadingZeros(b);
    return a.size() != b.size() ? a.size() > b.size() : a.compare(b) > 0;
}

// The moment a dated folder's name gives, as seconds since the epoch; the offset in the
// name makes names from different time zones (travel, a change of summer time) comparable.
std::optional<qint64> momentOf(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d) ([+-])(\d\d)(\d\d)$)"));
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return std::nullopt;
    const auto part = [&](int i) { return m.captured(i).toInt(); };
    const QDate date(part(1), part(2), part(3));
    const QTime time(part(4), part(5), part(6));
    if (!date.isValid() || !time.isValid() || part(9) > 59)
        return std::nullopt;
    const qint64 offset = (part(8) * 3600 + part(9) * 60) * (m.captured(7) == u"-" ? -1 : 1);
    return date.toJulianDay() * 86400 + time.msecsSinceStartOfDay() / 1000 - offset;
}

} // namespace

DiskName diskNameOf(const FileElement& element)
{
    const QString name = download::targetOf(address::fullAddress(element), QString()).name;
    const QString suffix =
        download::targetOf(element.location + QStringLiteral("/.") + element.extension, QString())
            .name;
    DiskName disk;
    disk.name = name;
    if (!suffix.startsWith(u'.') || !name.endsWith(element.number + suffix))
        return disk;
    disk.prefix = name.chopped(element.number.size() + suffix.size());
    disk.suffix = suffix;
    disk.valid = true;
    return disk;
}

Found highestIn(const QString& dir, const QString& prefix, const QString& suffix, qsizetype width)
{
    Found best;
    // The listing holds plain files only, without the temporaries of a run under way.
    const folder::Listing listing(dir);
    for (qsizetype i = 0; i < listing.size(); ++i) {
        const QString name = listing.name(i);
        if (name.size() < prefix.size() + std::max<qsizetype>(width, 1) + suffix.size() ||
            !name.startsWith(prefix) || !name.endsWith(suffix))
            continue;
        const QStringView digits =
            QStringView(name).sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
        if (!std::all_of(digits.begin(), digits.end(), isAsciiDigit))
            continue;
        // Counting up widens a number only past its nines, never with a leading zero: 0500
        // beside 012 is another series, or a copy, not where this one got to.
        if (digits.size() > std::max<qsizetype>(width, 1) && digits.front() == u'0')
            continue;
        if (best.isEmpty() || isHigher(digits, best.number))
            best = {digits.toString(), listing.path(i)};
    }
    return best;
}

// By name, not by the folder's time: the name is the moment its run started and never
// changes, while the time of a folder moves whenever anything in it is added, removed or
// renamed (a file deleted from an old run's folder would make it the newest), and copies
// and backups reset it.
QString newestDatedFolder(const QString& base)
{
    QString newest;
    qint64 newestMoment = 0;
    // A run never writes through a link, so a link under a dated name holds none of its files.
    const QStringList names =
        QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString& name : names) {
        const std::optional<qint64> moment = momentOf(name);
        if (moment && (newest.isEmpty() || *moment > newestMoment ||
                       (*moment == newestMoment && name > newest))) {
            newest = name;
            newestMoment = *moment;
        }
    }
    return newest.isEmpty() ? QString() : QDir(base).filePath(newest);
}

Found highestInOutput(const QString& output, bool datedFolders, const QString& prefix,
                      const QString& suffix, qsizetype width)
{
    Found best = highestIn(output, prefix, suffix, width);
    const QString dated = datedFolders ? newestDatedFolder(output) : QString();
    if (!dated.isEmpty()) {
        const Found there = highestIn(dated, prefix, suffix, width);
        if (!there.isEmpty() && (best.isEmpty() || isHigher(there.number, best.number)))
            best = there;
    }
    return best;
}

} // namespace series
