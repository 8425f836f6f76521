#include "platform/Medium.h"

#include "platform/Folder.h"
#include "platform/Listing.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStorageInfo>

#include <algorithm>
#include <cstdlib>
#include <limits>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/vfs.h>
#endif
#endif

namespace tonvola::fs {

namespace {

#ifdef Q_OS_UNIX
QByteArray otherCase(const QByteArray &name)
{
    QByteArray other = name;
    for (char &c : other) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return other;
}

// The answer of the folder for the name in other letters: ignored, told apart, or no answer.
std::optional<bool> looksUpInOtherCase(int dir, const QByteArray &name)
{
    struct stat original {};
    struct stat other {};
    if (::fstatat(dir, name.constData(), &original, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    if (::fstatat(dir, otherCase(name).constData(), &other, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? std::optional<bool>(false) : std::nullopt;
    // Not the inode: exfat-fuse numbers each spelling on its own.
    return original.st_mode == other.st_mode && original.st_size == other.st_size
           && original.st_mtim.tv_sec == other.st_mtim.tv_sec && original.st_mtim.tv_nsec == other.st_mtim.tv_nsec;
}
#endif

} // namespace

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

std::optional<qint64> availableBytes(const Folder &folder)
{
#ifdef Q_OS_UNIX
    struct statvfs info {};
    if (!folder.isOpen() || ::fstatvfs(folder.handle(), &info) != 0)
        return std::nullopt;
    return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
#else
    return availableBytes(folder.path());
#endif
}

namespace {

// How long a counted free space stands before the medium is looked at again.
constexpr qint64 countedForMs = 300;
// A look slower than this is worth saving: a copy of a small file costs about as much.
constexpr qint64 slowLookNs = 250000;

qint64 nowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

} // namespace

FreeSpace::FreeSpace(const Folder &folder) : m_folder(folder)
{
#ifdef Q_OS_UNIX
    // The quickest of a few looks, so that one that had to wait for the processor does not count.
    qint64 quickest = std::numeric_limits<qint64>::max();
    for (int look = 0; look < 3 && quickest > slowLookNs; ++look) {
        QElapsedTimer timer;
        timer.start();
        struct statvfs info {};
        if (!folder.isOpen() || ::fstatvfs(folder.handle(), &info) != 0)
            return;
        quickest = std::min(quickest, timer.nsecsElapsed());
        m_cluster = std::max<qint64>(1, static_cast<qint64>(info.f_frsize));
    }
    m_counting = quickest > slowLookNs;
#endif
}

std::optional<qint64> FreeSpace::available()
{
    if (m_counting && m_known && nowMs() - m_lookedAtMs < countedForMs)
        return m_known;
    m_known = availableBytes(m_folder);
    m_lookedAtMs = nowMs();
    return m_known;
}

void FreeSpace::count(qint64 bytes)
{
    // A file takes whole clusters.
    const qint64 clusters = (std::abs(bytes) + m_cluster - 1) / m_cluster;
    if (m_known)
        *m_known += bytes < 0 ? -clusters * m_cluster : clusters * m_cluster;
}

bool namesIgnoreCase(const Folder &folder, const FileNames &listed, CaseProbe probe)
{
    if (!folder.isOpen())
        return false;
#ifdef Q_OS_UNIX
    const int dir = folder.handle();
    // A few names are enough; one whose other spelling is listed too says nothing.
    const qsizetype tries = std::min<qsizetype>(listed.size(), 8);
    for (qsizetype i = 0; i < tries; ++i) {
        const QByteArray &name = listed[i].native();
        const QByteArray other = otherCase(name);
        if (other == name
            || std::any_of(listed.cbegin(), listed.cend(), [&](const FileName &n) { return n.native() == other; }))
            continue;
        if (const std::optional<bool> ignored = looksUpInOtherCase(dir, name))
            return *ignored;
    }
    if (probe == CaseProbe::ListedNamesOnly)
        return false;
    const QByteArray name = ".tonvola-probe-" + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const int fd = ::openat(dir, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    const bool ignored = looksUpInOtherCase(dir, name).value_or(false);
    ::unlinkat(dir, name.constData(), 0);
    return ignored;
#else
    Q_UNUSED(listed);
    Q_UNUSED(probe);
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return true;
#else
    return false;
#endif
#endif
}

bool fatRefuses(const FileName &name)
{
    for (const char c : name.native()) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || c == '"' || c == '*' || c == '/' || c == ':' || c == '<' || c == '>' || c == '?' || c == '\\'
            || c == '|')
            return true;
    }
    return false;
}

bool keepsFatNames(const Folder &folder)
{
#ifdef Q_OS_LINUX
    struct statfs info {};
    if (!folder.isOpen() || ::fstatfs(folder.handle(), &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
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
#elif defined(Q_OS_WIN)
    Q_UNUSED(folder);
    return true;
#else
    Q_UNUSED(folder);
    return false;
#endif
}

qint64 timeResolutionNs(const Folder &folder)
{
    constexpr qint64 second = 1000000000;
#ifdef Q_OS_UNIX
    struct stat st {};
    if (!folder.isOpen() || ::fstat(folder.handle(), &st) != 0)
        return 2 * second;
    const qint64 ns = st.st_mtim.tv_nsec;
    if (ns == 0)
        return st.st_mtim.tv_sec % 2 == 0 ? 2 * second : second;
    if (ns % 10000000 == 0)
        return 10000000;
    return ns % 1000 == 0 ? 1000 : 1;
#else
    Q_UNUSED(folder);
    return 2 * second;
#endif
}

FileResult flush(const Folder &folder)
{
    if (!folder.isOpen())
        return folder.opened();
#ifdef Q_OS_LINUX
    if (::syncfs(folder.handle()) != 0)
        return FileResult::fromErrno(errno);
#elif defined(Q_OS_UNIX)
    ::sync();
#endif
    return FileResult::success();
}

} // namespace tonvola::fs
