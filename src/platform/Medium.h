#pragma once

#include "platform/FileResult.h"

#include <QList>
#include <QString>

#include <optional>

// What a folder's medium has room for, how large and how exactly it keeps its files, and writing
// out what it still caches. FreeSpace is Medium.cpp; everything else asks the system
// (Medium_posix.cpp, Medium_portable.cpp). How it compares and which names it holds: NameRules.h.
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

// The size of the blocks a file takes on the folder's medium: a file takes whole ones.
[[nodiscard]] qint64 allocationUnit(const Folder &folder);

// The largest file the folder's medium holds: 4 GiB less one byte on FAT.
[[nodiscard]] qint64 largestFile(const Folder &folder);

// How exactly the medium keeps modification times, in nanoseconds (two seconds on FAT), as
// the folder's own time shows it.
[[nodiscard]] qint64 timeResolutionNs(const Folder &folder);

// True when flushing the medium as a whole does not reach all of its data: what a file system in
// user space (exFAT and NTFS through FUSE) holds in its own process, or each file's data on
// systems that flush no single volume.
[[nodiscard]] bool flushesFileByFile(const Folder &folder);

// True when a new name reaches the medium without the file's size, which follows with the file
// itself (FAT through the kernel's driver): a renamed file then has to be flushed at once, or a
// power cut leaves it empty under its new name.
[[nodiscard]] bool namesLagBehind(const Folder &folder);

// True when a file written in the folder is handed to the medium whole once it is closed, and
// a flush of the volume then writes it out (file systems in user space on a block device).
[[nodiscard]] bool closingHandsOver(const Folder &folder);

// True when what is written into the folder goes on to a device; false for a medium that keeps
// its files in memory (tmpfs), where starting to write them out early does nothing.
[[nodiscard]] bool writesToDevice(const Folder &folder);

// Makes what was written into the given files of the folder, and their names, reach the medium.
[[nodiscard]] FileResult flushFiles(const Folder &folder, const QList<int> &files);

// Whether files were taken off the medium since its last flush. exfat-fuse writes out the room
// that new files take when they are closed, but keeps the room that deletions freed to itself
// until one of its files is flushed, which costs a flush of the whole device.
enum class Freed { Nothing, Room };

// Writes everything still cached for the folder's volume onto the medium, so that it may
// be pulled out once this returns.
// files: descriptors of files written in the folder, through which a file system in user space
// is made to write out.
[[nodiscard]] FileResult flush(const Folder &folder, const QList<int> &files = {}, Freed freed = Freed::Room);

} // namespace tonvola::fs
