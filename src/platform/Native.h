#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/Folder.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Inside the platform layer only: what each system's files (Name_posix.cpp, Name_portable.cpp)
// provide for the parts that every system shares (Folder.cpp, Medium.cpp).
namespace tonvola::fs::native {

// Failures both systems tell in the same words.
[[nodiscard]] FileResult notAFile();
[[nodiscard]] FileResult writeProtected();
[[nodiscard]] FileResult changedMeanwhile();
[[nodiscard]] FileResult sourceChanged();
[[nodiscard]] FileResult sourceInUse();
[[nodiscard]] FileResult tooLarge();

// Reads up to `size` bytes, fewer only at the file's end; -1 when reading failed.
using ReadUpTo = std::function<qint64(char *data, qint64 size)>;

// Moves on to the offset in the file; false when it cannot.
using SkipTo = std::function<bool(qint64 offset)>;

// Compares the next `size` bytes of two files that both say they hold that many; a file that
// ends early differs. Each system opens the files its own way (compareFiles()). `read`, when
// given, grows by the bytes read of each file.
[[nodiscard]] Likeness compareBytes(qint64 size, const ReadUpTo &a, const ReadUpTo &b, qint64 *read = nullptr);

// Compares two files of `size` bytes as the span says: whole, or only their first and last
// tagSpan bytes.
[[nodiscard]] Likeness compareSpan(qint64 size, Span span, const ReadUpTo &a, const ReadUpTo &b, const SkipTo &skipA,
                                   const SkipTo &skipB, qint64 *read);

// Reads the part to its end (`size` bytes) beside the whole: how many of its first bytes are the
// whole's, when all that follows them is zeros; -1 when a byte after them is not, or reading failed.
[[nodiscard]] qint64 matchedPrefix(qint64 size, const ReadUpTo &whole, const ReadUpTo &part);

// The folder's answer for a name in other letters: true when it finds the same entry under it,
// false when it finds none, nothing when it cannot tell.
[[nodiscard]] std::optional<bool> findsOtherSpelling(const Folder &folder, const QByteArray &name,
                                                     const QByteArray &otherName);

// The number in a name temporaryName() made; empty for any other name.
[[nodiscard]] QByteArrayView leftoverNumber(QByteArrayView name);

// Makes a short-lived probe file of the program's (Temporary.h) in the folder and gives its name
// to `ask`, which may rename it (renameWithin) and then leaves the new name behind; the file is
// removed afterwards under whatever name it has then. False when no probe file could be made.
bool withProbeFile(const Folder &folder, const std::function<void(QByteArray &name)> &ask);
[[nodiscard]] bool renameWithin(const Folder &folder, const QByteArray &from, const QByteArray &to);

} // namespace tonvola::fs::native
