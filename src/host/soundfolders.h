#pragma once

#include <QStringList>

namespace sounds {

// The folders searched for notice sounds, the user's first:
// $XDG_DATA_HOME/sounds, then the freedesktop theme folder of each $XDG_DATA_DIRS entry.
QStringList soundFolders();

// The names (file names without their last extension) in those folders, in
// folder order and listing order; duplicates stay.
QStringList soundNames();

// The file of a sound name, or an empty string.
QString soundFile(const QString& name);

} // namespace sounds
