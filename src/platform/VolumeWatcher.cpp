#include "platform/VolumeWatcher.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace tonvola::fs {

namespace {
constexpr int pollInterval = 1000;
}

VolumeWatcher *VolumeWatcher::instance()
{
    // Owned by the application so that its notifier ends with the event loop it runs in.
    static QPointer<VolumeWatcher> watcher;
    if (!watcher)
        watcher = new VolumeWatcher(QCoreApplication::instance());
    return watcher;
}

VolumeWatcher::VolumeWatcher(QObject *parent) : QObject(parent)
{
    m_volumes = volumes::userVolumes();
    if (watchMountTable())
        return;
    m_signature = mountTableSignature();
    m_timer = new QTimer(this);
    m_timer->setInterval(pollInterval);
    connect(m_timer, &QTimer::timeout, this, &VolumeWatcher::poll);
    m_timer->start();
}

void VolumeWatcher::refresh()
{
    if (m_timer)
        m_signature = mountTableSignature();
    QList<Volume> now = volumes::userVolumes();
    if (now == m_volumes)
        return;
    m_volumes = std::move(now);
    emit volumesChanged();
}

void VolumeWatcher::poll()
{
    // Listing the volumes asks every one of them for its state; the table alone is cheap.
    if (mountTableSignature() == m_signature)
        return;
    refresh();
}

} // namespace tonvola::fs
