#include "platform/Folder.h"

#include "platform/Listing.h"
#include "platform/Native_p.h"
#include "platform/Path.h"
#include "platform/UniqueFd.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonvola::fs {

struct Folder::Native {
    UniqueFd fd;
    quint64 device = 0;
    quint64 inode = 0;
};

namespace {

// A folder whose name is not there gets a sentence of its own; the system's would speak of files.
FileResult folderFailure(int error)
{
    FileResult result = FileResult::fromErrno(error);
    if (error == ENOENT)
        result.reason = FileResult::Reason::FolderMissing;
    else if (error == ENOTDIR)
        result.reason = FileResult::Reason::NotAFolder;
    return result;
}

bool isMp3Name(const char *name, std::size_t length)
{
    return length >= 4 && ::strncasecmp(name + length - 4, ".mp3", 4) == 0;
}

// A folder, not a link to one: its type is the link's, and a look that does not follow it says so.
bool isFolderItself(const DirEntry &entry)
{
    if (entry.type != DT_UNKNOWN)
        return entry.type == DT_DIR;
    struct stat st {};
    return ::fstatat(entry.folder, entry.name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

Folder::Folder(QString path) : m_path(std::move(path))
{
    if (m_path.isEmpty()) {
        m_opened = FileResult::failure(FileResult::Status::NotFound, FileResult::Reason::NoFolderGiven);
        return;
    }
    UniqueFd fd(::open(nativePath(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        m_opened = folderFailure(errno);
        return;
    }
    m_native = std::make_unique<Native>(
        Native{std::move(fd), static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)});
    m_opened = FileResult::success();
}

Folder::Folder() = default;
Folder::~Folder() = default;
Folder::Folder(Folder &&other) noexcept = default;
Folder &Folder::operator=(Folder &&other) noexcept = default;

int Folder::handle() const
{
    return m_native ? m_native->fd.get() : -1;
}

bool Folder::isSameAs(const Folder &other) const
{
    if (m_native && other.m_native)
        return m_native->device == other.m_native->device && m_native->inode == other.m_native->inode;
    return isSameDirectory(m_path, other.m_path);
}

bool Folder::isReachable() const
{
    struct stat st {};
    return m_native && ::stat(nativePath(m_path).constData(), &st) == 0 && st.st_dev == m_native->device
           && st.st_ino == m_native->inode;
}

Folder::Contents Folder::readChild(const FileName &name) const
{
    Contents contents;
    if (!isOpen()) {
        contents.result = m_opened;
        return contents;
    }
    // One pass with the folder's own handle: a walk through ten thousand album folders pays
    // for each no more than opening, reading and closing it.
    const int fd = ::openat(handle(), name.native().constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        contents.result = error == ELOOP || error == ENOTDIR
                              ? FileResult::failure(FileResult::Status::NotAFile, FileResult::Reason::NotAFolder)
                              : folderFailure(error);
        return contents;
    }
    if (static_cast<quint64>(st.st_dev) != m_native->device) {
        ::close(fd);
        contents.result = FileResult::failure(FileResult::Status::NotAFile, FileResult::Reason::OtherMediumMounted);
        return contents;
    }
    const int error = readEntries(fd, [&contents](const DirEntry &entry) {
        if (entry.name[0] == '.')
            return;
        const auto bytes = [&entry] { return QByteArray(entry.name, static_cast<qsizetype>(entry.length)); };
        if (isFolderItself(entry)) {
            contents.folders.append(FileName::fromNative(bytes()));
        } else if (isMp3Name(entry.name, entry.length)) {
            struct stat file {};
            // A link to a file counts, as in mp3Files(); one that leads nowhere does not.
            if (::fstatat(entry.folder, entry.name, &file, 0) == 0 && S_ISREG(file.st_mode)) {
                contents.files.append(FileName::fromNative(bytes()));
                contents.entries.push_back(entryFrom(file));
            }
        }
    });
    if (error != 0)
        contents.result = folderFailure(error);
    return contents;
}

Listing Folder::mp3Files(Order order, FileNames *folders) const
{
    Listing listing;
    if (!isOpen()) {
        listing.result = m_opened;
        return listing;
    }
    // Read straight from the directory: the file type comes with each entry, so a folder of
    // tens of thousands of files costs one pass and no look at every file.
    const int error = forEachEntry(handle(), [&listing, folders](const DirEntry &entry) {
        if (entry.name[0] == '.')
            return;
        if (folders && isFolderItself(entry))
            folders->append(FileName::fromNative(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
        else if (isMp3Name(entry.name, entry.length) && entry.isRegular())
            listing.names.append(FileName::fromNative(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
    });
    if (error != 0)
        listing.result = folderFailure(error);
    if (order == Order::None)
        return listing;
    listing.keys = inListOrder(std::move(listing.names));
    listing.names = namesOf(listing.keys);
    return listing;
}

Listing Folder::subFolders() const
{
    Listing listing;
    if (!isOpen()) {
        listing.result = m_opened;
        return listing;
    }
    const int error = forEachEntry(handle(), [&listing](const DirEntry &entry) {
        if (entry.name[0] != '.' && isFolderItself(entry))
            listing.names.append(FileName::fromNative(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
    });
    if (error != 0)
        listing.result = folderFailure(error);
    return listing;
}

Folder Folder::child(const FileName &name) const
{
    Folder folder;
    folder.m_path = joinPath(m_path, name.text());
    if (!isOpen()) {
        folder.m_opened = m_opened;
        return folder;
    }
    UniqueFd fd(::openat(handle(), name.native().constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
        // A link put in the folder's place is no folder of this one.
        folder.m_opened = errno == ELOOP || errno == ENOTDIR
                              ? FileResult::failure(FileResult::Status::NotAFile, FileResult::Reason::NotAFolder)
                              : folderFailure(errno);
        return folder;
    }
    // Another medium mounted below the collection is a collection of its own.
    if (static_cast<quint64>(st.st_dev) != m_native->device) {
        folder.m_opened = FileResult::failure(FileResult::Status::NotAFile, FileResult::Reason::OtherMediumMounted);
        return folder;
    }
    folder.m_native = std::make_unique<Native>(
        Native{std::move(fd), static_cast<quint64>(st.st_dev), static_cast<quint64>(st.st_ino)});
    folder.m_opened = FileResult::success();
    return folder;
}

Entry Folder::look(const FileName &name) const
{
    struct stat st {};
    if (!isOpen() || ::fstatat(handle(), name.native().constData(), &st, 0) != 0) {
        // A link that leads nowhere still holds the name.
        if (isOpen() && errno == ENOENT
            && ::fstatat(handle(), name.native().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return {Entry::Kind::Other};
        return {};
    }
    return entryFrom(st);
}

FileResult Folder::remove(const FileName &name) const
{
    if (!isOpen())
        return m_opened;
    const QByteArray &bytes = name.native();
    struct stat st {};
    if (::fstatat(handle(), bytes.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return FileResult::fromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return FileResult::fromErrno(EISDIR);
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0)
        return native::writeProtected();
    if (::unlinkat(handle(), bytes.constData(), 0) != 0)
        return FileResult::fromErrno(errno);
    return FileResult::success();
}

FileResult Folder::removeIfUnchanged(const FileName &name, const Entry &seen) const
{
    if (!isOpen())
        return m_opened;
    struct stat st {};
    if (::fstatat(handle(), name.native().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return FileResult::fromErrno(errno);
    if (!entryFrom(st).isUnchangedSince(seen))
        return native::changedMeanwhile();
    return remove(name);
}

FileResult openForReading(const Folder &folder, const FileName &name, QFile &file)
{
    UniqueFd fd;
    struct stat st {};
    if (FileResult opened = openFile(folder, name, fd, st); !opened.ok())
        return opened;
    if (!file.open(fd.get(), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return FileResult::described(FileResult::Status::Failed, file.errorString());
    (void)fd.release();
    return FileResult::success();
}

namespace {

native::ReadUpTo readerOf(int fd)
{
    return [fd](char *data, qint64 size) -> qint64 {
        qint64 got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, data + got, static_cast<size_t>(size - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return -1;
            if (n == 0)
                break;
            got += n;
        }
        return got;
    };
}

} // namespace

Likeness compareFiles(const Folder &a, const FileName &aName, const Folder &b, const FileName &bName, Entry *seenA,
                      Entry *seenB, Span span, qint64 *read)
{
    if (read)
        *read = 0;
    UniqueFd fa;
    UniqueFd fb;
    struct stat sa {};
    struct stat sb {};
    if (!openFile(a, aName, fa, sa).ok() || !openFile(b, bName, fb, sb).ok())
        return Likeness::Unreadable;
    const Entry ea = entryFrom(sa);
    const Entry eb = entryFrom(sb);
    // Deleting one of them because of the other would delete the only copy.
    if (ea.isSameFileAs(eb))
        return Likeness::SameFile;
    if (seenA)
        *seenA = ea;
    if (seenB)
        *seenB = eb;
    if (ea.size != eb.size)
        return Likeness::OtherBytes;
    const auto skipper = [](int fd) {
        return [fd](qint64 offset) { return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == offset; };
    };
    // The system would read ahead far beyond the tags, which on a slow stick costs what the
    // short comparison saves.
    if (span == Span::Tags) {
        for (const int fd : {fa.get(), fb.get()})
            (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
    }
    return native::compareSpan(ea.size, span, readerOf(fa.get()), readerOf(fb.get()), skipper(fa.get()),
                               skipper(fb.get()), read);
}

bool isCutShortOf(const Folder &whole, const FileName &wholeName, const Folder &part, const FileName &partName)
{
    UniqueFd fw;
    UniqueFd fp;
    struct stat sw {};
    struct stat sp {};
    if (!openFile(whole, wholeName, fw, sw).ok() || !openFile(part, partName, fp, sp).ok())
        return false;
    const Entry ew = entryFrom(sw);
    const Entry ep = entryFrom(sp);
    if (ew.isSameFileAs(ep) || ep.size > ew.size)
        return false;
    // A part that matches the whole to its end is the whole file, no cut copy.
    const qint64 matched = native::matchedPrefix(ep.size, readerOf(fw.get()), readerOf(fp.get()));
    return matched >= 0 && matched < ew.size;
}

} // namespace tonvola::fs
