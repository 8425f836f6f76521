#pragma once

#include "platform/Volumes.h"

#include <QObject>
#include <QTimer>

namespace tonvola {

// Notices media mounted or unmounted while the program runs. One per process, shared by
// every drive list, so the mount table is read once a second however many lists exist.
class VolumeWatcher : public QObject
{
    Q_OBJECT

public:
    [[nodiscard]] static VolumeWatcher *instance();

    // The volumes a user would choose from, as last read.
    [[nodiscard]] QList<Volume> volumes() const { return m_volumes; }
    // Reads the volumes now instead of waiting for the next look.
    void refresh();

signals:
    void volumesChanged();

private:
    explicit VolumeWatcher(QObject *parent);
    void poll();

    QTimer m_timer;
    QByteArray m_mountTable;
    QList<Volume> m_volumes;
};

} // namespace tonvola
