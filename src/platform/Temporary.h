#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The program's own hidden files in the folders it writes to: copies not yet named, and probes
// that ask a medium about its rules.
namespace tonvola::fs {

class Folder;

enum class Temporary { Copy, Probe };

// The hidden name with that number: ".tonvola-<number>.part" for a copy, ".tonvola-probe-<number>"
// for a probe, the number in 16 hexadecimal digits.
[[nodiscard]] QByteArray temporaryName(Temporary kind, quint64 number);

// Exactly the names temporaryName() makes, so that no file of the user's is ever taken for one.
[[nodiscard]] bool isLeftoverName(QByteArrayView name);

// Removes what copies and probes of the program that were killed midway (a crash, a power cut,
// a pulled cable) left in the folder under their temporary names. A temporary file is locked
// for as long as its writer lives, so one that another run is still writing stays. True when it
// removed any.
bool removeLeftovers(const Folder &folder);

} // namespace tonvola::fs
