#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/Folder.h"
#include "platform/Temporary.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class QFileDevice;
class QFileInfo;

// Inside the platform layer only: what its portable files share. Qt reaches files only by their
// paths and tells no file numbers, so a folder is known by its path and by where that led when
// it was opened, and a file by what a look at its path tells.
namespace tonvola::fs {

[[nodiscard]] Entry entryFrom(const QFileInfo &info);

// Why writing a file of `needed` bytes into the folder failed. Qt does not tell the cause, only
// its own words; what can be told comes from the folder and its medium as they are now.
[[nodiscard]] FileResult writeFailure(const Folder &folder, qint64 needed, const QFileDevice *file = nullptr);

// A temporary file of the program's (Temporary.h) on the portable path. Qt has no locks on open
// files; instead each writer holds a lock file in the folder, ".tonvola-<token>.lock" (QLockFile),
// whose token is the first half of the number in the names of all its temporary files there. It
// takes the lock before it makes the first of them and keeps it until the last is gone, so a
// cleanup takes only what a writer left that is no longer running.
struct TemporaryFile {
    // Keeps the writer's lock for as long as the file needs it.
    std::shared_ptr<const void> writer;
    QByteArray name;
    QString path;
};

// A fresh temporary name in the folder, whose file the caller then makes; none when the folder
// takes no lock file (a full or read-only medium).
[[nodiscard]] std::optional<TemporaryFile> reserveTemporary(const Folder &folder, Temporary kind);

} // namespace tonvola::fs
