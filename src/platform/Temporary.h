#pragma once

#include <QByteArray>
#include <QByteArrayView>

#ifdef Q_OS_UNIX
#include "platform/UniqueFd.h"
#endif

// The program's own hidden files in the folders it writes to: copies not yet named, and probes
// that ask a medium about its rules.
namespace tonvola::fs {

enum class Temporary { Copy, Probe };

// A fresh hidden name: ".tonvola-<hex>.part" for a copy, ".tonvola-probe-<hex>" for a probe.
[[nodiscard]] QByteArray temporaryName(Temporary kind = Temporary::Copy);

// Exactly the names temporaryName() makes, so that no file of the user's is ever taken for one.
[[nodiscard]] bool isLeftoverName(QByteArrayView name);

#ifdef Q_OS_UNIX
// Creates a new file under a fresh temporary name in the folder and keeps it locked while the
// descriptor is open, so that a cleanup can tell it from what a killed run left and never takes
// it from its writer. On failure the descriptor is invalid and errno says why.
[[nodiscard]] UniqueFd createLocked(int folder, Temporary kind, QByteArray &name);
#endif

} // namespace tonvola::fs
