#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QString>

#include <optional>

// What a folder's medium allows: its free space, whether it tells letter case apart, which
// names it can hold, how exactly it keeps times, and writing out what it still caches.
namespace tonvola::fs {

class Folder;

// Bytes available to the user on the volume holding the folder, read afresh at every call.
[[nodiscard]] std::optional<qint64> availableBytes(const QString &folder);
[[nodiscard]] std::optional<qint64> availableBytes(const Folder &folder);

enum class CaseProbe { ListedNamesOnly, MayWriteProbeFile };

// True when the folder treats names that differ only in letter case as one name (FAT and
// exFAT sticks, network shares, case-folding folders). Asked of the folder itself: a listed
// name is looked up in other letters; where none serves, a short-lived probe file is made
// and removed again, if allowed.
[[nodiscard]] bool namesIgnoreCase(const Folder &folder, const FileNames &listed, CaseProbe probe);

// True when the name holds a character FAT, exFAT, NTFS and SMB media cannot hold in a name
// (" * / : < > ? \ | and control characters).
[[nodiscard]] bool fatRefuses(const FileName &name);

// True when the folder's medium is known to keep to FAT's names (FAT, exFAT, NTFS, SMB); media
// behind FUSE do not say what they are, and show it only when they refuse a name.
[[nodiscard]] bool keepsFatNames(const Folder &folder);

// How exactly the medium keeps modification times, in nanoseconds (two seconds on FAT), as
// the folder's own time shows it.
[[nodiscard]] qint64 timeResolutionNs(const Folder &folder);

// Writes everything still cached for the folder's volume onto the medium, so that it may
// be pulled out once this returns.
[[nodiscard]] FileResult flush(const Folder &folder);

} // namespace tonvola::fs
