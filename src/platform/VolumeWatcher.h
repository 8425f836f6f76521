#pragma once

#include "platform/Volumes.h"

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace tonvola {

// Notices media mounted or unmounted while the program runs. One per process, shared by
// every drive list. On Linux the kernel reports each change of the mount table, so nothing
// is read while nothing happens; elsewhere the table is looked at once a second.
class VolumeWatcher : public QObject
{
    Q_OBJECT

public:
    [[nodiscard]] static VolumeWatcher *instance();
    ~VolumeWatcher() override;

    // The volumes a user would choose from, as last read.
    [[nodiscard]] QList<Volume> volumes() const { return m_volumes; }
    // Reads the volumes now instead of waiting for the next change.
    void refresh();

signals:
    void volumesChanged();

private:
    explicit VolumeWatcher(QObject *parent);
    [[nodiscard]] bool watchMountTable();
    void poll();

    QList<Volume> m_volumes;
    int m_mountTable = -1;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    QByteArray m_signature;
};

} // namespace tonvola
