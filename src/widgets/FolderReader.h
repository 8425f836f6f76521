#pragma once

#include <QObject>
#include <QThread>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>

// Reads a folder in a thread of its own and hands the finished result back, so that a long folder
// another program changes never stalls the window while it is read. The thread starts with the
// first read.
class FolderReader : public QObject
{
    Q_OBJECT

public:
    using Reading = std::function<QVariant(const QString &folder)>;

    // reading runs in the reader's thread and may touch nothing of the window's.
    explicit FolderReader(Reading reading, QObject *parent = nullptr);
    ~FolderReader() override;

    // Reads the folder. Reads asked for while one runs are not queued up: only the last one
    // asked for is read and told.
    void read(const QString &folder);
    // Forgets the reads asked for so far: whoever calls it has shown the folder since.
    void discard();

signals:
    void finished(const QString &folder, const QVariant &result);

private:
    void tell(quint64 ticket, const QString &folder, const QVariant &result);

    Reading m_reading;
    QThread m_thread;
    QObject *m_worker = nullptr;
    // The ticket of the last read asked for, which the worker reads too, to pass over older ones.
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
};
