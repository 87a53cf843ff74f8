#include "readers/browserprofiles.h"

#include "readers/browserreader.h"
#include "readers/chromium.h"
#include "readers/firefox.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>

namespace profiles {

namespace {

enum class Base { Home, Config };

struct Install
{
    Family family;
    const char* browser;
    Base base;
    // Firefox: the folder of profiles.ini; the Chromium family: the user-data folder.
    const char* folder;
};

// Tried with real files: Debian's firefox-esr 153 (its new profiles under the configuration
// folder, older ones under ~/.mozilla/firefox) and chromium 156 (~/.config/chromium).
// By documentation only: Chrome's channels (Chromium's user_data_dir.md), the snaps and
// Flatpaks (their packages' own folders under ~/snap/<name>/common and ~/.var/app/<id>, where a
// Flatpak's configuration folder is config/), LibreWolf (~/.librewolf, also in its Flatpak),
// and Brave, Edge and Vivaldi as their vendors' packages name their folders.
// A snap or a Flatpak runs with a configuration folder of its own, so the user's
// XDG_CONFIG_HOME never applies there.
constexpr Install kInstalls[] = {
    {Family::Firefox, "firefox", Base::Home, ".mozilla/firefox"},
    {Family::Firefox, "firefox", Base::Config, "mozilla/firefox"},
    {Family::Firefox, "firefox", Base::Home, "snap/firefox/common/.mozilla/firefox"},
    {Family::Firefox, "firefox", Base::Home, "snap/firefox/common/.config/mozilla/firefox"},
    {Family::Firefox, "firefox", Base::Home, ".var/app/org.mozilla.firefox/.mozilla/firefox"},
    {Family::Firefox, "firefox", Base::Home, ".var/app/org.mozilla.firefox/config/mozilla/firefox"},
    {Family::Firefox, "librewolf", Base::Home, ".librewolf"},
    {Family::Firefox, "librewolf", Base::Home, ".var/app/io.gitlab.librewolf-community/.librewolf"},

    {Family::Chromium, "chromium", Base::Config, "chromium"},
    {Family::Chromium, "chromium", Base::Home, "snap/chromium/common/chromium"},
    {Family::Chromium, "chromium", Base::Home, ".var/app/org.chromium.Chromium/config/chromium"},
    {Family::Chromium, "google-chrome", Base::Config, "google-chrome"},
    {Family::Chromium, "google-chrome", Base::Config, "google-chrome-beta"},
    {Family::Chromium, "google-chrome", Base::Config, "google-chrome-unstable"},
    {Family::Chromium, "google-chrome", Base::Home,
     ".var/app/com.google.Chrome/config/google-chrome"},
    {Family::Chromium, "brave", Base::Config, "BraveSoftware/Brave-Browser"},
    {Family::Chromium, "brave", Base::Home,
     ".var/app/com.brave.Browser/config/BraveSoftware/Brave-Browser"},
    {Family::Chromium, "microsoft-edge", Base::Config, "microsoft-edge"},
    {Family::Chromium, "microsoft-edge", Base::Home,
     ".var/app/com.microsoft.Edge/config/microsoft-edge"},
    {Family::Chromium, "vivaldi", Base::Config, "vivaldi"},
    {Family::Chromium, "vivaldi", Base::Home, ".var/app/com.vivaldi.Vivaldi/config/vivaldi"},
};

// profiles.ini lists a few profiles; Local State grows with the profiles' settings.
constexpr qint64 kMaxIniSize = 1024 * 1024;
constexpr qint64 kMaxLocalStateSize = 16 * 1024 * 1024;

// The user's own XDG_CONFIG_HOME belongs to the user's own home only.
QString configFolder(const QString& home)
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(config) && QDir(home) == QDir(QDir::homePath()))
        return config;
    return home + QStringLiteral("/.config");
}

// A Flatpak runs its browser in a process namespace of its own, so its lock names a process
// number of the sandbox: after a crash that number may belong to another process out here.
bool firefoxInUse(const QString& profile)
{
    return bridge::firefox::heldLock(profile).has_value();
}

// The profile Chromium opens without --profile-directory: the last used one that Local State
// names, when it is a folder of its own there, else Default.
QString chromiumProfile(const QString& userData)
{
    const QJsonDocument state = QJsonDocument::fromJson(
        bridge::readBounded(userData + QStringLiteral("/Local State"), kMaxLocalStateSize)
            .value_or(QByteArray()));
    const QString lastUsed = state.object()
                                 .value(QStringLiteral("profile"))
                                 .toObject()
                                 .value(QStringLiteral("last_used"))
                                 .toString();
    if (!lastUsed.isEmpty() && !lastUsed.contains(QLatin1Char('/')) &&
        lastUsed != QLatin1String(".") && lastUsed != QLatin1String("..") &&
        QFileInfo(userData + QLatin1Char('/') + lastUsed).isDir())
        return userData + QLatin1Char('/') + lastUsed;
    const QString fallback = userData + QStringLiteral("/Default");
    return QFileInfo(fallback).isDir() ? fallback : QString();
}

} // namespace

QList<Profile> installedProfiles(Family family, const QString& home)
{
    const QString config = configFolder(home);
    QList<Profile> found;
    for (const Install& install : kInstalls) {
        if (install.family != family)
            continue;
        const QString folder = (install.base == Base::Home ? home : config) + QLatin1Char('/') +
                               QLatin1String(install.folder);
        const QString browser = QLatin1String(install.browser);
        if (family == Family::Firefox) {
            const QByteArray ini =
                bridge::readBounded(folder + QStringLiteral("/profiles.ini"), kMaxIniSize)
                    .value_or(QByteArray());
            for (const QString& path : bridge::firefox::profileCandidates(ini, folder)) {
                const bool listed =
                    std::any_of(found.cbegin(), found.cend(),
                                [&path](const Profile& p) { return p.path == path; });
                if (!listed && QFileInfo(path).isDir())
                    found.append({browser, path, firefoxInUse(path), family});
            }
        } else if (const QString path = chromiumProfile(folder); !path.isEmpty()) {
            found.append({browser, path, bridge::chromiumUserDataInUse(folder), family});
        }
    }
    return found;
}

std::optional<Profile> chosenProfile(Family family, const QString& home)
{
    const QList<Profile> found = installedProfiles(family, home);
    for (const Profile& profile : found) {
        if (profile.inUse)
            return profile;
    }
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

} // namespace profiles
