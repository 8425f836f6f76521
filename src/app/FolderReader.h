#pragma once

#include "platform/FileName.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

// Reads the MP3 names of a folder in a thread of its own and hands the finished list back, so
// that a long folder another program changes never stalls the window while it is read. The
// thread starts with the first read.
class FolderReader : public QObject
{
    Q_OBJECT

public:
    explicit FolderReader(QObject *parent = nullptr);
    ~FolderReader() override;

    // Reads the folder. Reads asked for while one runs are not queued up: only the last one
    // asked for is read and told.
    void read(const QString &folder);
    // Forgets the reads asked for so far: whoever calls it has shown the folder since.
    void discard();

signals:
    void finished(const QString &folder, const tonvola::FileNames &names);

private:
    void tell(quint64 ticket, const QString &folder, const tonvola::FileNames &names);

    QThread m_thread;
    QObject *m_worker = nullptr;
    // The ticket of the last read asked for, which the worker reads too, to pass over older ones.
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
};
