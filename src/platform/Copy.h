#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QString>

#include <atomic>
#include <functional>

namespace tonvola {

enum class Overwrite { No, Yes };

struct CopyOptions {
    Overwrite overwrite = Overwrite::No;
    // Checked between chunks, so that even a large file gives way within moments.
    const std::atomic_bool *cancel = nullptr;
    std::function<void(qint64 copied, qint64 total)> progress;
    // Forces the data onto the medium before the name appears. Costly per file on slow
    // sticks; a run of many copies flushes the volume once at its end instead.
    bool durable = false;
};

namespace fs {

class Folder;

// Copies a file of one folder into another under the same name. The data is written under no
// name or a temporary one and gets its name only when complete, so a failure, a cancel or a
// pulled medium never leaves a partial file. The source must be a file (NotAFile otherwise);
// an existing file of that name is replaced only with Overwrite::Yes (AlreadyExists
// otherwise); a name the medium cannot hold gives NameRefused. The copy keeps the
// modification time.
[[nodiscard]] FileResult copyFile(const Folder &from, const FileName &name, const Folder &to,
                                  const CopyOptions &options = {});

// The same for a file given by its path.
[[nodiscard]] FileResult copyInto(const QString &source, const QString &folder, const CopyOptions &options = {});

[[nodiscard]] FileResult remove(const QString &path);

// Removes the files a copy or a case probe killed midway (a crash, a power cut, a pulled cable)
// left in the folder under the program's own hidden temporary names. Only a caller who knows
// that no copy of its own is writing into the folder may ask: the fill, holding the player.
void removeLeftovers(const Folder &folder);

// True when both files exist and hold the same bytes.
[[nodiscard]] bool haveSameContent(const QString &a, const QString &b);

} // namespace fs
} // namespace tonvola
