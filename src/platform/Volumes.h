#pragma once

#include <QList>
#include <QString>

namespace tonvola {

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

} // namespace volumes
} // namespace tonvola
