// Reads arbitrary bytes as each file Firefox leaves in a profile: a session store (the
// mozLz4 container and the JSON inside), profiles.ini and the lock's target.

#include "readers/firefox.h"
#include "require.h"

#include <QDir>
#include <QSet>
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
    return 0;
}
