#pragma once

#include "platform/FileResult.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tonvola {

// The two default folders, as config.dat holds them.
struct StoredFolders {
    QString source;
    QString player;
};

// config.dat: two quoted records ended by CR LF, source folder first, each with a
// separator appended; text in the system's 8-bit encoding, and a path's bytes that are no text
// read and written as they are (fs::pathFromNative).
namespace config {

// Resolved against the current working folder, as it always has been.
[[nodiscard]] QString defaultPath();

// The file's place in full, for the user to read.
[[nodiscard]] QString shownPath();

// Where both panes open when there is no config.dat: the user's music folder as the desktop
// names it (xdg-user-dir MUSIC), or the home folder where there is none.
[[nodiscard]] QString startFolder();

// The first two fields of the file, or nothing when it cannot be read or holds fewer.
[[nodiscard]] std::optional<StoredFolders> load(const QString &path = defaultPath());
[[nodiscard]] std::optional<StoredFolders> parse(const QByteArray &bytes);

// The file's content for two folders, each with the platform's separator appended.
[[nodiscard]] QByteArray serialize(const QString &source, const QString &player);

// Replaces the whole file atomically, so a failed save leaves the old file as it was.
[[nodiscard]] fs::FileResult save(const QString &source, const QString &player, const QString &path = defaultPath());

} // namespace config
} // namespace tonvola
