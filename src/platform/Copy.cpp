#include "platform/Copy.h"

#include "platform/Folder.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/Temporary.h"
#include "platform/WrittenRecord.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_UNIX
#include <QSaveFile>
#endif

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#ifdef Q_OS_UNIX
#include "platform/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

namespace tonvola::fs {

namespace {

// What the kernel copies in one call, where it copies itself.
constexpr qint64 chunkSize = 4 * 1024 * 1024;
// What passes through the program's own buffer in one turn: small enough to stay in the
// processor's cache between reading and writing, as cp's does.
constexpr qint64 bufferSize = 128 * 1024;

FileResult sourceChanged()
{
    return FileResult::failure(FileResult::Status::SourceChanged,
                               QStringLiteral("Die Datei wurde während des Kopierens verändert"));
}

FileResult sourceInUse()
{
    return FileResult::failure(FileResult::Status::InUse,
                               QStringLiteral("Die Datei wird gerade von einem anderen Programm geschrieben"));
}

#ifdef Q_OS_UNIX
// One buffer per thread for the whole life of the program: a fill of thousands of small files
// would otherwise spend more time getting and clearing buffers than copying. It starts on a
// page, as the kernel copies into it fastest then.
class CopyBuffer
{
public:
    // Room for at least the given number of bytes, never more than one turn; not cleared.
    char *room(qint64 wanted)
    {
        constexpr std::size_t page = 4096;
        const auto size =
            (static_cast<std::size_t>(std::clamp<qint64>(wanted, 1, bufferSize)) + page - 1) / page * page;
        if (size > m_size) {
            m_data.reset(static_cast<char *>(std::aligned_alloc(page, size)));
            m_size = m_data ? size : 0;
        }
        return m_data.get();
    }

private:
    struct Free {
        void operator()(char *data) const { std::free(data); }
    };
    std::unique_ptr<char, Free> m_data;
    std::size_t m_size = 0;
};

int writeAll(int to, const char *data, ssize_t n)
{
    ssize_t written = 0;
    while (written < n) {
        const ssize_t w = ::write(to, data + written, static_cast<size_t>(n - written));
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        written += w;
    }
    return 0;
}

// Moves the data; returns 0 or an errno value. ECANCELED when the cancel flag was raised.
int copyData(int from, int to, qint64 total, const CopyOptions &options)
{
    thread_local CopyBuffer buffer;
    qint64 copied = 0;
#ifdef Q_OS_LINUX
    bool kernelCopy = true;
#else
    const bool kernelCopy = false;
#endif
    for (;;) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed))
            return ECANCELED;
        ssize_t n = -1;
#ifdef Q_OS_LINUX
        if (kernelCopy) {
            n = ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(chunkSize), 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
        }
#endif
        if (!kernelCopy) {
            // Sized by the file, so that a small file costs a small read; a file that grew
            // since it was looked at is read in more turns.
            const qint64 size = std::min(std::max(total - copied, qint64(1)), bufferSize);
            char *data = buffer.room(size);
            if (!data)
                return ENOMEM;
            n = ::read(from, data, static_cast<size_t>(size));
            if (n > 0) {
                if (const int error = writeAll(to, data, n); error != 0)
                    return error;
            }
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        copied += n;
        if (options.progress)
            options.progress(copied, total);
    }
}

// A medium that says it is full may only have no room left in the folder: FAT16's root folder
// holds 512 entries, and a long name takes several of them.
FileResult spaceFailure(const Folder &to, int error)
{
    struct statvfs medium {};
    // Media that count their files (most but FAT) have run out of them when none is left.
    if (error == ENOSPC && ::fstatvfs(to.handle(), &medium) == 0 && (medium.f_files == 0 || medium.f_ffree > 0)
        && static_cast<qint64>(medium.f_bavail) * static_cast<qint64>(medium.f_frsize) >= 64 * 1024)
        return FileResult::failure(FileResult::Status::FolderFull,
                                   QStringLiteral("Das Verzeichnis nimmt keine weiteren Einträge auf"));
    return FileResult::fromErrno(error);
}

// A failure while the data is written: the medium filling up is no folder without entries.
FileResult dataFailure(int error)
{
    if (error == ECANCELED)
        return FileResult::cancelled();
    return FileResult::fromErrno(error);
}

// The failure of giving the copy its name. Media that cannot hold a name say so in different
// ways: the kernel's FAT and exFAT drivers with EINVAL, exfat-fuse with ENOENT for a reserved
// character, and every one of them with EILSEQ for bytes that are not in its encoding.
FileResult namingFailure(const Folder &to, int error, const FileName &name)
{
    if (error == EINVAL || error == EILSEQ || error == ENAMETOOLONG || (error == ENOENT && fatRefuses(name)))
        return FileResult::failure(FileResult::Status::NameRefused,
                                   QStringLiteral("Der Datenträger erlaubt diesen Dateinamen nicht"));
    return spaceFailure(to, error);
}

// Gives a complete file under a temporary name its real one, never in the place of an existing
// file; 0 or an errno value.
int nameFile(const Folder &to, const QByteArray &temporary, const QByteArray &name)
{
    const int dir = to.handle();
    Folder::Abilities &can = to.abilities();
#ifdef RENAME_NOREPLACE
    if (can.exclusiveRename) {
        if (::renameat2(dir, temporary.constData(), dir, name.constData(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
            return errno;
        // EINVAL may also mean a name the medium refuses; the next way then says so again.
        can.exclusiveRename = false;
    }
#endif
    if (can.hardLinks) {
        // linkat() refuses to replace an existing name, which renameat() would not.
        if (::linkat(dir, temporary.constData(), dir, name.constData(), 0) == 0) {
            ::unlinkat(dir, temporary.constData(), 0);
            return 0;
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != EMLINK)
            return errno;
        can.hardLinks = false;
    }
    // Neither way refuses to replace: the look just before has to do.
    struct stat st {};
    if (::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(dir, temporary.constData(), dir, name.constData()) == 0 ? 0 : errno;
}

#ifdef Q_OS_LINUX
bool procFdAvailable()
{
    static const bool available = QFileInfo::exists(QStringLiteral("/proc/self/fd"));
    return available;
}
#endif

// True when the source is no longer what was copied: written to while it was read, or its name
// taken by another file.
bool changedWhileRead(int in, const struct stat &before, const Folder &from, const FileName &name)
{
    struct stat after {};
    struct stat named {};
    if (::fstat(in, &after) != 0 || ::fstatat(from.handle(), name.native().constData(), &named, 0) != 0)
        return true;
    return !entryFrom(after).isUnchangedSince(entryFrom(before)) || named.st_dev != before.st_dev
           || named.st_ino != before.st_ino;
}
#endif

} // namespace

#ifdef Q_OS_UNIX
// A copy whose data is written and waits for its name: an unnamed file, or one under a locked
// temporary name that the lock keeps from cleanups while it waits.
struct CopyBatch::Staged {
    FileName name;
    UniqueFd out;
    QByteArray temporary;
    Entry source;
};
#else
struct CopyBatch::Staged {
    FileName name;
    std::unique_ptr<QSaveFile> out;
    Entry source;
};
#endif

CopyBatch::CopyBatch(const Folder &to) : m_to(to)
{}

CopyBatch::~CopyBatch()
{
    discard();
}

qsizetype CopyBatch::count() const
{
    return static_cast<qsizetype>(m_staged.size());
}

qint64 CopyBatch::bytes() const
{
    return m_bytes;
}

void CopyBatch::discard()
{
#ifdef Q_OS_UNIX
    for (const std::unique_ptr<Staged> &staged : m_staged) {
        if (!staged->temporary.isEmpty())
            ::unlinkat(m_to.handle(), staged->temporary.constData(), 0);
    }
#else
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->out->cancelWriting();
#endif
    m_staged.clear();
    m_bytes = 0;
}

FileResult CopyBatch::add(const Folder &from, const FileName &name, const CopyOptions &options)
{
    if (!m_to.isOpen())
        return m_to.opened();
#ifdef Q_OS_UNIX
    UniqueFd in;
    struct stat sourceStat {};
    if (const FileResult opened = openFile(from, name, in, sourceStat); !opened.ok())
        return opened;
    auto staged = std::make_unique<Staged>();
    staged->name = name;
    staged->source = entryFrom(sourceStat);
    if (options.expected && !staged->source.isUnchangedSince(*options.expected))
        return sourceChanged();
    if (isBeingWritten(staged->source))
        return sourceInUse();
    if (staged->source.size > largestFile(m_to))
        return FileResult::failure(FileResult::Status::TooLarge,
                                   QStringLiteral("Der Datenträger nimmt keine Datei dieser Größe auf"));

#ifdef Q_OS_LINUX
    // Written without a name, a copy cannot be left behind by a crash or a pulled medium at all.
    if (m_to.abilities().unnamedFiles && procFdAvailable()) {
        staged->out = UniqueFd(::openat(m_to.handle(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (!staged->out.valid()) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return spaceFailure(m_to, errno);
            m_to.abilities().unnamedFiles = false;
        }
    }
#endif
    if (!staged->out.valid()) {
        staged->out = createLocked(m_to.handle(), Temporary::Copy, staged->temporary);
        if (!staged->out.valid())
            return spaceFailure(m_to, errno);
    }
    const auto drop = [&] {
        if (!staged->temporary.isEmpty())
            ::unlinkat(m_to.handle(), staged->temporary.constData(), 0);
    };
    if (const int error = copyData(in.get(), staged->out.get(), sourceStat.st_size, options); error != 0) {
        drop();
        return dataFailure(error);
    }
    if (changedWhileRead(in.get(), sourceStat, from, name)) {
        drop();
        return sourceChanged();
    }
    const std::array<timespec, 2> times = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(staged->out.get(), times.data());
#else
    QFile in;
    if (const FileResult opened = openForReading(from, name, in); !opened.ok())
        return opened;
    auto staged = std::make_unique<Staged>();
    staged->name = name;
    staged->source = from.look(name);
    if (options.expected && !staged->source.isUnchangedSince(*options.expected))
        return sourceChanged();
    if (isBeingWritten(staged->source))
        return sourceInUse();
    staged->out = std::make_unique<QSaveFile>(joinPath(m_to.path(), name.text()));
    if (!staged->out->open(QIODevice::WriteOnly))
        return FileResult::failure(FileResult::Status::Failed, staged->out->errorString());
    QByteArray buffer;
    const qint64 total = in.size();
    qint64 copied = 0;
    while (!(buffer = in.read(chunkSize)).isEmpty()) {
        if (options.cancel && options.cancel->load()) {
            staged->out->cancelWriting();
            return FileResult::cancelled();
        }
        if (staged->out->write(buffer) != buffer.size()) {
            staged->out->cancelWriting();
            return FileResult::failure(FileResult::Status::Failed, staged->out->errorString());
        }
        copied += buffer.size();
        if (options.progress)
            options.progress(copied, total);
    }
    const Entry after = from.look(name);
    if (after.size != staged->source.size || after.modifiedNs != staged->source.modifiedNs) {
        staged->out->cancelWriting();
        return sourceChanged();
    }
#endif
    m_bytes += staged->source.size;
    m_staged.push_back(std::move(staged));
    return FileResult::success();
}

QList<CopyBatch::Named> CopyBatch::commit(WrittenRecord *record, Names names)
{
    QList<Named> named;
    if (m_staged.empty())
        return named;
    named.reserve(count());
#ifdef Q_OS_UNIX
    QList<int> files;
    for (const std::unique_ptr<Staged> &staged : m_staged) {
        files.append(staged->out.get());
        if (record)
            record->noteCopy(staged->name, staged->source);
    }
    if (record && record->handle() >= 0)
        files.append(record->handle());
    // The data first, all of it at once; only then the names.
    if (const FileResult flushed = flushFiles(m_to, files); !flushed.ok()) {
        for (const std::unique_ptr<Staged> &staged : m_staged)
            named.append({staged->name, flushed, staged->source});
        discard();
        return named;
    }
    const int dir = m_to.handle();
    const bool lagging = namesLagBehind(m_to);
    for (const std::unique_ptr<Staged> &staged : m_staged) {
        const QByteArray &name = staged->name.native();
        int error = 0;
#ifdef Q_OS_LINUX
        if (staged->temporary.isEmpty()) {
            const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(staged->out.get());
            if (::linkat(AT_FDCWD, unnamed.constData(), dir, name.constData(), AT_SYMLINK_FOLLOW) != 0)
                error = errno;
        } else
#endif
        {
            error = nameFile(m_to, staged->temporary, name);
            if (error != 0)
                ::unlinkat(dir, staged->temporary.constData(), 0);
        }
        staged->temporary.clear();
        // The file first, which writes its size into its new entry, then the folder, which drops
        // the temporary entry.
        if (error == 0 && lagging && (::fsync(staged->out.get()) != 0 || ::fsync(dir) != 0))
            error = errno;
        named.append({staged->name, error == 0 ? FileResult::success() : namingFailure(m_to, error, staged->name),
                      staged->source});
    }
    // Names flushed here cost a second flush; a caller who deletes the sources next needs them.
    if (names == Names::Flushed) {
        QList<int> last;
        for (const std::unique_ptr<Staged> &staged : m_staged) {
            if (staged->out.valid())
                last = {staged->out.get()};
        }
        if (const FileResult flushed = flushFiles(m_to, last); !flushed.ok()) {
            for (Named &copy : named)
                copy.result = flushed;
        }
    }
    for (qsizetype i = 0; i < named.size(); ++i) {
        if (named[i].result.ok() && m_staged[static_cast<std::size_t>(i)]->out.close() != 0)
            named[i].result = FileResult::fromErrno(errno);
    }
#else
    Q_UNUSED(record);
    for (const std::unique_ptr<Staged> &staged : m_staged) {
        const QString target = joinPath(m_to.path(), staged->name.text());
        FileResult result = FileResult::success();
        if (QFileInfo::exists(target)) {
            staged->out->cancelWriting();
            result = FileResult::failure(FileResult::Status::AlreadyExists,
                                         QStringLiteral("Eine Datei dieses Namens ist bereits vorhanden"));
        } else if (!staged->out->commit()) {
            result = FileResult::failure(FileResult::Status::Failed, staged->out->errorString());
        }
        named.append({staged->name, std::move(result), staged->source});
    }
#endif
    m_staged.clear();
    m_bytes = 0;
    return named;
}

void removeLeftovers(const Folder &folder)
{
#ifdef Q_OS_UNIX
    if (!folder.isOpen())
        return;
    QList<QByteArray> leftovers;
    (void)forEachEntry(folder.handle(), [&leftovers](const DirEntry &entry) {
        if (isLeftoverName(QByteArrayView(entry.name, static_cast<qsizetype>(entry.length))) && entry.type != DT_LNK
            && entry.isRegular())
            leftovers.append(QByteArray(entry.name, static_cast<qsizetype>(entry.length)));
    });
    const int dir = folder.handle();
    for (const QByteArray &name : std::as_const(leftovers)) {
        // A temporary file whose lock can be taken has no writer any more.
        const UniqueFd held(::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        if (held.valid() && ::flock(held.get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(held.get(), &opened) == 0
            && ::fstatat(dir, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && opened.st_ino == named.st_ino
            && opened.st_dev == named.st_dev)
            ::unlinkat(dir, name.constData(), 0);
    }
#else
    Q_UNUSED(folder);
#endif
}

FileResult copyFile(const Folder &from, const FileName &name, const Folder &to, const CopyOptions &options)
{
    CopyBatch batch(to);
    if (const FileResult added = batch.add(from, name, options); !added.ok())
        return added;
    return batch.commit().constFirst().result;
}

FileResult copyInto(const QString &source, const QString &folder, const CopyOptions &options)
{
    const QFileInfo info(source);
    return copyFile(Folder(info.path()), FileName::fromText(info.fileName()), Folder(folder), options);
}

FileResult remove(const QString &path)
{
    const QFileInfo info(path);
    return Folder(info.path()).remove(FileName::fromText(info.fileName()));
}

bool haveSameContent(const QString &a, const QString &b)
{
    const QFileInfo ia(a);
    const QFileInfo ib(b);
    return haveSameBytes(Folder(ia.path()), FileName::fromText(ia.fileName()), Folder(ib.path()),
                         FileName::fromText(ib.fileName()));
}

} // namespace tonvola::fs
