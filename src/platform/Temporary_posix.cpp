#include "platform/Temporary.h"

#include "platform/Folder.h"
#include "platform/Native_p.h"
#include "platform/UniqueFd.h"

#include <QList>
#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonvola::fs {

UniqueFd createLocked(int folder, Temporary kind, QByteArray &name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryName(kind, QRandomGenerator::global()->generate64());
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

bool removeLeftovers(const Folder &folder)
{
    if (!folder.isOpen())
        return false;
    QList<QByteArray> leftovers;
    (void)forEachEntry(folder.handle(), [&leftovers](const DirEntry &entry) {
        if (isLeftoverName(QByteArrayView(entry.name, static_cast<qsizetype>(entry.length))) && entry.type != DT_LNK
            && entry.isRegular())
            leftovers.append(QByteArray(entry.name, static_cast<qsizetype>(entry.length)));
    });
    const int dir = folder.handle();
    bool removed = false;
    for (const QByteArray &name : std::as_const(leftovers)) {
        // A temporary file whose lock can be taken has no writer any more.
        const UniqueFd held(::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        struct stat named {};
        if (held.valid() && ::flock(held.get(), LOCK_EX | LOCK_NB) == 0 && ::fstat(held.get(), &opened) == 0
            && ::fstatat(dir, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && opened.st_ino == named.st_ino
            && opened.st_dev == named.st_dev)
            removed = ::unlinkat(dir, name.constData(), 0) == 0 || removed;
    }
    return removed;
}

bool native::withProbeFile(const Folder &folder, const std::function<void(QByteArray &name)> &ask)
{
    QByteArray name;
    UniqueFd probe = createLocked(folder.handle(), Temporary::Probe, name);
    if (!probe.valid())
        return false;
    ask(name);
    // Closed first: a file system in user space keeps a file removed while open under a hidden
    // name of its own (.fuse_hidden…) until it is closed.
    (void)probe.close();
    ::unlinkat(folder.handle(), name.constData(), 0);
    return true;
}

bool native::renameWithin(const Folder &folder, const QByteArray &from, const QByteArray &to)
{
    return ::renameat(folder.handle(), from.constData(), folder.handle(), to.constData()) == 0;
}

} // namespace tonvola::fs
