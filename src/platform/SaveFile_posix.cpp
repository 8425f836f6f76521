#include "platform/SaveFile.h"

#include "platform/Path.h"
#include "platform/UniqueFd.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tonvola::fs {

FileResult replaceFile(const QString &path, const QByteArray &content)
{
    // The folder as given, "." for a bare name: the working folder's own path may hold bytes that
    // are no text, which Qt would not give back.
    const QFileInfo info(path);
    const UniqueFd folder(::open(nativePath(info.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid())
        return FileResult::fromErrno(errno);
    const QByteArray name = nativePath(info.fileName());
    struct stat old {};
    const bool existed = ::fstatat(folder.get(), name.constData(), &old, 0) == 0;

    UniqueFd file;
    QByteArray temporary;
    for (int attempt = 0; !file.valid(); ++attempt) {
        temporary = '.' + name + ".tonvola-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        file = UniqueFd(::openat(folder.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!file.valid() && (errno != EEXIST || attempt == 9))
            return FileResult::fromErrno(errno);
    }
    const auto fail = [&](int error) {
        ::unlinkat(folder.get(), temporary.constData(), 0);
        return FileResult::fromErrno(error);
    };
    if (existed && ::fchmod(file.get(), old.st_mode & 07777) != 0)
        return fail(errno);
    for (qsizetype written = 0; written < content.size();) {
        const ssize_t n = ::write(file.get(), content.constData() + written, content.size() - written);
        if (n < 0 && errno != EINTR)
            return fail(errno);
        written += std::max<ssize_t>(n, 0);
    }
    if (::fsync(file.get()) != 0 || file.close() != 0)
        return fail(errno);
    if (::renameat(folder.get(), temporary.constData(), folder.get(), name.constData()) != 0)
        return fail(errno);
    // The new name is on the medium only once the folder is.
    (void)::fsync(folder.get());
    return FileResult::success();
}

} // namespace tonvola::fs
