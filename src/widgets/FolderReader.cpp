#include "widgets/FolderReader.h"

FolderReader::FolderReader(Reading reading, QObject *parent) : QObject(parent), m_reading(std::move(reading))
{
    m_thread.setObjectName(QStringLiteral("FolderReader"));
}

FolderReader::~FolderReader()
{
    m_thread.quit();
    m_thread.wait();
}

void FolderReader::read(const QString &folder)
{
    if (!m_worker) {
        m_worker = new QObject;
        m_worker->moveToThread(&m_thread);
        connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
        m_thread.start();
    }
    const quint64 ticket = ++*m_latest;
    QMetaObject::invokeMethod(m_worker, [this, ticket, folder, latest = m_latest, reading = m_reading] {
        if (ticket != latest->load())
            return;
        const QVariant result = reading(folder);
        QMetaObject::invokeMethod(
            this, [this, ticket, folder, result] { tell(ticket, folder, result); }, Qt::QueuedConnection);
    });
}

void FolderReader::discard()
{
    ++*m_latest;
}

void FolderReader::tell(quint64 ticket, const QString &folder, const QVariant &result)
{
    if (ticket == m_latest->load())
        emit finished(folder, result);
}
