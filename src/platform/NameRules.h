#pragma once

#include "platform/FileName.h"

#include <QByteArray>

#include <optional>

// How a folder's medium compares names and which names it can hold. The rules themselves are
// NameRules.cpp; what has to ask the medium is in Medium_posix.cpp and Medium_portable.cpp,
// which know what each medium is.
namespace tonvola::fs {

class Folder;

// Letter case: NameRules.cpp, but for isSameFolder() (Medium_posix.cpp, Medium_portable.cpp).

enum class CaseProbe { ListedNamesOnly, MayWriteProbeFile };

// How a folder compares names in letter case.
enum class LetterCase {
    Exact,        // "Lied" and "LIED" are two names (most Linux file systems)
    IgnoredAscii, // one name, but "Öl" and "öl" are two (FAT through the kernel's driver with utf8)
    Ignored,      // one name, in every alphabet (exFAT, NTFS, network shares)
};

// Whether the folder treats names that differ only in letter case as one name (FAT and exFAT
// sticks, network shares, case-folding folders). Asked of the folder itself: a listed name is
// looked up in other letters; where none serves, a short-lived probe file is made and removed
// again, if allowed.
[[nodiscard]] LetterCase letterCase(const Folder &folder, const FileNames &listed, CaseProbe probe);
[[nodiscard]] bool namesIgnoreCase(const Folder &folder, const FileNames &listed, CaseProbe probe);

// What a name is on a medium with these rules: names that are one there have the same key.
[[nodiscard]] QByteArray caseKey(const FileName &name, LetterCase rule);
// True when both names are one on a medium with these rules.
[[nodiscard]] bool isSameName(const FileName &a, const FileName &b, LetterCase rule);

// True when both are one folder, however they are reached: the same device and inode, or else a
// probe file made in `b` (in `a` where `b` takes none) is found in the other. Numbers that differ
// prove nothing: exFAT through FUSE numbers each spelling anew, and bindfs, other FUSE media and
// network shares reach a folder under numbers of their own. The probe costs one small file.
[[nodiscard]] bool isSameFolder(const Folder &a, const Folder &b);

// Names the medium holds: fatEntriesFor() and fatRefuses() in NameRules.cpp, the rest in
// Medium_posix.cpp and Medium_portable.cpp.

// How many entries of its folder a name takes where a folder holds a fixed number of them (the
// root folder of a FAT12 or FAT16 card): one for an upper-case 8.3 name, and for any other one
// more for each 13 characters of its long name, as the kernel's driver writes them on a desktop.
[[nodiscard]] qint64 fatEntriesFor(const FileName &name);

// The entries the folder's names take by fatEntriesFor(), hidden ones and the program's own
// included; nothing when the folder cannot be read.
[[nodiscard]] std::optional<qint64> fatEntriesUsed(const Folder &folder);

// The longest name in bytes the folder takes.
[[nodiscard]] qsizetype longestName(const Folder &folder);

// True when the name holds a character FAT, exFAT, NTFS and SMB media cannot hold in a name
// (" * / : < > ? \ | and control characters).
[[nodiscard]] bool fatRefuses(const FileName &name);

// True when the folder's medium is known to keep to FAT's names (FAT, exFAT, NTFS, SMB); media
// behind FUSE do not say what they are, and show it only when they refuse a name.
[[nodiscard]] bool keepsFatNames(const Folder &folder);

} // namespace tonvola::fs
