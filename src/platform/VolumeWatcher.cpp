#include "platform/VolumeWatcher.h"

#include <QCoreApplication>
#include <QPointer>

namespace tonvola {

namespace {
constexpr int pollInterval = 1000;
}

VolumeWatcher *VolumeWatcher::instance()
{
    // Owned by the application so that its timer ends with the event loop it runs in.
    static QPointer<VolumeWatcher> watcher;
    if (!watcher)
        watcher = new VolumeWatcher(QCoreApplication::instance());
    return watcher;
}

VolumeWatcher::VolumeWatcher(QObject *parent) : QObject(parent)
{
    m_mountTable = volumes::mountTableSignature();
    m_volumes = volumes::userVolumes();
    m_timer.setInterval(pollInterval);
    connect(&m_timer, &QTimer::timeout, this, &VolumeWatcher::poll);
    m_timer.start();
}

void VolumeWatcher::refresh()
{
    m_mountTable = volumes::mountTableSignature();
    QList<Volume> now = volumes::userVolumes();
    if (now == m_volumes)
        return;
    m_volumes = std::move(now);
    emit volumesChanged();
}

void VolumeWatcher::poll()
{
    // Listing the volumes asks every one of them for its state; the table alone is cheap.
    if (volumes::mountTableSignature() == m_mountTable)
        return;
    refresh();
}

} // namespace tonvola
