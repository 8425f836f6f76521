#include "platform/VolumeWatcher.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace tonvola {

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
    m_signature = volumes::mountTableSignature();
    m_timer = new QTimer(this);
    m_timer->setInterval(pollInterval);
    connect(m_timer, &QTimer::timeout, this, &VolumeWatcher::poll);
    m_timer->start();
}

VolumeWatcher::~VolumeWatcher()
{
    // The notifier must be gone before its descriptor is closed.
    delete m_notifier;
#ifdef Q_OS_LINUX
    if (m_mountTable >= 0)
        ::close(m_mountTable);
#endif
}

bool VolumeWatcher::watchMountTable()
{
#ifdef Q_OS_LINUX
    // The kernel marks the open table with an exceptional condition (POLLPRI) whenever
    // something is mounted or unmounted; each poll takes the mark off again.
    m_mountTable = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (m_mountTable < 0)
        return false;
    m_notifier = new QSocketNotifier(m_mountTable, QSocketNotifier::Exception, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &VolumeWatcher::refresh);
    return true;
#else
    return false;
#endif
}

void VolumeWatcher::refresh()
{
    if (m_timer)
        m_signature = volumes::mountTableSignature();
    QList<Volume> now = volumes::userVolumes();
    if (now == m_volumes)
        return;
    m_volumes = std::move(now);
    emit volumesChanged();
}

void VolumeWatcher::poll()
{
    // Listing the volumes asks every one of them for its state; the table alone is cheap.
    if (volumes::mountTableSignature() == m_signature)
        return;
    refresh();
}

} // namespace tonvola
