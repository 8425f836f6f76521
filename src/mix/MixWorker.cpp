#include "mix/MixWorker.h"

#include "platform/FileOps.h"

namespace tonvola {

namespace {

// The window repaints its lists at most this often; a long list takes a while to show.
constexpr qint64 reportInterval = 50;
constexpr qint64 listInterval = 100;

} // namespace

MixWorker::MixWorker(QObject *parent) : QObject(parent)
{}

void MixWorker::run(const MixOptions &options)
{
    m_progress = {};
    m_listChanged = false;
    m_clock.start();
    m_lastReport = -reportInterval;
    m_lastList = -listInterval;

    MixEngine engine(options, this);
    m_engine = &engine;
    const MixResult result = engine.run();
    m_engine = nullptr;

    QStringList sourceNames;
    QStringList playerNames;
    if (result.status != MixResult::Status::SameFolder && result.status != MixResult::Status::FolderMissing) {
        sourceNames = fs::mp3Files(options.source);
        playerNames = fs::mp3Files(options.player);
    }
    emit finished(result, sourceNames, playerNames);
}

void MixWorker::started(const QStringList &sourceNames, const QStringList &playerNames, qsizetype start)
{
    emit runStarted(sourceNames, playerNames, start);
}

void MixWorker::visiting(qsizetype sourcePosition)
{
    m_progress.position = sourcePosition;
    m_progress.copying.clear();
    report();
}

void MixWorker::copying(MixAction action, const QString &name, qint64 /*done*/, qint64 /*total*/)
{
    m_progress.copying = name;
    m_progress.copyingAction = action;
    report();
}

void MixWorker::acted(const MixStep &step)
{
    switch (step.action) {
    case MixAction::Copied:
        ++m_progress.counts.copied;
        break;
    case MixAction::TakenOff:
        ++m_progress.counts.takenOff;
        break;
    case MixAction::MovedBack:
        ++m_progress.counts.movedBack;
        break;
    case MixAction::KeptOnPlayer:
        ++m_progress.counts.keptOnPlayer;
        break;
    }
    m_listChanged = m_listChanged || step.action != MixAction::KeptOnPlayer;
    report();
}

void MixWorker::report()
{
    const qint64 now = m_clock.elapsed();
    if (now - m_lastReport < reportInterval)
        return;
    m_lastReport = now;
    MixProgress progress = m_progress;
    if (m_listChanged && m_engine && now - m_lastList >= listInterval) {
        progress.playerChanged = true;
        progress.playerNames = m_engine->playerNames();
        m_listChanged = false;
        m_lastList = now;
    }
    emit progressed(progress);
}

} // namespace tonvola
