#include "platform/Listing.h"

#include "platform/Folder.h"
#include "platform/Native_posix.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

namespace tonvola::fs {

QStringList subFolders(const QString &folder)
{
    QStringList names;
    const Folder opened(folder);
    if (!opened.isOpen())
        return names;
    (void)forEachEntry(opened.handle(), [&names](const DirEntry &entry) {
        if (entry.name[0] != '.' && entry.isFolder())
            names.append(QFile::decodeName(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
    });
    sortInListOrder(names);
    return names;
}

bool isSameDirectory(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    if (::stat(nativePath(a).constData(), &sa) != 0 || ::stat(nativePath(b).constData(), &sb) != 0)
        return QDir::cleanPath(a) == QDir::cleanPath(b);
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace tonvola::fs
