#include "readers/browserprofiles.h"
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

// A focus change does not make Firefox write its session store, so the window manager, where
// there is one, tells which of its windows is in front.
QStringList sessionAddresses(const QString& profile, const firefox::Lock& lock)
{
    QStringList addresses;
    firefox::takeLiveSessionStore(profile, lock, [&](const QByteArray& json) {
        const std::optional<firefox::Session> session = firefox::parseSession(json);
        if (!session)
            return false;
        const qsizetype front =
            firefox::frontSessionWindow(stackedWindows(), lock.pid, session->windows);
        addresses = firefox::frontFirst(*session, front >= 0 ? front : session->selected);
        return true;
    });
    return addresses;
}

class FirefoxReader : public BrowserReader
{
public:
    explicit FirefoxReader(const Options& options) : m_profile(options.firefoxProfile) {}

    Windows read() override
    {
        // Of several profiles (Firefox and Firefox ESR side by side, a snap beside a package,
        // LibreWolf) the one that runs answers; the first listed should more than one run.
        QStringList folders{m_profile};
        if (m_profile.isEmpty()) {
            folders.clear();
            for (const profiles::Profile& profile :
                 profiles::installedProfiles(profiles::Family::Firefox))
                folders.append(profile.path);
        }
        for (const QString& profile : folders) {
            if (const std::optional<firefox::Lock> lock = firefox::heldLock(profile))
                return {true, sessionAddresses(profile, *lock)};
        }
        return {};
    }

private:
    QString m_profile;
};

} // namespace

// Firefox writes recovery.jsonlz4 while it runs (every 15 seconds by default) and keeps the one
// before as recovery.baklz4.
bool firefox::takeLiveSessionStore(const QString& profile, const Lock& lock,
                                   const std::function<bool(const QByteArray& json)>& take)
{
    for (const char* name : {"recovery.jsonlz4", "recovery.baklz4"}) {
        const QString path =
            profile + QStringLiteral("/sessionstore-backups/") + QLatin1String(name);
        const QFileInfo info(path);
        if (!info.isFile() || info.lastModified().toMSecsSinceEpoch() < lock.sinceMs)
            continue;
        const std::optional<QByteArray> file = readBounded(path, firefox::kMaxSessionSize);
        const std::optional<QByteArray> json = file ? firefox::inflateMozLz4(*file) : std::nullopt;
        if (json && take(*json))
            return true;
    }
    return false;
}

std::optional<firefox::Lock> firefox::heldLock(const QString& profile)
{
    const QByteArray lock = QFile::encodeName(profile + QStringLiteral("/lock"));
    struct stat info;
    if (::lstat(lock.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return std::nullopt;
    char target[256];
    const ssize_t length = ::readlink(lock.constData(), target, sizeof target);
    if (length <= 0 || length == ssize_t(sizeof target))
        return std::nullopt;
    const std::optional<qint64> pid = lockOwner(QByteArrayView(target, length));
    if (!pid || !isProcessAlive(*pid))
        return std::nullopt;
    return Lock{*pid, qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000};
}

std::unique_ptr<BrowserReader> makeFirefoxReader(const Options& options)
{
    return std::make_unique<FirefoxReader>(options);
}

} // namespace bridge
