#include "platform/Folder.h"

#include "platform/Listing.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include "platform/UniqueFd.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tonvola::fs {

namespace {

FileResult notAFile()
{
    return FileResult::failure(FileResult::Status::NotAFile, QStringLiteral("Das ist keine gewöhnliche Datei"));
}

#ifdef Q_OS_UNIX
// A folder whose name is not there gets a sentence of its own; the system's would speak of files.
FileResult folderFailure(int error)
{
    FileResult result = FileResult::fromErrno(error);
    if (error == ENOENT)
        result.reason = QStringLiteral("Das Verzeichnis ist nicht vorhanden");
    else if (error == ENOTDIR)
        result.reason = QStringLiteral("Das ist kein Verzeichnis");
    return result;
}

bool isMp3Name(const char *name, std::size_t length)
{
    return length >= 4 && ::strncasecmp(name + length - 4, ".mp3", 4) == 0;
}

#endif

} // namespace

#ifdef Q_OS_UNIX
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
#endif

bool isBeingWritten(const Entry &entry)
{
    // Long enough for a writer that pauses between its blocks, and for FAT, which keeps
    // modification times to two seconds.
    constexpr qint64 window = 3000000000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000000;
    return entry.isFile() && entry.modifiedNs <= now && now - entry.modifiedNs < window;
}

Folder::Folder(QString path) : m_path(std::move(path))
{
    if (m_path.isEmpty()) {
        m_opened =
            FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Es ist kein Verzeichnis angegeben"));
        return;
    }
#ifdef Q_OS_UNIX
    m_fd = ::open(nativePath(m_path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        m_opened = folderFailure(errno);
        return;
    }
    m_device = st.st_dev;
    m_inode = st.st_ino;
    m_opened = FileResult::success();
#else
    const QFileInfo info(m_path);
    if (!info.isDir())
        m_opened =
            FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Das Verzeichnis ist nicht vorhanden"));
    else if (!info.isReadable())
        m_opened = FileResult::failure(FileResult::Status::PermissionDenied, QStringLiteral("Zugriff verweigert"));
    else
        m_opened = FileResult::success();
#endif
}

Folder::~Folder()
{
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

Folder::Folder(Folder &&other) noexcept
    : m_path(std::move(other.m_path)), m_abilities(other.m_abilities), m_opened(std::move(other.m_opened)),
      m_fd(other.m_fd), m_device(other.m_device), m_inode(other.m_inode)
{
    other.m_fd = -1;
}

Folder &Folder::operator=(Folder &&other) noexcept
{
    if (this != &other) {
#ifdef Q_OS_UNIX
        if (m_fd >= 0)
            ::close(m_fd);
#endif
        m_path = std::move(other.m_path);
        m_abilities = other.m_abilities;
        m_opened = std::move(other.m_opened);
        m_fd = other.m_fd;
        m_device = other.m_device;
        m_inode = other.m_inode;
        other.m_fd = -1;
    }
    return *this;
}

bool Folder::isSameAs(const Folder &other) const
{
#ifdef Q_OS_UNIX
    if (isOpen() && other.isOpen())
        return m_device == other.m_device && m_inode == other.m_inode;
#endif
    return isSameDirectory(m_path, other.m_path);
}

bool Folder::sharesVolumeWith(const Folder &other) const
{
#ifdef Q_OS_UNIX
    return isOpen() && other.isOpen() && m_device == other.m_device;
#else
    return QStorageInfo(m_path) == QStorageInfo(other.m_path);
#endif
}

bool Folder::isReachable() const
{
#ifdef Q_OS_UNIX
    struct stat st {};
    return isOpen() && ::stat(nativePath(m_path).constData(), &st) == 0 && st.st_dev == m_device
           && st.st_ino == m_inode;
#else
    return isOpen() && QFileInfo(m_path).isDir();
#endif
}

#ifdef Q_OS_UNIX
namespace {

bool hasKind(const DirEntry &entry, unsigned char type, mode_t kind)
{
    if (entry.type != DT_UNKNOWN && entry.type != DT_LNK)
        return entry.type == type;
    struct stat st {};
    return ::fstatat(entry.folder, entry.name, &st, 0) == 0 && (st.st_mode & S_IFMT) == kind;
}

} // namespace

bool DirEntry::isRegular() const
{
    return hasKind(*this, DT_REG, S_IFREG);
}

bool DirEntry::isFolder() const
{
    return hasKind(*this, DT_DIR, S_IFDIR);
}

int forEachEntry(int folder, const std::function<void(const DirEntry &)> &visit)
{
    // A handle of its own, so that going through the folder twice starts at the beginning each time.
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
        visit({entry->d_name, length, entry->d_type, folder});
    }
    ::closedir(dir);
    return error;
}
#endif

Listing Folder::mp3Files() const
{
    Listing listing;
    if (!isOpen()) {
        listing.result = m_opened;
        return listing;
    }
#ifdef Q_OS_UNIX
    // Read straight from the directory: the file type comes with each entry, so a folder of
    // tens of thousands of files costs one pass and no look at every file.
    const int error = forEachEntry(m_fd, [&listing](const DirEntry &entry) {
        if (entry.name[0] != '.' && isMp3Name(entry.name, entry.length) && entry.isRegular())
            listing.names.append(FileName::fromNative(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
    });
    if (error != 0)
        listing.result = folderFailure(error);
#else
    QDirIterator it(m_path, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        if (isMp3(it.fileName()))
            listing.names.append(FileName::fromText(it.fileName()));
    }
#endif
    listing.keys = inListOrder(std::move(listing.names));
    listing.names = namesOf(listing.keys);
    return listing;
}

Entry Folder::look(const FileName &name) const
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (!isOpen() || ::fstatat(m_fd, name.native().constData(), &st, 0) != 0) {
        // A link that leads nowhere still holds the name.
        if (isOpen() && errno == ENOENT && ::fstatat(m_fd, name.native().constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return {Entry::Kind::Other};
        return {};
    }
    return entryFrom(st);
#else
    const QFileInfo info(joinPath(m_path, name.text()));
    if (!info.exists() && !info.isSymLink())
        return {};
    Entry entry;
    entry.kind = info.isFile() ? Entry::Kind::File : Entry::Kind::Other;
    entry.size = info.size();
    entry.modifiedNs = info.lastModified().toMSecsSinceEpoch() * 1000000;
    entry.writeProtected = !info.isWritable();
    return entry;
#endif
}

FileResult Folder::remove(const FileName &name) const
{
    if (!isOpen())
        return m_opened;
#ifdef Q_OS_UNIX
    const QByteArray native = name.native();
    struct stat st {};
    if (::fstatat(m_fd, native.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return FileResult::fromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return FileResult::fromErrno(EISDIR);
    if (S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0)
        return FileResult::failure(FileResult::Status::PermissionDenied,
                                   QStringLiteral("Die Datei ist schreibgeschützt"));
    if (::unlinkat(m_fd, native.constData(), 0) != 0)
        return FileResult::fromErrno(errno);
    return FileResult::success();
#else
    QFile file(joinPath(m_path, name.text()));
    if (!file.exists())
        return FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Die Datei existiert nicht"));
    if (!QFileInfo(file).isWritable())
        return FileResult::failure(FileResult::Status::PermissionDenied,
                                   QStringLiteral("Die Datei ist schreibgeschützt"));
    if (!file.remove())
        return FileResult::failure(FileResult::Status::Failed, file.errorString());
    return FileResult::success();
#endif
}

#ifdef Q_OS_UNIX
FileResult openFile(const Folder &folder, const FileName &name, UniqueFd &fd, struct stat &st)
{
    if (!folder.isOpen())
        return folder.opened();
    // Without O_NONBLOCK, opening a pipe would wait for a writer that never comes.
    fd = UniqueFd(::openat(folder.handle(), name.native().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    // ENXIO: a socket, or a device without its driver.
    if (!fd.valid())
        return errno == ENXIO ? notAFile() : FileResult::fromErrno(errno);
    if (::fstat(fd.get(), &st) != 0)
        return FileResult::fromErrno(errno);
    if (!S_ISREG(st.st_mode))
        return notAFile();
    return FileResult::success();
}
#endif

FileResult Folder::removeIfUnchanged(const FileName &name, const Entry &seen) const
{
    if (!isOpen())
        return m_opened;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::fstatat(m_fd, name.native().constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return FileResult::fromErrno(errno);
    if (!entryFrom(st).isUnchangedSince(seen))
        return FileResult::failure(FileResult::Status::SourceChanged,
                                   QStringLiteral("Die Datei wurde inzwischen verändert"));
#else
    const Entry now = look(name);
    if (now.size != seen.size || now.modifiedNs != seen.modifiedNs)
        return FileResult::failure(FileResult::Status::SourceChanged,
                                   QStringLiteral("Die Datei wurde inzwischen verändert"));
#endif
    return remove(name);
}

FileResult openForReading(const Folder &folder, const FileName &name, QFile &file)
{
#ifdef Q_OS_UNIX
    UniqueFd fd;
    struct stat st {};
    if (const FileResult opened = openFile(folder, name, fd, st); !opened.ok())
        return opened;
    if (!file.open(fd.get(), QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle))
        return FileResult::failure(FileResult::Status::Failed, file.errorString());
    (void)fd.release();
    return FileResult::success();
#else
    if (!folder.isOpen())
        return folder.opened();
    file.setFileName(joinPath(folder.path(), name.text()));
    if (!QFileInfo(file).isFile())
        return QFileInfo::exists(file.fileName())
                   ? notAFile()
                   : FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Die Datei ist nicht vorhanden"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return FileResult::failure(FileResult::Status::Failed, file.errorString());
    return FileResult::success();
#endif
}

FileResult openForReading(const FilePath &path, QFile &file)
{
    return openForReading(Folder(path.folder), path.name, file);
}

Likeness compareFiles(const Folder &a, const FileName &aName, const Folder &b, const FileName &bName, Entry *seenA,
                      Entry *seenB)
{
    QFile fa;
    QFile fb;
    if (!openForReading(a, aName, fa).ok() || !openForReading(b, bName, fb).ok())
        return Likeness::Unreadable;
#ifdef Q_OS_UNIX
    struct stat sa {};
    struct stat sb {};
    if (::fstat(fa.handle(), &sa) != 0 || ::fstat(fb.handle(), &sb) != 0)
        return Likeness::Unreadable;
    // Deleting one of them because of the other would delete the only copy.
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino)
        return Likeness::SameFile;
    if (seenA)
        *seenA = entryFrom(sa);
    if (seenB)
        *seenB = entryFrom(sb);
#else
    if (QFileInfo(fa).canonicalFilePath() == QFileInfo(fb).canonicalFilePath())
        return Likeness::SameFile;
    if (seenA)
        *seenA = a.look(aName);
    if (seenB)
        *seenB = b.look(bName);
#endif
    if (fa.size() != fb.size())
        return Likeness::OtherBytes;
    constexpr qint64 block = 1024 * 1024;
    const auto da = std::make_unique_for_overwrite<char[]>(block);
    const auto db = std::make_unique_for_overwrite<char[]>(block);
    for (;;) {
        const qint64 na = fa.read(da.get(), block);
        const qint64 nb = fb.read(db.get(), block);
        if (na != nb || na < 0)
            return Likeness::OtherBytes;
        if (na == 0)
            return Likeness::SameBytes;
        if (std::memcmp(da.get(), db.get(), static_cast<std::size_t>(na)) != 0)
            return Likeness::OtherBytes;
    }
}

bool haveSameBytes(const Folder &a, const FileName &aName, const Folder &b, const FileName &bName)
{
    const Likeness likeness = compareFiles(a, aName, b, bName);
    return likeness == Likeness::SameBytes || likeness == Likeness::SameFile;
}

} // namespace tonvola::fs
