#pragma once

#include "platform/Volumes.h"

#include <QObject>

#include <memory>

class QTimer;

namespace tonvola::fs {

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
    // The mount table as the system reports its changes: VolumeWatcher_posix.cpp and
    // VolumeWatcher_portable.cpp.
    struct MountTable;

    explicit VolumeWatcher(QObject *parent);
    // Asks the system to report each change; false where it does not.
    [[nodiscard]] bool watchMountTable();
    // Changes whenever a volume is mounted or unmounted; cheap enough to read every second.
    [[nodiscard]] static QByteArray mountTableSignature();
    void poll();

    QList<Volume> m_volumes;
    std::shared_ptr<MountTable> m_mountTable;
    QTimer *m_timer = nullptr;
    QByteArray m_signature;
};

} // namespace tonvola::fs
