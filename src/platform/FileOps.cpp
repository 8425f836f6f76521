#include "platform/FileOps.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStorageInfo>

#ifndef Q_OS_UNIX
#include <QSaveFile>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#ifdef Q_OS_LINUX
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif
#include <unistd.h>
#endif

namespace tonvola::fs {

namespace {

#ifdef Q_OS_UNIX
// The system's reason in the program's language; the system's own words where we have none.
QString reasonFor(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("Die Datei oder das Verzeichnis ist nicht vorhanden");
    case ENOTDIR:
        return QStringLiteral("Ein Teil des Pfades ist kein Verzeichnis");
    case EISDIR:
        return QStringLiteral("Das ist ein Verzeichnis, keine Datei");
    case EEXIST:
        return QStringLiteral("Eine Datei dieses Namens ist bereits vorhanden");
    case ENOSPC:
        return QStringLiteral("Auf dem Datenträger ist kein Platz mehr frei");
    case EDQUOT:
        return QStringLiteral("Das Speicherkontingent ist erschöpft");
    case EFBIG:
        return QStringLiteral("Die Datei ist zu groß für diesen Datenträger");
    case EROFS:
        return QStringLiteral("Der Datenträger ist schreibgeschützt");
    case EACCES:
        return QStringLiteral("Zugriff verweigert");
    case EPERM:
        return QStringLiteral("Der Vorgang ist nicht zulässig (die Datei ist geschützt)");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("Die Datei wird gerade benutzt");
    case ENAMETOOLONG:
        return QStringLiteral("Der Name ist zu lang");
    case EIO:
        return QStringLiteral("Ein-/Ausgabefehler auf dem Datenträger");
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
    case ESTALE:
        return QStringLiteral("Der Datenträger ist nicht bereit");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

FileResult fromErrno(int error)
{
    using Status = FileResult::Status;
    Status status = Status::Failed;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
    case ENOMEDIUM:
    case ESTALE:
        status = Status::NotFound;
        break;
    case EEXIST:
        status = Status::AlreadyExists;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        status = Status::NoSpace;
        break;
    case EROFS:
        status = Status::ReadOnly;
        break;
    case EACCES:
    case EPERM:
        status = Status::PermissionDenied;
        break;
    default:
        break;
    }
    return FileResult::failure(status, reasonFor(error));
}

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    // Closing reports the last write errors of some file systems, so it is checked.
    [[nodiscard]] int close()
    {
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc;
    }

private:
    int m_fd = -1;
};

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

constexpr qint64 chunkSize = 4 * 1024 * 1024;

// A new hidden file in the folder, created with the usual permissions (mkstemp would
// make it private to the user, and the copy would keep that).
FileDescriptor createTemporary(const QString &folder, QByteArray &path)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            QStringLiteral(".tonvola-%1.part").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
        path = nativePath(joinPath(folder, name));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return FileDescriptor(fd);
    }
    return FileDescriptor(-1);
}

// Moves the data; returns 0 or an errno value. ECANCELED when the cancel flag was raised.
int copyData(int from, int to, qint64 total, const CopyOptions &options)
{
    qint64 copied = 0;
    bool kernelCopy = true;
    std::unique_ptr<char[]> buffer;
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
        } else
#endif
        {
            kernelCopy = false;
            if (!buffer)
                buffer = std::make_unique<char[]>(static_cast<size_t>(chunkSize));
            n = ::read(from, buffer.get(), static_cast<size_t>(chunkSize));
            if (n > 0) {
                ssize_t written = 0;
                while (written < n) {
                    const ssize_t w = ::write(to, buffer.get() + written, static_cast<size_t>(n - written));
                    if (w < 0) {
                        if (errno == EINTR)
                            continue;
                        return errno;
                    }
                    written += w;
                }
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

FileResult finishedCopy(int error)
{
    if (error == 0)
        return FileResult::success();
    if (error == ECANCELED)
        return FileResult::failure(FileResult::Status::Cancelled, QStringLiteral("Abgebrochen"));
    return fromErrno(error);
}

#ifdef Q_OS_LINUX
// Writes the copy into a file without a name and gives it its name only when complete: even a
// crash or a pulled medium cannot leave a partial or stray file behind, and it costs less than
// a temporary name. Nothing when the file system cannot do that; the caller then copies
// under a temporary name.
std::optional<FileResult> copyUnnamed(int in, const struct stat &sourceStat, const QString &folder,
                                      const QString &target, const CopyOptions &options)
{
    FileDescriptor out(::open(nativePath(folder).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (!out.valid()) {
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return std::nullopt;
        return fromErrno(errno);
    }
    int error = copyData(in, out.get(), sourceStat.st_size, options);
    if (error == 0 && options.durable && ::fdatasync(out.get()) != 0 && errno != EINVAL)
        error = errno;
    if (error != 0)
        return finishedCopy(error);
    const std::array<timespec, 2> times = {sourceStat.st_atim, sourceStat.st_mtim};
    ::futimens(out.get(), times.data());

    const QByteArray unnamed = "/proc/self/fd/" + QByteArray::number(out.get());
    const QByteArray targetPath = nativePath(target);
    // linkat() refuses to replace an existing name, so "no overwrite" holds without a race.
    if (::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, targetPath.constData(), AT_SYMLINK_FOLLOW) == 0)
        return finishedCopy(out.close() != 0 ? errno : 0);
    if (errno == ENOENT && !QFileInfo::exists(QStringLiteral("/proc/self/fd")))
        return std::nullopt;
    if (errno != EEXIST || options.overwrite == Overwrite::No)
        return fromErrno(errno);

    // Replacing: the complete file gets a temporary name first, which then takes the place of
    // the old one in one step.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray tempPath =
            nativePath(joinPath(folder, QStringLiteral(".tonvola-%1.part")
                                            .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'))));
        if (::linkat(AT_FDCWD, unnamed.constData(), AT_FDCWD, tempPath.constData(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST)
                continue;
            return fromErrno(errno);
        }
        if (::rename(tempPath.constData(), targetPath.constData()) != 0) {
            const int renameError = errno;
            ::unlink(tempPath.constData());
            return fromErrno(renameError);
        }
        return finishedCopy(out.close() != 0 ? errno : 0);
    }
    return fromErrno(EEXIST);
}
#endif

FileResult copyIntoUnix(const QString &source, const QString &folder, const CopyOptions &options)
{
    const QString name = QFileInfo(source).fileName();
    const QString target = joinPath(folder, name);

    FileDescriptor in(::open(nativePath(source).constData(), O_RDONLY | O_CLOEXEC));
    if (!in.valid())
        return fromErrno(errno);
    struct stat sourceStat {};
    if (::fstat(in.get(), &sourceStat) != 0)
        return fromErrno(errno);
    if (S_ISDIR(sourceStat.st_mode))
        return fromErrno(EISDIR);

    if (options.overwrite == Overwrite::No && QFileInfo::exists(target))
        return fromErrno(EEXIST);

#ifdef Q_OS_LINUX
    if (std::optional<FileResult> done = copyUnnamed(in.get(), sourceStat, folder, target, options))
        return *done;
#endif

    QByteArray tempPath;
    FileDescriptor out = createTemporary(folder, tempPath);
    if (!out.valid())
        return fromErrno(errno);

    int error = copyData(in.get(), out.get(), sourceStat.st_size, options);
    if (error == 0 && options.durable && ::fdatasync(out.get()) != 0 && errno != EINVAL)
        error = errno;
    if (error == 0) {
        const std::array<timespec, 2> times = {sourceStat.st_atim, sourceStat.st_mtim};
        ::futimens(out.get(), times.data());
    }
    if (error == 0 && out.close() != 0)
        error = errno;
    if (error == 0) {
        const QByteArray targetPath = nativePath(target);
        if (options.overwrite == Overwrite::Yes) {
            if (::rename(tempPath.constData(), targetPath.constData()) != 0)
                error = errno;
        } else if (::link(tempPath.constData(), targetPath.constData()) == 0) {
            // link() refuses to replace an existing name, which rename() would not.
            ::unlink(tempPath.constData());
        } else if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK) {
            // File systems without hard links: the existence check above has to do.
            if (QFileInfo::exists(target))
                error = EEXIST;
            else if (::rename(tempPath.constData(), targetPath.constData()) != 0)
                error = errno;
        } else {
            error = errno;
        }
    }
    if (error != 0) {
        ::unlink(tempPath.constData());
        if (error == ECANCELED)
            return FileResult::failure(FileResult::Status::Cancelled, QStringLiteral("Abgebrochen"));
        return fromErrno(error);
    }
    return FileResult::success();
}
#endif

// Folds code point by code point, as a case-insensitive comparison does, so that comparing
// folded forms orders names as that comparison would.
QString caseFolded(const QString &name)
{
    QString folded(name.size(), Qt::Uninitialized);
    QChar *out = folded.data();
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = name.at(i);
        if (c.isHighSurrogate() && i + 1 < n && name.at(i + 1).isLowSurrogate()) {
            const char32_t code = QChar::toCaseFolded(QChar::surrogateToUcs4(c, name.at(i + 1)));
            out[i] = QChar(QChar::highSurrogate(code));
            out[i + 1] = QChar(QChar::lowSurrogate(code));
            ++i;
        } else if (c.unicode() < 0x80) {
            out[i] = (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + (u'a' - u'A')) : c;
        } else {
            out[i] = c.toCaseFolded();
        }
    }
    return folded;
}

} // namespace

bool isMp3(QStringView name)
{
    return name.endsWith(u".mp3", Qt::CaseInsensitive);
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

bool listsBefore(const QString &a, const QString &b)
{
    // Names are mostly plain ASCII, where folding is a matter of A-Z; only names that differ
    // beyond an ASCII prefix need the full comparison.
    const qsizetype common = std::min(a.size(), b.size());
    const QChar *pa = a.constData();
    const QChar *pb = b.constData();
    for (qsizetype i = 0; i < common; ++i) {
        char16_t x = pa[i].unicode();
        char16_t y = pb[i].unicode();
        if (x >= 0x80 || y >= 0x80) {
            const int c = a.compare(b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        }
        if (x >= u'A' && x <= u'Z')
            x += u'a' - u'A';
        if (y >= u'A' && y <= u'Z')
            y += u'a' - u'A';
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

QStringList mp3Files(const QString &folder)
{
    QStringList names;
#ifdef Q_OS_UNIX
    // Read straight from the directory: the file type comes with each entry, so a folder of
    // tens of thousands of files costs one pass and no look at every file.
    const QByteArray native = nativePath(folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return names;
    const int dirFd = ::dirfd(dir);
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::size_t length = std::strlen(entry->d_name);
        if (length < 4 || ::strncasecmp(entry->d_name + length - 4, ".mp3", 4) != 0)
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat st {};
            regular = ::fstatat(dirFd, entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (!regular)
            continue;
        QString name = QFile::decodeName(QByteArray(entry->d_name, static_cast<qsizetype>(length)));
        if (isMp3(name))
            names.append(std::move(name));
    }
    ::closedir(dir);
#else
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        QString name = it.fileName();
        if (isMp3(name))
            names.append(std::move(name));
    }
#endif
    // Folding each name once and comparing the folded forms as they are gives listsBefore's
    // order at a fraction of its cost, which counts for collections of tens of thousands.
    std::vector<std::pair<QString, QString>> keyed;
    keyed.reserve(static_cast<std::size_t>(names.size()));
    for (QString &name : names)
        keyed.emplace_back(caseFolded(name), std::move(name));
    std::sort(keyed.begin(), keyed.end(), [](const auto &x, const auto &y) {
        const int c = x.first.compare(y.first);
        return c != 0 ? c < 0 : x.second < y.second;
    });
    names.clear();
    for (auto &entry : keyed)
        names.append(std::move(entry.second));
    return names;
}

std::optional<qint64> availableBytes(const QString &folder)
{
#ifdef Q_OS_UNIX
    // statvfs on the folder itself: QStorageInfo would walk the mount table at every call.
    struct statvfs info {};
    if (::statvfs(nativePath(folder).constData(), &info) != 0)
        return std::nullopt;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
#else
    QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady())
        return std::nullopt;
    return storage.bytesAvailable();
#endif
}

FileResult copyInto(const QString &source, const QString &folder, const CopyOptions &options)
{
#ifdef Q_OS_UNIX
    return copyIntoUnix(source, folder, options);
#else
    const QString target = joinPath(folder, QFileInfo(source).fileName());
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return FileResult::failure(FileResult::Status::NotFound, in.errorString());
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
            return FileResult::failure(FileResult::Status::Cancelled, QStringLiteral("Abgebrochen"));
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

FileResult remove(const QString &path)
{
#ifdef Q_OS_UNIX
    const QByteArray native = nativePath(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return fromErrno(EISDIR);
    if (::unlink(native.constData()) != 0)
        return fromErrno(errno);
    return FileResult::success();
#else
    QFile file(path);
    if (!file.exists())
        return FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Die Datei existiert nicht"));
    if (!file.remove())
        return FileResult::failure(FileResult::Status::Failed, file.errorString());
    return FileResult::success();
#endif
}

std::optional<qint64> fileSize(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (::stat(nativePath(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
        return std::nullopt;
    return static_cast<qint64>(st.st_size);
#else
    const QFileInfo info(path);
    if (!info.exists() || info.isDir())
        return std::nullopt;
    return info.size();
#endif
}

bool namesIgnoreCase(const QString &folder)
{
#if defined(Q_OS_LINUX)
    const QByteArray native = nativePath(folder);
    struct statfs info {};
    if (::statfs(native.constData(), &info) == 0) {
        switch (static_cast<unsigned long>(info.f_type)) {
        case 0x4d44UL:     // FAT
        case 0x2011BAB0UL: // exFAT
        case 0x517BUL:     // SMB
        case 0xFF534D42UL: // CIFS
        case 0xFE534D42UL: // SMB2
            return true;
        default:
            break;
        }
    }
    FileDescriptor dir(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int flags = 0;
    return dir.valid() && ::ioctl(dir.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
#elif defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    Q_UNUSED(folder);
    return true;
#else
    Q_UNUSED(folder);
    return false;
#endif
}

FileResult flushVolume(const QString &folder)
{
#ifdef Q_OS_LINUX
    FileDescriptor dir(::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.valid())
        return fromErrno(errno);
    if (::syncfs(dir.get()) != 0)
        return fromErrno(errno);
#elif defined(Q_OS_UNIX)
    Q_UNUSED(folder);
    ::sync();
#else
    Q_UNUSED(folder);
#endif
    return FileResult::success();
}

bool isSameDirectory(const QString &a, const QString &b)
{
#ifdef Q_OS_UNIX
    struct stat sa {};
    struct stat sb {};
    if (::stat(nativePath(a).constData(), &sa) != 0 || ::stat(nativePath(b).constData(), &sb) != 0)
        return QDir::cleanPath(a) == QDir::cleanPath(b);
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#else
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (ca.isEmpty() || cb.isEmpty())
        return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
    return ca.compare(cb, Qt::CaseInsensitive) == 0;
#endif
}

bool haveSameContent(const QString &a, const QString &b)
{
    QFile fa(a);
    QFile fb(b);
    if (!fa.open(QIODevice::ReadOnly | QIODevice::Unbuffered) || !fb.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return false;
    if (fa.size() != fb.size())
        return false;
    // Reused buffers: reading with a large maximum would allocate that much for every call,
    // which costs more than the comparison itself when a fill compares thousands of small files.
    constexpr qint64 block = 64 * 1024;
    std::vector<char> da(static_cast<std::size_t>(block));
    std::vector<char> db(static_cast<std::size_t>(block));
    for (;;) {
        const qint64 na = fa.read(da.data(), block);
        const qint64 nb = fb.read(db.data(), block);
        if (na != nb || na < 0)
            return false;
        if (na == 0)
            return true;
        if (std::memcmp(da.data(), db.data(), static_cast<std::size_t>(na)) != 0)
            return false;
    }
}

bool isDirectory(const QString &path)
{
    return QFileInfo(path).isDir();
}

FileResult checkFolder(const QString &folder)
{
    if (folder.isEmpty())
        return FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Es ist kein Verzeichnis angegeben"));
#ifdef Q_OS_UNIX
    DIR *dir = ::opendir(nativePath(folder).constData());
    if (!dir) {
        const int error = errno;
        FileResult result = fromErrno(error);
        if (error == ENOENT)
            result.reason = QStringLiteral("Das Verzeichnis ist nicht vorhanden");
        else if (error == ENOTDIR)
            result.reason = QStringLiteral("Das ist kein Verzeichnis");
        return result;
    }
    ::closedir(dir);
    return FileResult::success();
#else
    const QFileInfo info(folder);
    if (!info.exists())
        return FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Das Verzeichnis ist nicht vorhanden"));
    if (!info.isDir())
        return FileResult::failure(FileResult::Status::NotFound, QStringLiteral("Das ist kein Verzeichnis"));
    if (!QDir(folder).isReadable())
        return FileResult::failure(FileResult::Status::PermissionDenied, QStringLiteral("Zugriff verweigert"));
    return FileResult::success();
#endif
}

} // namespace tonvola::fs
