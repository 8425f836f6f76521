#include "platform/VolumeWatcher.h"

#include <QStorageInfo>

namespace tonvola::fs {

// Qt reports no changes of the mount table; the watcher looks at it once a second.
struct VolumeWatcher::MountTable {};

VolumeWatcher::~VolumeWatcher() = default;

bool VolumeWatcher::watchMountTable()
{
    return false;
}

QByteArray VolumeWatcher::mountTableSignature()
{
    QByteArray signature;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &storage : mounted)
        signature += storage.rootPath().toUtf8() + '\n';
    return signature;
}

} // namespace tonvola::fs
