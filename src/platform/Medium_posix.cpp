#include "platform/Medium.h"

#include "platform/Folder.h"
#include "platform/NameRules.h"
#include "platform/Native_p.h"
#include "platform/Path.h"
#include "platform/Temporary.h"
#include "platform/UniqueFd.h"

#include <limits>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#ifdef Q_OS_LINUX
#include <sys/vfs.h>
#endif

namespace tonvola::fs {

namespace {

// Linux tells which file system holds a folder (statfs), and writes out the cache of one
// volume (syncfs); other systems tell nothing and write out all of their cache at once.
#ifdef Q_OS_LINUX
constexpr bool syncsOneVolume = true;

unsigned long fileSystemMagic(const Folder &folder)
{
    if (!folder.isOpen())
        return 0;
    std::optional<unsigned long> &known = folder.abilities().fileSystem;
    if (!known) {
        struct statfs info {};
        if (::fstatfs(folder.handle(), &info) != 0)
            return 0;
        known = static_cast<unsigned long>(info.f_type);
    }
    return *known;
}

int syncVolume(const Folder &folder)
{
    return ::syncfs(folder.handle());
}
#else
constexpr bool syncsOneVolume = false;

unsigned long fileSystemMagic(const Folder & /*folder*/)
{
    return 0;
}

int syncVolume(const Folder & /*folder*/)
{
    ::sync();
    return 0;
}
#endif

// statfs' names for FAT (the kernel's driver) and for every file system in user space.
constexpr unsigned long fatMagic = 0x4d44UL;
constexpr unsigned long fuseMagic = 0x65735546UL;

} // namespace

std::optional<bool> native::findsOtherSpelling(const Folder &folder, const QByteArray &name,
                                               const QByteArray &otherName)
{
    struct stat original {};
    struct stat other {};
    if (::fstatat(folder.handle(), name.constData(), &original, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    if (::fstatat(folder.handle(), otherName.constData(), &other, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
    // Not the inode: exfat-fuse numbers each spelling on its own.
    return original.st_mode == other.st_mode && original.st_size == other.st_size
           && original.st_mtim.tv_sec == other.st_mtim.tv_sec && original.st_mtim.tv_nsec == other.st_mtim.tv_nsec;
}

std::optional<qint64> availableBytes(const QString &folder)
{
    // statvfs on the folder itself: QStorageInfo would walk the mount table at every call.
    struct statvfs info {};
    if (::statvfs(nativePath(folder).constData(), &info) != 0)
        return std::nullopt;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

std::optional<qint64> availableBytes(const Folder &folder)
{
    struct statvfs info {};
    if (!folder.isOpen() || ::fstatvfs(folder.handle(), &info) != 0)
        return std::nullopt;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

bool isSameFolder(const Folder &a, const Folder &b)
{
    if (!a.isOpen() || !b.isOpen())
        return a.isSameAs(b);
    struct stat sa {};
    struct stat sb {};
    if (::fstat(a.handle(), &sa) != 0 || ::fstat(b.handle(), &sb) != 0)
        return a.isSameAs(b);
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return true;
    // Other numbers prove nothing: a medium may number its entries by spelling, and bindfs,
    // FUSE and network shares reach a folder under numbers of their own.
    for (const auto &[here, there] : {std::pair{&b, &a}, std::pair{&a, &b}}) {
        bool same = false;
        if (native::withProbeFile(*here, [&, there = there](QByteArray &name) {
                struct stat found {};
                same = ::fstatat(there->handle(), name.constData(), &found, AT_SYMLINK_NOFOLLOW) == 0;
            }))
            return same;
    }
    return false;
}

qint64 allocationUnit(const Folder &folder)
{
    struct statvfs info {};
    if (folder.isOpen() && ::fstatvfs(folder.handle(), &info) == 0 && info.f_frsize > 0)
        return static_cast<qint64>(info.f_frsize);
    return 4096;
}

qsizetype longestName(const Folder &folder)
{
    if (folder.isOpen()) {
        const long longest = ::fpathconf(folder.handle(), _PC_NAME_MAX);
        if (longest > 0)
            return static_cast<qsizetype>(longest);
    }
    return 255;
}

std::optional<qint64> fatEntriesUsed(const Folder &folder)
{
    if (!folder.isOpen())
        return std::nullopt;
    qint64 used = 0;
    const int error = forEachEntry(folder.handle(), [&used](const DirEntry &entry) {
        used += fatEntriesFor(FileName::fromNative(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
    });
    if (error != 0)
        return std::nullopt;
    return used;
}

qint64 largestFile(const Folder &folder)
{
    if (fileSystemMagic(folder) == fatMagic)
        return (qint64(1) << 32) - 1;
    return std::numeric_limits<qint64>::max();
}

bool flushesFileByFile(const Folder &folder)
{
    // Without a flush of one volume, every file is flushed on its own.
    return !syncsOneVolume || fileSystemMagic(folder) == fuseMagic;
}

bool namesLagBehind(const Folder &folder)
{
    return fileSystemMagic(folder) == fatMagic;
}

bool closingHandsOver(const Folder &folder)
{
    return syncsOneVolume && fileSystemMagic(folder) == fuseMagic;
}

bool writesToDevice(const Folder &folder)
{
    constexpr unsigned long tmpfsMagic = 0x01021994UL;
    constexpr unsigned long ramfsMagic = 0x858458f6UL;
    const unsigned long magic = fileSystemMagic(folder);
    return magic != tmpfsMagic && magic != ramfsMagic;
}

FileResult flushFiles(const Folder &folder, const QList<int> &files)
{
    if (!folder.isOpen())
        return folder.opened();
    if (!flushesFileByFile(folder))
        return syncVolume(folder) == 0 ? FileResult::success() : FileResult::fromErrno(errno);
    if (closingHandsOver(folder)) {
        // A file system in user space on a block device (exFAT, NTFS) hands the data it is
        // given to the device at once, and the rest of a file (its size, its clusters) when the
        // file is closed; closing a duplicate asks for that without giving the file up. The
        // volume's flush then writes the device's cache out. A flush of each file instead costs
        // exfat-fuse a flush of the whole device every time, more than the copying itself.
        for (const int fd : files) {
            if (const int duplicate = fd >= 0 ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
                duplicate >= 0 && ::close(duplicate) != 0 && errno != EINTR)
                return FileResult::fromErrno(errno);
        }
        return syncVolume(folder) == 0 ? FileResult::success() : FileResult::fromErrno(errno);
    }
    for (const int fd : files) {
        // Some file systems in user space cannot flush data alone.
        if (::fdatasync(fd) != 0 && errno != EINVAL && (errno != ENOSYS || ::fsync(fd) != 0))
            return FileResult::fromErrno(errno);
    }
    return FileResult::success();
}

bool keepsFatNames(const Folder &folder)
{
    switch (fileSystemMagic(folder)) {
    case 0x4d44UL:     // FAT
    case 0x2011BAB0UL: // exFAT
    case 0x5346544eUL: // NTFS
    case 0x7366746eUL: // NTFS (ntfs3)
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
        return true;
    default:
        return false;
    }
}

qint64 timeResolutionNs(const Folder &folder)
{
    constexpr qint64 second = 1000000000;
    struct stat st {};
    if (!folder.isOpen() || ::fstat(folder.handle(), &st) != 0)
        return 2 * second;
    const qint64 ns = st.st_mtim.tv_nsec;
    if (ns == 0)
        return st.st_mtim.tv_sec % 2 == 0 ? 2 * second : second;
    if (ns % 10000000 == 0)
        return 10000000;
    return ns % 1000 == 0 ? 1000 : 1;
}

FileResult flush(const Folder &folder, const QList<int> &files, Freed freed)
{
    if (!folder.isOpen())
        return folder.opened();
    if (freed == Freed::Nothing && syncsOneVolume && flushesFileByFile(folder))
        return flushFiles(folder, files);
    if (syncVolume(folder) != 0)
        return FileResult::fromErrno(errno);
    // Elsewhere than on Linux, that was all the system caches.
    if (!syncsOneVolume || !flushesFileByFile(folder))
        return FileResult::success();
    // A file system in user space writes out what it holds when one of its files is flushed.
    bool flushed = false;
    for (const int fd : files) {
        if (fd < 0)
            continue;
        if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOSYS)
            return FileResult::fromErrno(errno);
        flushed = true;
    }
    // Without a file of its own to flush through, a short-lived one serves; should it be left
    // behind by a pulled stick, the next run removes it.
    if (!flushed) {
        QByteArray name;
        if (const UniqueFd probe = createLocked(folder.handle(), Temporary::Probe, name); probe.valid()) {
            const int error = ::fsync(probe.get()) == 0 ? 0 : errno;
            ::unlinkat(folder.handle(), name.constData(), 0);
            if (error != 0 && error != EINVAL && error != ENOSYS)
                return FileResult::fromErrno(error);
        }
    }
    ::fsync(folder.handle());
    return FileResult::success();
}

} // namespace tonvola::fs
