#include "readers/browserreader.h"
#include "readers/firefox.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>
#include <unistd.h>

namespace bridge {

namespace {

constexpr qint64 kMaxIniSize = 1024 * 1024;

std::optional<QByteArray> readBounded(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte more than allowed tells a file at the limit from a larger one, also for a
    // file that grows while it is read.
    QByteArray content = file.read(limit + 1);
    if (content.size() > limit)
        return std::nullopt;
    return content;
}

// Firefox keeps its profiles in ~/.mozilla/firefox where that folder exists (every profile
// made before version 147), else under the XDG configuration folder.
QStringList profilesIniFiles()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return {QDir::homePath() + QStringLiteral("/.mozilla/firefox/profiles.ini"),
            config + QStringLiteral("/mozilla/firefox/profiles.ini")};
}

QStringList defaultProfiles()
{
    QStringList profiles;
    for (const QString& ini : profilesIniFiles()) {
        if (const std::optional<QByteArray> text = readBounded(ini, kMaxIniSize))
            profiles += firefox::profileCandidates(*text, QFileInfo(ini).absolutePath());
    }
    profiles.removeDuplicates();
    return profiles;
}

struct Lock
{
    qint64 pid = 0;
    qint64 sinceMs = 0;
};

// When the profile is held by a running Firefox, its process and the time it took the lock.
// A running Firefox on Linux keeps a symlink "lock" whose target names its process; one that
// crashed leaves it behind, naming a process that is gone.
std::optional<Lock> heldLock(const QString& profile)
{
    const QByteArray lock = QFile::encodeName(profile + QStringLiteral("/lock"));
    struct stat info;
    if (::lstat(lock.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return std::nullopt;
    char target[256];
    const ssize_t length = ::readlink(lock.constData(), target, sizeof target);
    if (length <= 0 || length == ssize_t(sizeof target))
        return std::nullopt;
    const std::optional<qint64> pid = firefox::lockOwner(QByteArrayView(target, length));
    if (!pid || !isProcessAlive(*pid))
        return std::nullopt;
    return Lock{*pid, qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000};
}

// Firefox writes recovery.jsonlz4 while it runs (every 15 seconds by default) and keeps
// the one before as recovery.baklz4. A file older than the lock was left by an earlier run
// and says nothing of the windows now open. A focus change does not make Firefox write it,
// so the window manager, where there is one, tells which of its windows is in front.
QStringList sessionAddresses(const QString& profile, const Lock& lock)
{
    for (const char* name : {"recovery.jsonlz4", "recovery.baklz4"}) {
        const QString path =
            profile + QStringLiteral("/sessionstore-backups/") + QLatin1String(name);
        const QFileInfo info(path);
        if (!info.isFile() || info.lastModified().toMSecsSinceEpoch() < lock.sinceMs)
            continue;
        const std::optional<QByteArray> file = readBounded(path, firefox::kMaxSessionSize);
        if (!file)
            continue;
        const std::optional<QByteArray> json = firefox::inflateMozLz4(*file);
        const std::optional<firefox::Session> session =
            json ? firefox::parseSession(*json) : std::nullopt;
        if (!session)
            continue;
        const qsizetype front =
            firefox::frontSessionWindow(stackedWindows(), lock.pid, session->windows);
        return firefox::frontFirst(*session, front >= 0 ? front : session->selected);
    }
    return {};
}

class FirefoxReader : public BrowserReader
{
public:
    explicit FirefoxReader(const Options& options) : m_profile(options.firefoxProfile) {}

    Windows read() override
    {
        // Of several profiles (Firefox and Firefox ESR side by side, say) the one that runs
        // answers; the default one first should more than one run.
        const QStringList profiles =
            m_profile.isEmpty() ? defaultProfiles() : QStringList{m_profile};
        for (const QString& profile : profiles) {
            if (const std::optional<Lock> lock = heldLock(profile))
                return {true, sessionAddresses(profile, *lock)};
        }
        return {};
    }

private:
    QString m_profile;
};

} // namespace

std::unique_ptr<BrowserReader> makeFirefoxReader(const Options& options)
{
    return std::make_unique<FirefoxReader>(options);
}

} // namespace bridge
