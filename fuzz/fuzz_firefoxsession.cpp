// Reads arbitrary bytes as each file Firefox leaves in a profile: a session store (the
// mozLz4 container and the JSON inside), profiles.ini and the lock's target; and as the
// titles of a display's windows matched to a session's.

#include "readers/firefox.h"
#include "require.h"

#include <QDir>
#include <QSet>
#include <algorithm>
#include <climits>
#include <cstdint>
#include <lz4.h>

using namespace bridge::firefox;

namespace {

QByteArray mozLz4(QByteArrayView json)
{
    QByteArray block(LZ4_compressBound(int(json.size())), Qt::Uninitialized);
    block.resize(
        LZ4_compress_default(json.data(), block.data(), int(json.size()), int(block.size())));
    const quint32 n = quint32(json.size());
    const char size[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    return QByteArrayView("mozLz40\0", 8).toByteArray() + QByteArray(size, 4) + block;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const std::optional<QByteArray> content = inflateMozLz4(input)) {
        require(!content->isEmpty() && content->size() <= kMaxSessionSize &&
                    content->size() <= (input.size() - 12) * 255,
                "an inflated store is within the cap and what its block can hold");
        require(parseFirefoxSessionStore(input) == parseSessionJson(*content),
                "the store reads as the JSON it holds");
    }

    if (const std::optional<QStringList> addresses = parseSessionJson(input)) {
        // Each window, even one without an address, is an object of its own: "{}" at least.
        require(addresses->size() * 2 <= input.size(), "no more windows than the text can hold");
        if (!input.isEmpty())
            require(parseFirefoxSessionStore(mozLz4(input)) == addresses,
                    "the JSON reads the same packed as Firefox packs it");
    }

    const QStringList profiles = profileCandidates(input, QStringLiteral("/ini"));
    require(profiles.size() == QSet<QString>(profiles.begin(), profiles.end()).size(),
            "no profile is named twice");
    for (const QString& profile : profiles)
        require(QDir::isAbsolutePath(profile) && profile == QDir::cleanPath(profile),
                "a profile is a clean absolute path");

    if (const std::optional<qint64> pid = lockOwner(input))
        require(*pid > 0 && *pid <= INT_MAX, "a lock names a possible process id");

    // Lines starting with '#' are the session's tab titles, the others windows on the display,
    // bottom first, of Firefox (process 100) when the line starts with an odd byte.
    QList<bridge::TopLevel> stacking;
    QList<SessionWindow> windows;
    for (const QString& line : QString::fromUtf8(input).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('#')))
            windows.append({QString(), line.sliced(1)});
        else if (!line.isEmpty())
            stacking.append({line[0].unicode() % 2 ? 100 : 7, line.sliced(1)});
    }
    const qsizetype front = frontSessionWindow(stacking, 100, windows);
    require(front >= -1 && front < windows.size(), "the front window is one of the session's");
    if (front >= 0) {
        const auto top = std::find_if(stacking.rbegin(), stacking.rend(),
                                      [](const bridge::TopLevel& w) { return w.pid == 100; });
        const QString& title = windows[front].title;
        require(top != stacking.rend() && !title.isEmpty() && top->title.startsWith(title),
                "the front window's title shows its tab's");
        require(std::count_if(windows.begin(), windows.end(),
                              [&title](const SessionWindow& w) { return w.title == title; }) == 1,
                "no other window of the session has the same title");
    }
    return 0;
}
