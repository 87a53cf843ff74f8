#pragma once

#include <QDir>
#include <QList>
#include <QString>
#include <optional>

// Where each browser keeps its profiles, for each way it is installed (a distribution's
// package, a tarball, a snap, a Flatpak). The one place that knows these folders: the bridge's
// readers and the main program's cookie reading both choose through it, so they read the same
// profile. Needs neither a display nor a bus: a browser counts as running where a live process
// holds its profile's lock.
namespace profiles {

enum class Family { Firefox, Chromium };

struct Profile
{
    // "firefox", "librewolf", "chromium", "google-chrome", "brave", "microsoft-edge", "vivaldi"
    QString browser;
    // The profile folder as found (a symbolic link is followed, not resolved): for Firefox the
    // folder that holds cookies.sqlite, for the Chromium family e.g. .../chromium/Default.
    QString path;
    bool inUse = false; // its lock names a process that is alive
    Family family = Family::Firefox;
};

// Every existing profile of the family under home, in the order the installs are listed in
// browserprofiles.cpp, and within one install Firefox's default profile first (several
// profiles of profiles.ini), or the Chromium family's last used profile (one per user-data
// folder, "Default" when Local State names none).
QList<Profile> installedProfiles(Family family, const QString& home = QDir::homePath());

// The profile the bridge reads: the first one in use, else the first one found; none when the
// family has no profile under home.
std::optional<Profile> chosenProfile(Family family, const QString& home = QDir::homePath());

} // namespace profiles
