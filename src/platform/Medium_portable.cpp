#include "platform/Medium.h"

#include "platform/Folder.h"
#include "platform/NameRules.h"
#include "platform/Native_p.h"
#include "platform/Path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <limits>

namespace tonvola::fs {

namespace {

// The file system as Qt names it: "vfat" on Linux, "FAT32" on Windows, "msdos" on macOS. Media
// in user space (exFAT through FUSE) call themselves "fuseblk" and say no more.
QByteArray fileSystemOf(const Folder &folder)
{
    return folder.isOpen() ? QStorageInfo(folder.path()).fileSystemType().toLower() : QByteArray();
}

bool isFat(const QByteArray &type)
{
    return type == "vfat" || type == "msdos" || type.startsWith("fat");
}

QString pathIn(const Folder &folder, const QByteArray &name)
{
    return joinPath(folder.path(), QFile::decodeName(name));
}

} // namespace

std::optional<bool> native::findsOtherSpelling(const Folder &folder, const QByteArray &name,
                                               const QByteArray &otherName)
{
    const QFileInfo original(pathIn(folder, name));
    const QFileInfo other(pathIn(folder, otherName));
    if (!original.exists())
        return std::nullopt;
    if (!other.exists())
        return false;
    return original.isFile() == other.isFile() && original.size() == other.size()
           && original.lastModified() == other.lastModified();
}

std::optional<qint64> availableBytes(const QString &folder)
{
    if (!QFileInfo(folder).isDir())
        return std::nullopt;
    const QStorageInfo medium(folder);
    if (!medium.isValid() || !medium.isReady())
        return std::nullopt;
    return medium.bytesAvailable();
}

std::optional<qint64> availableBytes(const Folder &folder)
{
    // A path that leads elsewhere now (an unmounted medium's bare mount point) has no room for
    // this folder.
    if (!folder.isReachable())
        return std::nullopt;
    return availableBytes(folder.path());
}

bool isSameFolder(const Folder &a, const Folder &b)
{
    if (!a.isOpen() || !b.isOpen() || a.isSameAs(b))
        return a.isSameAs(b);
    // Two paths: two folders, unless the medium takes both spellings for one, or another mount
    // (bindfs, FUSE, a network share) reaches the same folder.
    for (const auto &[here, there] : {std::pair{&b, &a}, std::pair{&a, &b}}) {
        bool same = false;
        if (native::withProbeFile(
                *here, [&, there = there](QByteArray &name) { same = QFileInfo::exists(pathIn(*there, name)); }))
            return same;
    }
    return false;
}

qint64 allocationUnit(const Folder &folder)
{
    const int block = folder.isOpen() ? QStorageInfo(folder.path()).blockSize() : -1;
    return block > 0 ? block : 4096;
}

qsizetype longestName(const Folder & /*folder*/)
{
    // Qt does not tell; the limit of nearly every file system in use.
    return 255;
}

std::optional<qint64> fatEntriesUsed(const Folder &folder)
{
    if (!folder.isOpen())
        return std::nullopt;
    const QDir dir(folder.path());
    if (!dir.isReadable())
        return std::nullopt;
    qint64 used = 0;
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted))
        used += fatEntriesFor(FileName::fromText(name));
    return used;
}

qint64 largestFile(const Folder &folder)
{
    if (isFat(fileSystemOf(folder)))
        return (qint64(1) << 32) - 1;
    return std::numeric_limits<qint64>::max();
}

bool flushesFileByFile(const Folder & /*folder*/)
{
    // Each copy is written out as QSaveFile saves it.
    return false;
}

bool closingHandsOver(const Folder & /*folder*/)
{
    return false;
}

bool namesLagBehind(const Folder & /*folder*/)
{
    return false;
}

bool writesToDevice(const Folder & /*folder*/)
{
    return true;
}

FileResult flushFiles(const Folder &folder, const QList<int> & /*files*/)
{
    return folder.isOpen() ? FileResult::success() : folder.opened();
}

bool keepsFatNames(const Folder &folder)
{
    const QByteArray type = fileSystemOf(folder);
    return isFat(type) || type == "exfat" || type.startsWith("ntfs") || type == "cifs" || type == "smb3"
           || type == "smbfs";
}

qint64 timeResolutionNs(const Folder &folder)
{
    constexpr qint64 second = 1000000000;
    const QDateTime modified = folder.isOpen() ? QFileInfo(folder.path()).lastModified() : QDateTime();
    if (!modified.isValid())
        return 2 * second;
    // Qt tells times to the millisecond.
    const qint64 ms = modified.toMSecsSinceEpoch() % 1000;
    if (ms == 0)
        return modified.toSecsSinceEpoch() % 2 == 0 ? 2 * second : second;
    return ms % 10 == 0 ? 10000000 : 1000000;
}

FileResult flush(const Folder &folder, const QList<int> & /*files*/, Freed /*freed*/)
{
    if (!folder.isOpen())
        return folder.opened();
    // QSaveFile wrote out the data of each copy. Qt offers nothing that writes out a folder's
    // names or a volume's cache, so the run cannot say that the medium may be pulled out now.
    FileResult unsure = FileResult::success();
    unsure.reason = FileResult::Reason::FlushUnconfirmed;
    return unsure;
}

} // namespace tonvola::fs
