#include "platform/FolderByPath.h"

#include "platform/Folder.h"
#include "platform/Listing.h"
#include "platform/Native_p.h"
#include "platform/Path.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace tonvola::fs {

QStringList subFolders(const QString &folder)
{
    QStringList names;
    const Folder opened(folder);
    if (!opened.isOpen())
        return names;
    (void)forEachEntry(opened.handle(), [&names](const DirEntry &entry) {
        if (entry.name[0] != '.' && entry.isFolder())
            names.append(pathFromNative(QByteArray(entry.name, static_cast<qsizetype>(entry.length))));
    });
    sortInListOrder(names);
    return names;
}

bool watchFolder(QFileSystemWatcher &watcher, const QString &folder)
{
    if (QFile::encodeName(folder) == nativePath(folder))
        return QFileInfo(folder).isDir() && watcher.addPath(folder);
#ifdef Q_OS_LINUX
    // The system watches the folder itself, which stays watched once it is closed again.
    const Folder opened(folder);
    return opened.isOpen() && watcher.addPath(QStringLiteral("/proc/self/fd/%1").arg(opened.handle()));
#else
    return false;
#endif
}

} // namespace tonvola::fs
