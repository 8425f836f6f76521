#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace tonvola {

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
        "fuse.portal", "fuse.gvfsd-fuse", "nfsd",       "tracefs"};
    return pseudo.contains(type);
}

bool isSystemFolder(const QString &root)
{
    static const QStringList hidden = {QStringLiteral("/proc"), QStringLiteral("/sys"),  QStringLiteral("/dev"),
                                       QStringLiteral("/run"),  QStringLiteral("/boot"), QStringLiteral("/snap")};
    return std::any_of(hidden.cbegin(), hidden.cend(), [&](const QString &prefix) {
        return root == prefix || root.startsWith(prefix + QLatin1Char('/'));
    });
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
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        existing = parent;
    }
    const QStorageInfo storage(existing);
    return storage.isValid() ? storage.rootPath() : QDir::rootPath();
}

} // namespace volumes
} // namespace tonvola
