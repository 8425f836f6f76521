#include "platform/Volumes.h"

#include "platform/FolderByPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QStorageInfo>

#include <algorithm>

namespace tonvola::fs {

QString Volume::displayName() const
{
    const QString shown = QDir::toNativeSeparators(root);
    return label.isEmpty() ? shown : QStringLiteral("%1 [%2]").arg(shown, label);
}

namespace volumes {

namespace {

bool isPseudoFileSystem(const QByteArray &type)
{
    static const QByteArrayList pseudo = {
        "proc",        "sysfs",           "cgroup",     "cgroup2", "devpts",   "devtmpfs", "mqueue",    "debugfs",
        "tracefs",     "securityfs",      "pstore",     "bpf",     "configfs", "fusectl",  "hugetlbfs", "autofs",
        "binfmt_misc", "efivarfs",        "rpc_pipefs", "nsfs",    "overlay",  "squashfs", "ramfs",     "selinuxfs",
        "fuse.portal", "fuse.gvfsd-fuse", "nfsd"};
    return pseudo.contains(type);
}

bool isUnder(const QString &path, const QString &folder)
{
    if (folder.endsWith(QLatin1Char('/')))
        return path.startsWith(folder) || path + QLatin1Char('/') == folder;
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

bool isSystemFolder(const QString &root)
{
    // Some systems mount USB sticks below /run/media; everything else in /run is the system's.
    if (isUnder(root, QStringLiteral("/run/media")))
        return false;
    static const QStringList hidden = {
        QStringLiteral("/proc"), QStringLiteral("/sys"),  QStringLiteral("/dev"),           QStringLiteral("/run"),
        QStringLiteral("/boot"), QStringLiteral("/snap"), QStringLiteral("/var/lib/docker")};
    return std::any_of(hidden.cbegin(), hidden.cend(), [&](const QString &folder) { return isUnder(root, folder); });
}

QString cleaned(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

struct FolderMemory {
    QMutex mutex;
    QHash<QString, QString> folderOfRoot;
};

FolderMemory &folderMemory()
{
    static FolderMemory memory;
    return memory;
}

} // namespace

QList<Volume> userVolumes()
{
    QList<Volume> result;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &storage : mounted) {
        if (!storage.isValid() || !storage.isReady())
            continue;
        const QString root = storage.rootPath();
        if (root != QDir::rootPath() && (isPseudoFileSystem(storage.fileSystemType()) || isSystemFolder(root)))
            continue;
        if (std::any_of(result.cbegin(), result.cend(), [&](const Volume &v) { return v.root == root; }))
            continue;
        result.append({root, storage.name()});
    }
    std::sort(result.begin(), result.end(), [](const Volume &a, const Volume &b) { return a.root < b.root; });
    return result;
}

QString rootOf(const QString &path)
{
    QString existing = cleaned(path);
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    return storage.isValid() ? storage.rootPath() : QDir::rootPath();
}

bool isVolumeRoot(const QString &path)
{
    if (path.isEmpty() || !QFileInfo::exists(path))
        return false;
    const QStorageInfo storage(path);
    return storage.isValid() && storage.rootPath() == cleaned(path);
}

FileResult checkReady(const QString &root)
{
    if (!isVolumeRoot(root))
        return FileResult::failure(FileResult::Status::NotFound, FileResult::Reason::MediumNotMounted);
    return fs::checkFolder(root);
}

void rememberFolder(const QString &folder)
{
    const QString path = cleaned(folder);
    const QString root = rootOf(path);
    FolderMemory &memory = folderMemory();
    const QMutexLocker lock(&memory.mutex);
    memory.folderOfRoot.insert(root, path);
}

QString currentFolder(const QString &root)
{
    QString folder;
    {
        FolderMemory &memory = folderMemory();
        const QMutexLocker lock(&memory.mutex);
        folder = memory.folderOfRoot.value(root);
    }
    if (folder.isEmpty())
        return root;
    // A folder removed since it was shown: its nearest parent that is still there.
    while (isUnder(folder, root)) {
        if (fs::checkFolder(folder).ok())
            return rootOf(folder) == root ? folder : root;
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return root;
}

} // namespace volumes
} // namespace tonvola::fs
