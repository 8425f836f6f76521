#include "platform/Copy.h"

#include "platform/Medium.h"
#include "platform/Native.h"
#include "platform/Native_posix.h"
#include "platform/WrittenRecord.h"

#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tonvola::fs {

namespace {

// What the kernel copies in one call, where it copies itself.
constexpr qint64 chunkSize = qint64(4) * 1024 * 1024;
// What passes through the program's own buffer in one turn: small enough to stay in the
// processor's cache between reading and writing, as cp's does.
constexpr qint64 bufferSize = qint64(128) * 1024;

// Linux copies between two files itself (copy_file_range), writes a file without a name
// (O_TMPFILE) and names it later through /proc/self/fd; elsewhere the program's own buffer and
// a locked temporary name serve.
#ifdef Q_OS_LINUX
ssize_t copyInKernel(int from, int to)
{
    return ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(chunkSize), 0);
}

bool unnamedFilesPossible()
{
    static const bool available = QFileInfo::exists(QStringLiteral("/proc/self/fd"));
    return available;
}

int openUnnamed(int folder)
{
    return ::openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

int nameUnnamed(int fd, int folder, const QByteArray &name)
{
    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(fd);
    return ::linkat(AT_FDCWD, unnamed.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}
#else
ssize_t copyInKernel(int /*from*/, int /*to*/)
{
    errno = ENOSYS;
    return -1;
}

bool unnamedFilesPossible()
{
    return false;
}

int openUnnamed(int /*folder*/)
{
    errno = EOPNOTSUPP;
    return -1;
}

int nameUnnamed(int /*fd*/, int /*folder*/, const QByteArray & /*name*/)
{
    return ENOSYS;
}
#endif

// A rename that refuses to replace, where the system has one; ENOSYS elsewhere.
#ifdef RENAME_NOREPLACE
int renameExclusive(int folder, const QByteArray &from, const QByteArray &to)
{
    return ::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0 ? 0 : errno;
}
#else
int renameExclusive(int /*folder*/, const QByteArray & /*from*/, const QByteArray & /*to*/)
{
    return ENOSYS;
}
#endif

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
    bool kernelCopy = true;
    for (;;) {
        if (options.cancel && options.cancel->load(std::memory_order_relaxed))
            return ECANCELED;
        ssize_t n = -1;
        if (kernelCopy) {
            n = copyInKernel(from, to);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
        } else {
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
        // The size the file had when it was opened is all there is to copy: a file that grew
        // since then has changed, which the look after the copy finds (changedWhileRead), and
        // asking for its end once more would cost a call for every small file.
        if (copied == total)
            return 0;
    }
}

// A medium that says it is full may only have no room left in the folder: FAT16's root folder
// holds 512 entries, and a long name takes several of them.
FileResult spaceFailure(const Folder &to, int error)
{
    struct statvfs medium {};
    // Media that count their files (most but FAT) have run out of them when none is left.
    if (error == ENOSPC && ::fstatvfs(to.handle(), &medium) == 0 && (medium.f_files == 0 || medium.f_ffree > 0)
        && static_cast<qint64>(medium.f_bavail) * static_cast<qint64>(medium.f_frsize) >= qint64(64) * 1024)
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
    if (can.exclusiveRename) {
        const int error = renameExclusive(dir, temporary, name);
        if (error == 0)
            return 0;
        if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
            return error;
        // EINVAL may also mean a name the medium refuses; the next way then says so again.
        can.exclusiveRename = false;
    }
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

} // namespace

// A copy whose data is written and waits for its name: an unnamed file, or one under a locked
// temporary name that the lock keeps from cleanups while it waits.
struct CopyBatch::Staged {
    FileName name;
    UniqueFd out;
    QByteArray temporary;
    Entry source;
    const Folder *to = nullptr;
    QByteArray origin;
};

CopyBatch::CopyBatch(const Folder &to) : m_to(to), m_largestFile(largestFile(to)), m_startWriting(writesToDevice(to))
{
    if (to.isOpen() && closingHandsOver(to))
        m_flushAhead = std::make_unique<FlushAhead>(to);
}

CopyBatch::~CopyBatch()
{
    discard();
}

void CopyBatch::discard()
{
    for (const std::unique_ptr<Staged> &staged : m_staged) {
        if (!staged->temporary.isEmpty())
            ::unlinkat(staged->to->handle(), staged->temporary.constData(), 0);
    }
    m_staged.clear();
    m_bytes = 0;
}

FileResult CopyBatch::add(const Folder &from, const FileName &name, const CopyOptions &options)
{
    if (!m_to.isOpen())
        return m_to.opened();
    UniqueFd in;
    struct stat sourceStat {};
    if (FileResult opened = openFile(from, name, in, sourceStat); !opened.ok())
        return opened;
    auto staged = std::make_unique<Staged>();
    staged->name = options.as.isEmpty() ? name : options.as;
    staged->to = options.into ? options.into : &m_to;
    staged->origin = options.origin;
    const Folder &to = *staged->to;
    staged->source = entryFrom(sourceStat);
    if (options.expected && !staged->source.isUnchangedSince(*options.expected))
        return native::sourceChanged();
    if (isBeingWritten(staged->source))
        return native::sourceInUse();
    if (staged->source.size > m_largestFile)
        return native::tooLarge();

    // Written without a name, a copy cannot be left behind by a crash or a pulled medium at all.
    if (m_to.abilities().unnamedFiles && unnamedFilesPossible()) {
        staged->out = UniqueFd(openUnnamed(to.handle()));
        if (!staged->out.valid()) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return spaceFailure(to, errno);
            m_to.abilities().unnamedFiles = false;
        }
    }
    if (!staged->out.valid()) {
        staged->out = createLocked(to.handle(), Temporary::Copy, staged->temporary);
        if (!staged->out.valid())
            return spaceFailure(to, errno);
    }
    const auto drop = [&] {
        if (!staged->temporary.isEmpty())
            ::unlinkat(to.handle(), staged->temporary.constData(), 0);
    };
    if (const int error = copyData(in.get(), staged->out.get(), sourceStat.st_size, options); error != 0) {
        drop();
        return dataFailure(error);
    }
    if (changedWhileRead(in.get(), sourceStat, from, name)) {
        drop();
        return native::sourceChanged();
    }
#ifdef Q_OS_LINUX
    // The medium starts writing the copy now, while the next ones are read; the batch's flush
    // then mostly waits for what is under way already.
    if (m_startWriting)
        (void)::sync_file_range(staged->out.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
    if (m_flushAhead)
        m_flushAhead->wrote(staged->source.size);
    const std::array<timespec, 2> times = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(staged->out.get(), times.data());
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
    // Where closing a file hands it to the medium whole, a file under a temporary name is closed
    // now, and the flush is the volume's alone: one round trip to the file system's process
    // less for every file.
    const bool closeFirst = closingHandsOver(m_to);
    QList<int> files;
    std::vector<FileResult> closed(m_staged.size(), FileResult::success());
    for (std::size_t i = 0; i < m_staged.size(); ++i) {
        Staged &staged = *m_staged[i];
        if (closeFirst && !staged.temporary.isEmpty()) {
            if (staged.out.close() != 0)
                closed[i] = FileResult::fromErrno(errno);
        } else {
            files.append(staged.out.get());
        }
    }
    // The record's lines of the batch before, flushed with this batch's data.
    if (record && record->handle() >= 0)
        files.append(record->handle());
    // The data first, all of it at once; only then the names.
    if (m_flushAhead)
        m_flushAhead->drop();
    if (const FileResult flushed = flushFiles(m_to, files); !flushed.ok()) {
        for (const std::unique_ptr<Staged> &staged : m_staged)
            named.append({staged->name, flushed, staged->source, false, staged->to, staged->origin});
        discard();
        return named;
    }
    const bool lagging = namesLagBehind(m_to);
    for (std::size_t i = 0; i < m_staged.size(); ++i) {
        const std::unique_ptr<Staged> &staged = m_staged[i];
        const Folder &to = *staged->to;
        const int dir = to.handle();
        if (!closed[i].ok()) {
            ::unlinkat(dir, staged->temporary.constData(), 0);
            staged->temporary.clear();
            named.append({staged->name, closed[i], staged->source, false, &to, staged->origin});
            continue;
        }
        const QByteArray &name = staged->name.native();
        int error = 0;
        if (staged->temporary.isEmpty()) {
            error = nameUnnamed(staged->out.get(), dir, name);
        } else {
            error = nameFile(to, staged->temporary, name);
            if (error != 0)
                ::unlinkat(dir, staged->temporary.constData(), 0);
        }
        staged->temporary.clear();
        if (error != 0) {
            named.append(
                {staged->name, namingFailure(to, error, staged->name), staged->source, false, &to, staged->origin});
            continue;
        }
        // The file first, which writes its size into its new entry, then the folder, which drops
        // the temporary entry.
        FileResult result = FileResult::success();
        if (lagging && (::fsync(staged->out.get()) != 0 || ::fsync(dir) != 0))
            result = FileResult::fromErrno(errno);
        named.append({staged->name, std::move(result), staged->source, true, &to, staged->origin});
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
        if (named[i].result.ok() && m_staged[static_cast<std::size_t>(i)]->out.valid()
            && m_staged[static_cast<std::size_t>(i)]->out.close() != 0)
            named[i].result = FileResult::fromErrno(errno);
    }
    if (record)
        noteNamed(*record, named);
    m_staged.clear();
    m_bytes = 0;
    return named;
}

} // namespace tonvola::fs
