#include "platform/Temporary.h"

#include <QRandomGenerator>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#endif

namespace tonvola::fs {

namespace {

constexpr QByteArrayView prefix(".tonvola-");
constexpr QByteArrayView probe("probe-");
constexpr QByteArrayView part(".part");

bool isHexNumber(QByteArrayView digits)
{
    return !digits.isEmpty() && digits.size() <= 16 && std::all_of(digits.cbegin(), digits.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

} // namespace

QByteArray temporaryName(Temporary kind)
{
    const QByteArray number = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    if (kind == Temporary::Probe)
        return prefix.toByteArray() + probe.toByteArray() + number;
    return prefix.toByteArray() + number + part.toByteArray();
}

bool isLeftoverName(QByteArrayView name)
{
    if (!name.startsWith(prefix))
        return false;
    name = name.sliced(prefix.size());
    if (name.startsWith(probe)) {
        // The letter-case probe renames itself to a name with an accented letter.
        constexpr QByteArrayView accented("-\xc3\xa4");
        name = name.sliced(probe.size());
        return isHexNumber(name.endsWith(accented) ? name.chopped(accented.size()) : name);
    }
    return name.endsWith(part) && isHexNumber(name.chopped(part.size()));
}

#ifdef Q_OS_UNIX
UniqueFd createLocked(int folder, Temporary kind, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(kind);
        // The usual permissions: mkstemp would make the file private to the user, and a copy would keep that.
        UniqueFd fd(::openat(folder, name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd.valid()) {
            if (errno == EEXIST)
                continue;
            return fd;
        }
        // Between creating and locking, a cleanup may have locked and removed the new file; then
        // it is no longer under that name, and another name is tried.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
            // A medium that keeps no locks: the file stays unlocked, as it is there for all.
            if (errno != EWOULDBLOCK)
                return fd;
            continue;
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd.get(), &opened) == 0 && ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
            && opened.st_ino == named.st_ino && opened.st_dev == named.st_dev)
            return fd;
    }
    errno = EEXIST;
    return UniqueFd();
}
#endif

} // namespace tonvola::fs
