#include "platform/Copy.h"

#include "platform/Folder.h"
#include "platform/Listing.h"
#include "platform/Medium.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

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
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tonvola::fs {

namespace {

// What the kernel copies in one call, where it copies itself.
constexpr qint64 chunkSize = 4 * 1024 * 1024;
// What passes through the program's own buffer in one turn: small enough to stay in the
// processor's cache between reading and writing, as cp's does.
constexpr qint64 bufferSize = 128 * 1024;

QByteArray temporaryName()
{
    return QByteArray(".tonvola-") + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ".part";
}

bool isHexNumber(QByteArrayView digits)
{
    return !digits.isEmpty() && digits.size() <= 16 && std::all_of(digits.cbegin(), digits.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

// Exactly the names temporaryName() and the case probe make, so that no file of the user's is
// ever taken for one.
bool isLeftoverName(QByteArrayView name)
{
    constexpr QByteArrayView prefix(".tonvola-");
    constexpr QByteArrayView probe("probe-");
    constexpr QByteArrayView part(".part");
    if (!name.startsWith(prefix))
        return false;
    name = name.sliced(prefix.size());
    if (name.startsWith(probe))
        return isHexNumber(name.sliced(probe.size()));
    return name.endsWith(part) && isHexNumber(name.chopped(part.size()));
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

// Data, durability and time of a new file; 0 or an errno value.
int fillFile(int in, int out, const struct stat &sourceStat, const CopyOptions &options)
{
    int error = copyData(in, out, sourceStat.st_size, options);
    if (error == 0 && options.durable && ::fdatasync(out) != 0 && errno != EINVAL)
        error = errno;
    if (error == 0) {
        const std::array<timespec, 2> times = {sourceStat.st_atim, sourceStat.st_mtim};
        ::futimens(out, times.data());
    }
    return error;
}

// The failure of giving the copy its name. Media that cannot hold a name say so in different
// ways: the kernel's FAT and exFAT drivers with EINVAL, exfat-fuse with ENOENT for a reserved
// character, and every one of them with EILSEQ for bytes that are not in its encoding.
FileResult namingFailure(int error, const FileName &name)
{
    if (error == EINVAL || error == EILSEQ || error == ENAMETOOLONG || (error == ENOENT && fatRefuses(name)))
        return FileResult::failure(FileResult::Status::NameRefused,
                                   QStringLiteral("Der Datenträger erlaubt diesen Dateinamen nicht"));
    return FileResult::fromErrno(error);
}

FileResult dataFailure(int error)
{
    return error == ECANCELED ? FileResult::cancelled() : FileResult::fromErrno(error);
}

// Gives a complete file under a temporary name its real one; 0 or an errno value. Only
// with Overwrite::Yes may it take the place of an existing file.
int nameFile(const Folder &to, const QByteArray &temporary, const QByteArray &name, Overwrite overwrite)
{
    const int dir = to.handle();
    Folder::Abilities &can = to.abilities();
    if (overwrite == Overwrite::Yes)
        return ::renameat(dir, temporary.constData(), dir, name.constData()) == 0 ? 0 : errno;
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

// Writes the copy into a file without a name and gives it its name only when complete: even a
// crash or a pulled medium cannot leave a partial or stray file behind, and it costs less than
// a temporary name. Nothing when the file system cannot do that.
std::optional<FileResult> copyUnnamed(int in, const struct stat &sourceStat, const Folder &to, const FileName &name,
                                      const CopyOptions &options)
{
    if (!to.abilities().unnamedFiles || !procFdAvailable())
        return std::nullopt;
    UniqueFd out(::openat(to.handle(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!out.valid()) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return FileResult::fromErrno(errno);
        to.abilities().unnamedFiles = false;
        return std::nullopt;
    }
    if (const int error = fillFile(in, out.get(), sourceStat, options); error != 0)
        return dataFailure(error);

    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(out.get());
    if (::linkat(AT_FDCWD, unnamed.constData(), to.handle(), name.native().constData(), AT_SYMLINK_FOLLOW) == 0)
        return out.close() == 0 ? FileResult::success() : FileResult::fromErrno(errno);
    if (errno != EEXIST || options.overwrite == Overwrite::No)
        return namingFailure(errno, name);
    // Replacing: the complete file gets a temporary name first, which then takes the place of
    // the old one in one step.
    const QByteArray temporary = temporaryName();
    if (::linkat(AT_FDCWD, unnamed.constData(), to.handle(), temporary.constData(), AT_SYMLINK_FOLLOW) != 0)
        return FileResult::fromErrno(errno);
    if (const int error = nameFile(to, temporary, name.native(), Overwrite::Yes); error != 0) {
        ::unlinkat(to.handle(), temporary.constData(), 0);
        return namingFailure(error, name);
    }
    return out.close() == 0 ? FileResult::success() : FileResult::fromErrno(errno);
}
#endif

FileResult copyNamed(int in, const struct stat &sourceStat, const Folder &to, const FileName &name,
                     const CopyOptions &options)
{
    QByteArray temporary;
    UniqueFd out;
    for (int attempt = 0; attempt < 100 && !out.valid(); ++attempt) {
        temporary = temporaryName();
        // The usual permissions: mkstemp would make the file private to the user, and the copy would keep that.
        out = UniqueFd(::openat(to.handle(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!out.valid() && errno != EEXIST)
            return FileResult::fromErrno(errno);
    }
    if (!out.valid())
        return FileResult::fromErrno(EEXIST);
    int error = fillFile(in, out.get(), sourceStat, options);
    if (error == 0 && out.close() != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(to.handle(), temporary.constData(), 0);
        return dataFailure(error);
    }
    if (error = nameFile(to, temporary, name.native(), options.overwrite); error != 0) {
        ::unlinkat(to.handle(), temporary.constData(), 0);
        return namingFailure(error, name);
    }
    return FileResult::success();
}
#endif

} // namespace

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
    for (const QByteArray &name : std::as_const(leftovers))
        ::unlinkat(folder.handle(), name.constData(), 0);
#else
    Q_UNUSED(folder);
#endif
}

FileResult copyFile(const Folder &from, const FileName &name, const Folder &to, const CopyOptions &options)
{
    if (!to.isOpen())
        return to.opened();
#ifdef Q_OS_UNIX
    UniqueFd in;
    struct stat sourceStat {};
    if (const FileResult opened = openFile(from, name, in, sourceStat); !opened.ok())
        return opened;
#ifdef Q_OS_LINUX
    if (std::optional<FileResult> done = copyUnnamed(in.get(), sourceStat, to, name, options))
        return *done;
#endif
    return copyNamed(in.get(), sourceStat, to, name, options);
#else
    QFile in;
    if (const FileResult opened = openForReading(from, name, in); !opened.ok())
        return opened;
    const QString target = joinPath(to.path(), name.text());
    if (options.overwrite == Overwrite::No && QFileInfo::exists(target))
        return FileResult::failure(FileResult::Status::AlreadyExists, QStringLiteral("Die Datei existiert bereits"));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return FileResult::failure(FileResult::Status::Failed, out.errorString());
    QByteArray buffer;
    const qint64 total = in.size();
    qint64 copied = 0;
    while (!(buffer = in.read(chunkSize)).isEmpty()) {
        if (options.cancel && options.cancel->load()) {
            out.cancelWriting();
            return FileResult::cancelled();
        }
        if (out.write(buffer) != buffer.size())
            return FileResult::failure(FileResult::Status::Failed, out.errorString());
        copied += buffer.size();
        if (options.progress)
            options.progress(copied, total);
    }
    if (!out.commit())
        return FileResult::failure(FileResult::Status::Failed, out.errorString());
    return FileResult::success();
#endif
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
