#include "platform/Native_p.h"

#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tonvola::fs {

namespace {

bool hasKind(const DirEntry &entry, unsigned char type, mode_t kind)
{
    if (entry.type != DT_UNKNOWN && entry.type != DT_LNK)
        return entry.type == type;
    struct stat st {};
    return ::fstatat(entry.folder, entry.name, &st, 0) == 0 && (st.st_mode & S_IFMT) == kind;
}

// What the kernel copies in one call, where it copies itself.
constexpr qint64 chunkSize = qint64(4) * 1024 * 1024;
// What passes through the program's own buffer in one turn: small enough to stay in the
// processor's cache between reading and writing, as cp's does.
constexpr qint64 bufferSize = qint64(128) * 1024;

// Linux copies between two files itself (copy_file_range); elsewhere the program's own buffer
// serves.
#ifdef Q_OS_LINUX
ssize_t copyInKernel(int from, int to)
{
    return ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(chunkSize), 0);
}

#else
ssize_t copyInKernel(int /*from*/, int /*to*/)
{
    errno = ENOSYS;
    return -1;
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

} // namespace

int copyData(int from, int to, qint64 total, const std::atomic_bool *cancel,
             const std::function<void(qint64 copied, qint64 total)> &progress)
{
    thread_local CopyBuffer buffer;
    qint64 copied = 0;
    bool kernelCopy = true;
    for (;;) {
        if (cancel && cancel->load(std::memory_order_relaxed))
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
        if (progress)
            progress(copied, total);
        // The size the file had when it was opened is all there is to copy: a file that grew
        // since then has changed, which the look after the copy finds (changedWhileRead), and
        // asking for its end once more would cost a call for every small file.
        if (copied == total)
            return 0;
    }
}

Entry entryFrom(const struct stat &st)
{
    const auto ns = [](const timespec &t) { return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    Entry entry;
    entry.kind = S_ISREG(st.st_mode) ? Entry::Kind::File : Entry::Kind::Other;
    entry.size = static_cast<qint64>(st.st_size);
    entry.modifiedNs = ns(st.st_mtim);
    entry.changedNs = ns(st.st_ctim);
    entry.device = static_cast<quint64>(st.st_dev);
    entry.inode = static_cast<quint64>(st.st_ino);
    entry.writeProtected = (st.st_mode & S_IWUSR) == 0;
    return entry;
}

bool DirEntry::isRegular() const
{
    return hasKind(*this, DT_REG, S_IFREG);
}

bool DirEntry::isFolder() const
{
    return hasKind(*this, DT_DIR, S_IFDIR);
}

int readEntries(int fd, const std::function<void(const DirEntry &)> &visit)
{
    DIR *dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        return error;
    }
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(dir);
        if (!entry) {
            error = errno;
            break;
        }
        const std::size_t length = std::strlen(entry->d_name);
        if ((length == 1 && entry->d_name[0] == '.') || (length == 2 && std::strcmp(entry->d_name, "..") == 0))
            continue;
        visit({entry->d_name, length, entry->d_type, fd});
    }
    ::closedir(dir);
    return error;
}

int forEachEntry(int folder, const std::function<void(const DirEntry &)> &visit)
{
    // A handle of its own, so that going through the folder twice starts at the beginning each time.
    return readEntries(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), visit);
}

FileResult openFile(const Folder &folder, const FileName &name, UniqueFd &fd, struct stat &st)
{
    if (!folder.isOpen())
        return folder.opened();
    // Without O_NONBLOCK, opening a pipe would wait for a writer that never comes.
    fd = UniqueFd(::openat(folder.handle(), name.native().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    // ENXIO: a socket, or a device without its driver.
    if (!fd.valid())
        return errno == ENXIO ? native::notAFile() : FileResult::fromErrno(errno);
    if (::fstat(fd.get(), &st) != 0)
        return FileResult::fromErrno(errno);
    if (!S_ISREG(st.st_mode))
        return native::notAFile();
    return FileResult::success();
}

} // namespace tonvola::fs
