#include "platform/Medium.h"

#include "platform/Folder.h"
#include "platform/Listing.h"
#include "platform/Temporary.h"

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

// statfs' names for FAT (the kernel's driver) and for every file system in user space.
constexpr unsigned long fatMagic = 0x4d44UL;
constexpr unsigned long fuseMagic = 0x65735546UL;

#ifdef Q_OS_UNIX
QByteArray otherAsciiCase(const QByteArray &name)
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

// The name with its letters beyond ASCII in the other case and the rest as it is; empty when
// it has none that has another case.
QByteArray otherCaseBeyondAscii(const FileName &name)
{
    if (!name.isExactText())
        return {};
    QString other = name.text();
    bool changed = false;
    for (QChar &c : other) {
        if (c.unicode() < 0x80 || c.isSurrogate())
            continue;
        const QChar swapped = c.isLower() ? c.toUpper() : c.toLower();
        changed = changed || swapped != c;
        c = swapped;
    }
    return changed ? FileName::fromText(other).native() : QByteArray();
}

// The answer of the folder for the name in other letters: ignored, told apart, or no answer.
std::optional<bool> looksUpInOtherCase(int dir, const QByteArray &name, const QByteArray &otherName)
{
    struct stat original {};
    struct stat other {};
    if (::fstatat(dir, name.constData(), &original, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    if (::fstatat(dir, otherName.constData(), &other, AT_SYMLINK_NOFOLLOW) != 0)
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

LetterCase letterCase(const Folder &folder, const FileNames &listed, CaseProbe probe)
{
    if (!folder.isOpen())
        return LetterCase::Exact;
#ifdef Q_OS_UNIX
    const int dir = folder.handle();
    const auto listedAs = [&listed](const QByteArray &native) {
        return std::any_of(listed.cbegin(), listed.cend(), [&](const FileName &n) { return n.native() == native; });
    };
    // A few names are enough; one whose other spelling is listed too says nothing.
    std::optional<bool> ascii;
    std::optional<bool> beyondAscii;
    const qsizetype tries = std::min<qsizetype>(listed.size(), 8);
    for (qsizetype i = 0; i < tries && !ascii; ++i) {
        const QByteArray &name = listed[i].native();
        if (const QByteArray other = otherAsciiCase(name); other != name && !listedAs(other))
            ascii = looksUpInOtherCase(dir, name, other);
    }
    for (qsizetype i = 0; i < listed.size() && !beyondAscii && i < 64; ++i) {
        if (const QByteArray other = otherCaseBeyondAscii(listed[i]); !other.isEmpty() && !listedAs(other))
            beyondAscii = looksUpInOtherCase(dir, listed[i].native(), other);
    }
    if (ascii == false)
        return LetterCase::Exact;
    if (ascii && beyondAscii)
        return *beyondAscii ? LetterCase::Ignored : LetterCase::IgnoredAscii;
    if (probe == CaseProbe::ListedNamesOnly)
        return ascii ? LetterCase::Ignored : LetterCase::Exact;
    // A short-lived file of a name with letters on both sides of ASCII answers both questions.
    QByteArray name;
    UniqueFd made = createLocked(dir, Temporary::Probe, name);
    if (!made.valid())
        return ascii ? LetterCase::Ignored : LetterCase::Exact;
    const QByteArray accented = name + "-\xc3\xa4";
    LetterCase rule = LetterCase::Exact;
    if (::renameat(dir, name.constData(), dir, accented.constData()) == 0) {
        if (looksUpInOtherCase(dir, accented, otherAsciiCase(accented)).value_or(false))
            rule = looksUpInOtherCase(dir, accented, name + "-\xc3\x84").value_or(false) ? LetterCase::Ignored
                                                                                         : LetterCase::IgnoredAscii;
        ::unlinkat(dir, accented.constData(), 0);
    } else {
        // A medium that refuses the letter holds names in a narrower alphabet than Unicode.
        if (looksUpInOtherCase(dir, name, otherAsciiCase(name)).value_or(false))
            rule = LetterCase::IgnoredAscii;
        ::unlinkat(dir, name.constData(), 0);
    }
    return rule;
#else
    Q_UNUSED(listed);
    Q_UNUSED(probe);
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return LetterCase::Ignored;
#else
    return LetterCase::Exact;
#endif
#endif
}

bool namesIgnoreCase(const Folder &folder, const FileNames &listed, CaseProbe probe)
{
    return letterCase(folder, listed, probe) != LetterCase::Exact;
}

namespace {

// True when the name is also a FAT short name (8.3): FAT keeps such a name in one entry of
// upper-case letters in its code page, so two of them that differ in any letter's case, not
// only in ASCII, cannot stand side by side.
bool isShortName(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype base = dot < 0 ? name.size() : dot;
    const qsizetype extension = dot < 0 ? 0 : name.size() - dot - 1;
    if (base < 1 || base > 8 || extension > 3)
        return false;
    constexpr QByteArrayView marks("!#$%&'()-@^_`{}~");
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool fits = i == dot || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')
                          || (c < 0x80 && marks.contains(char(c)))
                          || (c >= 0xc0 && c < 0x100 && c != 0xd7 && c != 0xf7);
        if (!fits)
            return false;
    }
    return true;
}

} // namespace

QByteArray caseKey(const FileName &name, LetterCase rule)
{
    switch (rule) {
    case LetterCase::Exact:
        break;
    case LetterCase::IgnoredAscii:
        if (name.isExactText() && isShortName(name.text()))
            return name.text().toCaseFolded().toUtf8();
        return name.native().toLower();
    case LetterCase::Ignored:
        if (name.isExactText())
            return name.text().toCaseFolded().toUtf8();
        return name.native().toLower();
    }
    return name.native();
}

bool isSameName(const FileName &a, const FileName &b, LetterCase rule)
{
    return a == b || (rule != LetterCase::Exact && caseKey(a, rule) == caseKey(b, rule));
}

bool isSameFolder(const Folder &a, const Folder &b)
{
    if (!a.isOpen() || !b.isOpen())
        return a.isSameAs(b);
#ifdef Q_OS_UNIX
    struct stat sa {};
    struct stat sb {};
    if (::fstat(a.handle(), &sa) != 0 || ::fstat(b.handle(), &sb) != 0)
        return a.isSameAs(b);
    if (sa.st_dev != sb.st_dev)
        return false;
    if (sa.st_ino == sb.st_ino)
        return true;
    // One medium, two entries: two folders, unless the medium numbers its entries by spelling.
    for (const auto &[here, there] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
        QByteArray name;
        UniqueFd probe = createLocked(here->handle(), Temporary::Probe, name);
        if (!probe.valid())
            continue;
        struct stat found {};
        const bool same = ::fstatat(there->handle(), name.constData(), &found, AT_SYMLINK_NOFOLLOW) == 0;
        ::unlinkat(here->handle(), name.constData(), 0);
        return same;
    }
    return false;
#else
    return a.isSameAs(b);
#endif
}

qint64 allocationUnit(const Folder &folder)
{
#ifdef Q_OS_UNIX
    struct statvfs info {};
    if (folder.isOpen() && ::fstatvfs(folder.handle(), &info) == 0 && info.f_frsize > 0)
        return static_cast<qint64>(info.f_frsize);
#else
    Q_UNUSED(folder);
#endif
    return 4096;
}

qsizetype longestName(const Folder &folder)
{
#ifdef Q_OS_UNIX
    if (folder.isOpen()) {
        const long longest = ::fpathconf(folder.handle(), _PC_NAME_MAX);
        if (longest > 0)
            return static_cast<qsizetype>(longest);
    }
#else
    Q_UNUSED(folder);
#endif
    return 255;
}

qint64 largestFile(const Folder &folder)
{
#ifdef Q_OS_LINUX
    struct statfs info {};
    if (folder.isOpen() && ::fstatfs(folder.handle(), &info) == 0
        && static_cast<unsigned long>(info.f_type) == fatMagic)
        return (qint64(1) << 32) - 1;
#else
    Q_UNUSED(folder);
#endif
    return std::numeric_limits<qint64>::max();
}

bool flushesFileByFile(const Folder &folder)
{
#ifdef Q_OS_LINUX
    struct statfs info {};
    return folder.isOpen() && ::fstatfs(folder.handle(), &info) == 0
           && static_cast<unsigned long>(info.f_type) == fuseMagic;
#else
    Q_UNUSED(folder);
    return true;
#endif
}

bool namesLagBehind(const Folder &folder)
{
#ifdef Q_OS_LINUX
    struct statfs info {};
    return folder.isOpen() && ::fstatfs(folder.handle(), &info) == 0
           && static_cast<unsigned long>(info.f_type) == fatMagic;
#else
    Q_UNUSED(folder);
    return false;
#endif
}

FileResult flushFiles(const Folder &folder, const QList<int> &files)
{
    if (!folder.isOpen())
        return folder.opened();
#ifdef Q_OS_UNIX
#ifdef Q_OS_LINUX
    if (!flushesFileByFile(folder))
        return ::syncfs(folder.handle()) == 0 ? FileResult::success() : FileResult::fromErrno(errno);
#endif
    for (const int fd : files) {
        // Some file systems in user space cannot flush data alone.
        if (::fdatasync(fd) != 0 && errno != EINVAL && (errno != ENOSYS || ::fsync(fd) != 0))
            return FileResult::fromErrno(errno);
    }
#else
    Q_UNUSED(files);
#endif
    return FileResult::success();
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

FileResult flush(const Folder &folder, const QList<int> &files)
{
    if (!folder.isOpen())
        return folder.opened();
#ifdef Q_OS_LINUX
    if (::syncfs(folder.handle()) != 0)
        return FileResult::fromErrno(errno);
    // A file system in user space writes out what it holds when one of its files is flushed.
    if (flushesFileByFile(folder)) {
        bool flushed = false;
        for (const int fd : files) {
            if (fd < 0)
                continue;
            if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOSYS)
                return FileResult::fromErrno(errno);
            flushed = true;
        }
        // Without a file of its own to flush through, a short-lived one serves; should it be
        // left behind by a pulled stick, the next run removes it.
        if (!flushed) {
            QByteArray name;
            if (const UniqueFd probe = createLocked(folder.handle(), Temporary::Probe, name); probe.valid()) {
                const int error = ::fsync(probe.get()) == 0 ? 0 : errno;
                ::unlinkat(folder.handle(), name.constData(), 0);
                if (error != 0 && error != EINVAL && error != ENOSYS)
                    return FileResult::fromErrno(error);
            }
        }
        ::fsync(folder.handle());
    }
#elif defined(Q_OS_UNIX)
    Q_UNUSED(files);
    ::sync();
#else
    Q_UNUSED(files);
#endif
    return FileResult::success();
}

} // namespace tonvola::fs
