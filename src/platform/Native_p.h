#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/Folder.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QFileDevice;
class QFileInfo;
struct stat;

// Inside the platform layer only: what each system's files (Name_posix.cpp, Name_portable.cpp)
// provide for the files every system shares (Name.cpp) and for one another. Each part says which
// files define it.
namespace tonvola::fs {

class UniqueFd;
enum class Temporary; // Temporary.h

namespace native {

// Failures both systems tell in the same words: Folder.cpp, and Copy.cpp for the copies' own.
[[nodiscard]] FileResult notAFile();
[[nodiscard]] FileResult writeProtected();
[[nodiscard]] FileResult changedMeanwhile();
[[nodiscard]] FileResult sourceChanged();
[[nodiscard]] FileResult sourceInUse();
[[nodiscard]] FileResult tooLarge();

// Comparing files' bytes, each system reading them its own way (compareFiles(), isCutShortOf()):
// Folder.cpp.

// Reads up to `size` bytes, fewer only at the file's end; -1 when reading failed.
using ReadUpTo = std::function<qint64(char *data, qint64 size)>;

// Moves on to the offset in the file; false when it cannot.
using SkipTo = std::function<bool(qint64 offset)>;

// Compares the next `size` bytes of two files that both say they hold that many; a file that
// ends early differs. `read`, when given, grows by the bytes read of each file.
[[nodiscard]] Likeness compareBytes(qint64 size, const ReadUpTo &a, const ReadUpTo &b, qint64 *read = nullptr);

// Compares two files of `size` bytes as the span says: whole, or only their first and last
// tagSpan bytes.
[[nodiscard]] Likeness compareSpan(qint64 size, Span span, const ReadUpTo &a, const ReadUpTo &b, const SkipTo &skipA,
                                   const SkipTo &skipB, qint64 *read);

// Reads the part to its end (`size` bytes) beside the whole: how many of its first bytes are the
// whole's, when all that follows them is zeros; -1 when a byte after them is not, or reading failed.
[[nodiscard]] qint64 matchedPrefix(qint64 size, const ReadUpTo &whole, const ReadUpTo &part);

// The folder's answer for a name in other letters: true when it finds the same entry under it,
// false when it finds none, nothing when it cannot tell. NameRules_posix.cpp, NameRules_portable.cpp.
[[nodiscard]] std::optional<bool> findsOtherSpelling(const Folder &folder, const QByteArray &name,
                                                     const QByteArray &otherName);

// The number in a name temporaryName() made; empty for any other name. Temporary.cpp.
[[nodiscard]] QByteArrayView leftoverNumber(QByteArrayView name);

// Makes a short-lived probe file of the program's (Temporary.h) in the folder and gives its name
// to `ask`, which may rename it (renameWithin) and then leaves the new name behind; the file is
// removed afterwards under whatever name it has then. False when no probe file could be made.
// Temporary_posix.cpp, Temporary_portable.cpp.
bool withProbeFile(const Folder &folder, const std::function<void(QByteArray &name)> &ask);
[[nodiscard]] bool renameWithin(const Folder &folder, const QByteArray &from, const QByteArray &to);

} // namespace native

// What only the POSIX files share, all of it by descriptors, so that everything done in a
// folder stays in the folder that was opened: Native_p_posix.cpp, and Temporary_posix.cpp for
// createLocked().

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
// The same through the open folder fd, which it takes over and closes.
[[nodiscard]] int readEntries(int fd, const std::function<void(const DirEntry &)> &visit);

// Moves a file's data from one descriptor to the other, `total` bytes as the source's size
// said when it was opened (CopyOptions' cancel and progress); returns 0 or an errno value,
// ECANCELED when the cancel flag was raised.
[[nodiscard]] int copyData(int from, int to, qint64 total, const std::atomic_bool *cancel,
                           const std::function<void(qint64 copied, qint64 total)> &progress);

// Creates a new file under a fresh temporary name in the folder and keeps it locked while the
// descriptor is open, so that a cleanup can tell it from what a killed run left and never takes
// it from its writer. On failure the descriptor is invalid and errno says why.
[[nodiscard]] UniqueFd createLocked(int folder, Temporary kind, QByteArray &name);

// What only the portable files share: Folder_portable.cpp, and Temporary_portable.cpp for the
// temporary files. Qt reaches files only by their paths and tells no file numbers, so a folder
// is known by its path and by where that led when it was opened, and a file by what a look at
// its path tells.

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
