#include "mix/MixWorker.h"

#include "platform/FolderByPath.h"

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
    m_copyClock.invalidate();
    m_clock.start();
    m_lastReport = -reportInterval;
    m_lastList = -listInterval;

    MixResult result;
    {
        // Gone before the folders are read again below, which then reuses its memory.
        MixEngine engine(options, this);
        m_engine = &engine;
        result = engine.run();
        m_engine = nullptr;
    }

    fs::FileNames sourceNames;
    fs::FileNames playerNames;
    if (result.walked()) {
        sourceNames = fs::mp3Names(options.source);
        playerNames = fs::mp3Names(options.player);
        // A list the window already shows goes back as that very list: the window then sees at
        // a glance that nothing changed, and the fresh copy of tens of thousands of names is
        // freed here, not in the window's thread.
        if (sourceNames == m_shownSource)
            sourceNames = m_shownSource;
        if (playerNames == m_shownPlayer)
            playerNames = m_shownPlayer;
    }
    // The lists sent stay held here until the next run: a list whose last holder is the
    // window's event would be freed in the window's thread, name by name.
    m_shownSource = sourceNames;
    m_shownPlayer = playerNames;
    emit finished(result, sourceNames, playerNames);
}

void MixWorker::started(const fs::FileNames &sourceNames, const fs::FileNames &playerNames, qsizetype start)
{
    m_shownSource = sourceNames;
    m_shownPlayer = playerNames;
    emit runStarted(sourceNames, playerNames, start);
}

void MixWorker::waiting(qsizetype files)
{
    m_progress.waitingFor = files;
    report(true);
}

void MixWorker::preparing(const MixPreparing &preparing)
{
    // A quick start shows nothing of it; a slow one says what takes the time.
    constexpr qint64 quietMs = 500;
    if (m_clock.elapsed() < quietMs)
        return;
    m_progress.waitingFor = 0;
    m_progress.preparing = preparing;
    report();
}

void MixWorker::planned(const MixPlan & /*plan*/)
{
    m_progress.waitingFor = 0;
    m_progress.preparing.reset();
    m_progress.planned = true;
    report(true);
}

void MixWorker::transferring(const MixTransfer &transfer)
{
    if (transfer.action == MixAction::Copied && !m_copyClock.isValid())
        m_copyClock.start();
    // The first one at once, so that even a short run shows what it writes.
    const bool first = !m_progress.transferring;
    m_progress.transferring = true;
    m_progress.transfer = transfer;
    m_progress.transferMs = m_copyClock.isValid() ? m_copyClock.elapsed() : 0;
    report(first);
}

void MixWorker::acted(const MixStep &step)
{
    m_progress.counts.add(step.action);
    m_listChanged = m_listChanged || step.action == MixAction::Copied || step.action == MixAction::TakenOff
                    || step.action == MixAction::MovedBack || step.action == MixAction::RemovedBroken;
    report();
}

void MixWorker::flushing()
{
    m_progress.transferring = false;
    m_progress.flushing = true;
    report(true);
}

void MixWorker::report(bool urgent)
{
    const qint64 now = m_clock.elapsed();
    if (!urgent && now - m_lastReport < reportInterval)
        return;
    m_lastReport = now;
    MixProgress progress = m_progress;
    if (m_listChanged && m_engine && (urgent || now - m_lastList >= listInterval)) {
        progress.playerChanged = true;
        progress.playerNames = m_engine->playerNames();
        m_shownPlayer = progress.playerNames;
        m_listChanged = false;
        m_lastList = now;
    }
    emit progressed(progress);
}

} // namespace tonvola
