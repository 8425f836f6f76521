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

// The free space of a folder's medium as a run of many copies asks for it. Where a look costs
// little it is taken afresh at every call. Some media count their free clusters one by one at
// every look (exFAT through FUSE: about a millisecond on a 32 GB stick, more than a small copy
// takes); there the run's own copies and deletions are counted in clusters, and the medium is
// looked at again only every few tenths of a second and after it turned out full.
class FreeSpace
{
public:
    explicit FreeSpace(const Folder &folder);

    [[nodiscard]] std::optional<qint64> available();
    void wrote(qint64 bytes) { count(-bytes); }
    void freed(qint64 bytes) { count(bytes); }
    // The medium said it is full: the count is off, look again.
    void lookAgain() { m_known.reset(); }

private:
    void count(qint64 bytes);

    const Folder &m_folder;
    bool m_counting = false;
    qint64 m_cluster = 1;
    std::optional<qint64> m_known;
    qint64 m_lookedAtMs = 0;
};

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
