#pragma once

#include "platform/FileResult.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tonvola::fs {

// A mounted volume a user would choose as a "drive": its root folder and label.
struct Volume {
    QString root;
    QString label;

    [[nodiscard]] QString displayName() const;
    friend bool operator==(const Volume &, const Volume &) = default;
};

namespace volumes {

// The volumes a user would choose from: the root file system, removable media and other
// real disks, without pseudo file systems. Sorted by root path.
[[nodiscard]] QList<Volume> userVolumes();

// Root folder of the volume that holds the path (the path need not exist; its nearest
// existing parent decides).
[[nodiscard]] QString rootOf(const QString &path);

// True when the path is the root folder of a volume that is mounted now.
[[nodiscard]] bool isVolumeRoot(const QString &path);

// Ok when the volume is still mounted and its root folder can be read; otherwise says why.
[[nodiscard]] FileResult checkReady(const QString &root);

// Records the folder as the one last shown on the volume that holds it.
void rememberFolder(const QString &folder);

// The "current folder" of a volume: the folder last shown on it in this session (its
// nearest parent on the volume when it has gone since), else the volume's root.
[[nodiscard]] QString currentFolder(const QString &root);

} // namespace volumes
} // namespace tonvola::fs
