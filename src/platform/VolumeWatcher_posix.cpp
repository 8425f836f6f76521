#include "platform/VolumeWatcher.h"

#include "platform/UniqueFd.h"

#include <QFile>
#include <QSocketNotifier>
#include <QStorageInfo>

#include <fcntl.h>

namespace tonvola::fs {

namespace {

// Linux's mount table of the process, which tells each change of itself.
#ifdef Q_OS_LINUX
constexpr char mountInfo[] = "/proc/self/mountinfo";
#else
constexpr char mountInfo[] = "";
#endif

} // namespace

struct VolumeWatcher::MountTable {
    UniqueFd file;
    // Ends before the descriptor it watches is closed.
    std::unique_ptr<QSocketNotifier> notifier;
};

VolumeWatcher::~VolumeWatcher() = default;

bool VolumeWatcher::watchMountTable()
{
    // The kernel marks the open table with an exceptional condition (POLLPRI) whenever
    // something is mounted or unmounted; each poll takes the mark off again.
    UniqueFd file(mountInfo[0] != '\0' ? ::open(mountInfo, O_RDONLY | O_CLOEXEC) : -1);
    if (!file.valid())
        return false;
    auto notifier = std::make_unique<QSocketNotifier>(file.get(), QSocketNotifier::Exception);
    connect(notifier.get(), &QSocketNotifier::activated, this, &VolumeWatcher::refresh);
    m_mountTable = std::make_shared<MountTable>(MountTable{std::move(file), std::move(notifier)});
    return true;
}

QByteArray VolumeWatcher::mountTableSignature()
{
    if (mountInfo[0] != '\0') {
        QFile table(QString::fromLatin1(mountInfo));
        if (table.open(QIODevice::ReadOnly))
            return table.readAll();
    }
    QByteArray signature;
    const QList<QStorageInfo> mounted = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &storage : mounted)
        signature += storage.rootPath().toUtf8() + '\n';
    return signature;
}

} // namespace tonvola::fs
