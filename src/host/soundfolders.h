#pragma once

#include <QString>
#include <QStringList>

namespace sounds {

// The folders searched for notice sounds, the user's first: $XDG_DATA_HOME/sounds
// (~/.local/share/sounds), then `sounds` under each $XDG_DATA_DIRS entry in order
// (/usr/local/share:/usr/share when unset).
QStringList soundFolders();

// The names (file names without their last extension) of the sounds of those folders, in
// folder order: in each folder the files directly inside it, then those of each theme's
// `stereo/` folder. Duplicates stay.
QStringList soundNames();

// The file of a sound name by the same search, the first that has that name; or "".
QString soundFile(const QString& name);

} // namespace sounds

namespace sounds {

// What a pop-up holds after it was given these titles in turn: one item per title, at the
// position of its last occurrence.
QStringList oneItemPerTitle(const QStringList& titles);

} // namespace sounds
