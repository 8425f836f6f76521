#include "app/FolderReader.h"

#include "platform/Listing.h"

FolderReader::FolderReader(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<tonvola::FileNames>();
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
    QMetaObject::invokeMethod(m_worker, [this, ticket, folder, latest = m_latest] {
        if (ticket != latest->load())
            return;
        const tonvola::FileNames names = tonvola::fs::mp3Names(folder);
        QMetaObject::invokeMethod(
            this, [this, ticket, folder, names] { tell(ticket, folder, names); }, Qt::QueuedConnection);
    });
}

void FolderReader::discard()
{
    ++*m_latest;
}

void FolderReader::tell(quint64 ticket, const QString &folder, const tonvola::FileNames &names)
{
    if (ticket == m_latest->load())
        emit finished(folder, names);
}
