#include "platform/FolderByPath.h"

#include "platform/Listing.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace tonvola::fs {

QStringList subFolders(const QString &folder)
{
    // Links to folders count; hidden folders do not.
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    sortInListOrder(names);
    return names;
}

bool watchFolder(QFileSystemWatcher &watcher, const QString &folder)
{
    return QFileInfo(folder).isDir() && watcher.addPath(folder);
}

} // namespace tonvola::fs
