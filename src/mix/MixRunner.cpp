#include "mix/MixRunner.h"

namespace tonvola {

MixRunner::MixRunner(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<MixProgress>();
    qRegisterMetaType<MixResult>();
    qRegisterMetaType<fs::FileNames>();

    m_thread.setObjectName(QStringLiteral("MixThread"));
    m_worker = new MixWorker;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_worker, &MixWorker::runStarted, this, &MixRunner::started, Qt::DirectConnection);
    connect(m_worker, &MixWorker::progressed, this, &MixRunner::progressed, Qt::QueuedConnection);
    connect(
        m_worker, &MixWorker::finished, this,
        [this](const MixResult &result, const fs::FileNames &sourceNames, const fs::FileNames &playerNames) {
            m_running = false;
            emit finished(result, sourceNames, playerNames);
        },
        Qt::QueuedConnection);
    m_thread.start();
}

MixRunner::~MixRunner()
{
    cancel();
    m_thread.quit();
    m_thread.wait();
}

bool MixRunner::start(MixOptions options)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    options.cancel = &m_cancel;
    MixWorker *worker = m_worker;
    QMetaObject::invokeMethod(worker, [worker, options = std::move(options)] { worker->run(options); });
    return true;
}

void MixRunner::cancel()
{
    m_cancel = true;
}

} // namespace tonvola
