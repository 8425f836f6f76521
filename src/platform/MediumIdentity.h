#pragma once

#include <QByteArray>
#include <QString>

namespace tonvola::fs {

// The folder as its medium names it, the same under every mount path: the file system's UUID
// or volume serial where the system tells it, or its label, followed by the folder's path within
// the medium. Where the medium tells nothing of itself (tmpfs, a network share), the folder's
// canonical path stands for it. Empty when the folder cannot be reached.
[[nodiscard]] QByteArray mediumIdentity(const QString &folder);

} // namespace tonvola::fs
