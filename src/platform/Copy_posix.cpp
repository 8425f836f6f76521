#include "platform/Copy.h"

#include "platform/Medium.h"
#include "platform/NameRules.h"
#include "platform/Native_p.h"
#include "platform/Temporary.h"
#include "platform/UniqueFd.h"
#include "platform/WrittenRecord.h"

#include <QFileInfo>

#include <array>
#include <memory>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tonvola::fs {

namespace {

// Linux writes a file without a name (O_TMPFILE) and names it later through /proc/self/fd;
// elsewhere a locked temporary name serves.
#ifdef Q_OS_LINUX
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

// A medium that says it is full may only have no room left in the folder: FAT16's root folder
// holds 512 entries, and a long name takes several of them.
FileResult spaceFailure(const Folder &to, int error)
{
    struct statvfs medium {};
    // Media that count their files (most but FAT) have run out of them when none is left.
    if (error == ENOSPC && ::fstatvfs(to.handle(), &medium) == 0 && (medium.f_files == 0 || medium.f_ffree > 0)
        && static_cast<qint64>(medium.f_bavail) * static_cast<qint64>(medium.f_frsize) >= qint64(64) * 1024)
        return FileResult::failure(FileResult::Status::FolderFull, FileResult::Reason::FolderTakesNoMore);
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
        return FileResult::failure(FileResult::Status::NameRefused, FileResult::Reason::NameNotAllowed);
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
    // The first failure on the way to the copy's name, which stands.
    FileResult result;
    bool named = false;

    [[nodiscard]] FileResult openOutput(Folder::Abilities &can);
    [[nodiscard]] FileResult fill(int in, const struct stat &before, const Folder &from, const FileName &sourceName,
                                  const CopyOptions &options);
    void handOver(bool closeFirst, QList<int> &files);
    void takeName(bool lagging);
    void close();
    void drop();
};

// Written without a name, a copy cannot be left behind by a crash or a pulled medium at all.
FileResult CopyBatch::Staged::openOutput(Folder::Abilities &can)
{
    if (can.unnamedFiles && unnamedFilesPossible()) {
        out = UniqueFd(openUnnamed(to->handle()));
        if (!out.valid()) {
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
                return spaceFailure(*to, errno);
            can.unnamedFiles = false;
        }
    }
    if (!out.valid()) {
        out = createLocked(to->handle(), Temporary::Copy, temporary);
        if (!out.valid())
            return spaceFailure(*to, errno);
    }
    return FileResult::success();
}

FileResult CopyBatch::Staged::fill(int in, const struct stat &before, const Folder &from, const FileName &sourceName,
                                   const CopyOptions &options)
{
    if (const int error = copyData(in, out.get(), before.st_size, options.cancel, options.progress); error != 0) {
        drop();
        return dataFailure(error);
    }
    if (changedWhileRead(in, before, from, sourceName)) {
        drop();
        return native::sourceChanged();
    }
    return FileResult::success();
}

// Where closing a file hands it to the medium whole, a file under a temporary name is closed
// now, and the flush is the volume's alone: one round trip to the file system's process less
// for every file.
void CopyBatch::Staged::handOver(bool closeFirst, QList<int> &files)
{
    if (closeFirst && !temporary.isEmpty()) {
        if (out.close() != 0)
            result = FileResult::fromErrno(errno);
    } else {
        files.append(out.get());
    }
}

void CopyBatch::Staged::takeName(bool lagging)
{
    const int dir = to->handle();
    if (!result.ok()) {
        drop();
        temporary.clear();
        return;
    }
    int error = 0;
    if (temporary.isEmpty()) {
        error = nameUnnamed(out.get(), dir, name.native());
    } else {
        error = nameFile(*to, temporary, name.native());
        if (error != 0)
            drop();
    }
    temporary.clear();
    if (error != 0) {
        result = namingFailure(*to, error, name);
        return;
    }
    named = true;
    // The file first, which writes its size into its new entry, then the folder, which drops
    // the temporary entry.
    if (lagging && (::fsync(out.get()) != 0 || ::fsync(dir) != 0))
        result = FileResult::fromErrno(errno);
}

void CopyBatch::Staged::close()
{
    if (result.ok() && out.valid() && out.close() != 0)
        result = FileResult::fromErrno(errno);
}

void CopyBatch::Staged::drop()
{
    if (!temporary.isEmpty())
        ::unlinkat(to->handle(), temporary.constData(), 0);
}

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
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->drop();
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
    staged->source = entryFrom(sourceStat);
    if (options.expected && !staged->source.isUnchangedSince(*options.expected))
        return native::sourceChanged();
    if (isBeingWritten(staged->source))
        return native::sourceInUse();
    if (staged->source.size > m_largestFile)
        return native::tooLarge();
    if (FileResult opened = staged->openOutput(m_to.abilities()); !opened.ok())
        return opened;
    if (FileResult filled = staged->fill(in.get(), sourceStat, from, name, options); !filled.ok())
        return filled;
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
    if (m_staged.empty())
        return {};
    // The data first, all of it at once; only then the names.
    if (m_flushAhead)
        m_flushAhead->drop();
    if (const FileResult flushed = flushFiles(m_to, handOver(record)); !flushed.ok()) {
        failAll(flushed);
        QList<Named> named = outcomes();
        discard();
        return named;
    }
    giveNames();
    // Names flushed here cost a second flush; a caller who deletes the sources next needs them.
    if (names == Names::Flushed) {
        if (const FileResult flushed = flushNames(); !flushed.ok())
            failAll(flushed);
    }
    closeFiles();
    QList<Named> named = outcomes();
    if (record)
        noteNamed(*record, named);
    m_staged.clear();
    m_bytes = 0;
    return named;
}

QList<int> CopyBatch::handOver(const WrittenRecord *record)
{
    const bool closeFirst = closingHandsOver(m_to);
    QList<int> files;
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->handOver(closeFirst, files);
    // The record's lines of the batch before, flushed with this batch's data.
    if (record && record->handle() >= 0)
        files.append(record->handle());
    return files;
}

void CopyBatch::giveNames()
{
    const bool lagging = namesLagBehind(m_to);
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->takeName(lagging);
}

// A flush through the last open copy writes out the folder's new names with it.
FileResult CopyBatch::flushNames() const
{
    QList<int> last;
    for (const std::unique_ptr<Staged> &staged : m_staged) {
        if (staged->out.valid())
            last = {staged->out.get()};
    }
    return flushFiles(m_to, last);
}

void CopyBatch::closeFiles()
{
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->close();
}

void CopyBatch::failAll(const FileResult &failure)
{
    for (const std::unique_ptr<Staged> &staged : m_staged)
        staged->result = failure;
}

QList<CopyBatch::Named> CopyBatch::outcomes() const
{
    QList<Named> named;
    named.reserve(count());
    for (const std::unique_ptr<Staged> &staged : m_staged)
        named.append({staged->name, staged->result, staged->source, staged->named, staged->to, staged->origin});
    return named;
}

} // namespace tonvola::fs
