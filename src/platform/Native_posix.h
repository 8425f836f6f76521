#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/Folder.h"
#include "platform/Temporary.h"
#include "platform/UniqueFd.h"

#include <QByteArray>

#include <functional>

#include <sys/stat.h>

// Inside the platform layer only: what its POSIX files share, all of it by descriptors, so that
// everything done in a folder stays in the folder that was opened.
namespace tonvola::fs {

// Opens a file of the folder for reading without waiting: anything that is not a file (a pipe,
// a device) is refused, never waited on.
[[nodiscard]] FileResult openFile(const Folder &folder, const FileName &name, UniqueFd &fd, struct stat &st);
[[nodiscard]] Entry entryFrom(const struct stat &st);

// Goes through the entries of a folder (not . and ..) in one pass, each with its type as the
// directory tells it: whether each entry is a folder is known without looking at every file.
// `isFolder` follows links and asks where the file system does not say. Returns 0, or the
// errno value of a folder that could not be read.
struct DirEntry {
    const char *name;
    std::size_t length;
    unsigned char type;
    int folder;

    [[nodiscard]] bool isRegular() const;
    [[nodiscard]] bool isFolder() const;
};
[[nodiscard]] int forEachEntry(int folder, const std::function<void(const DirEntry &)> &visit);

// Creates a new file under a fresh temporary name in the folder and keeps it locked while the
// descriptor is open, so that a cleanup can tell it from what a killed run left and never takes
// it from its writer. On failure the descriptor is invalid and errno says why.
[[nodiscard]] UniqueFd createLocked(int folder, Temporary kind, QByteArray &name);

} // namespace tonvola::fs
