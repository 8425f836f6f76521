#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/Folder.h"

#include <QByteArray>

#include <functional>
#include <optional>

class QFile;

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

// What a file opened for reading is: as the system tells it of the open file, where it can.
[[nodiscard]] std::optional<Entry> openedEntry(const Folder &folder, const FileName &name, const QFile &file);

// True when two open files are one file, however they were reached.
[[nodiscard]] bool isSameFile(const QFile &a, const Entry &aEntry, const QFile &b, const Entry &bEntry);

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
