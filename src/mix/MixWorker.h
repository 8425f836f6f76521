#pragma once

#include "mix/MixEngine.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>

namespace tonvola {

// What the window shows of a running fill. Sent a few times a second, not per file, so that
// a collection of tens of thousands of small files cannot flood the window's event queue.
struct MixProgress {
    bool planned = false; // the plan is made; the work it meant is under way
    bool transferring = false;
    MixTransfer transfer;  // how far copying or moving back has come
    qint64 transferMs = 0; // since copying began, for the time left
    MixCounts counts;
    bool playerChanged = false; // playerNames holds the player's list as it is now
    fs::FileNames playerNames;
    bool flushing = false;    // the work is done and its data goes onto the medium
    qsizetype waitingFor = 0; // collection files being written, before the plan is made
    // Before the plan: how far looking at and comparing the files has come, once it takes long.
    std::optional<MixPreparing> preparing;
};

// Carries out one fill at a time in the thread it lives in and reports through signals.
class MixWorker : public QObject, private MixObserver
{
    Q_OBJECT

public:
    explicit MixWorker(QObject *parent = nullptr);

    void run(const tonvola::MixOptions &options);

signals:
    // Emitted before the first candidate is visited; a direct connection runs in the worker's thread.
    void runStarted(const tonvola::fs::FileNames &sourceNames, const tonvola::fs::FileNames &playerNames,
                    qsizetype start);
    void progressed(const tonvola::MixProgress &progress);
    // The lists are read again at the end, so the window shows what really is there.
    void finished(const tonvola::MixResult &result, const tonvola::fs::FileNames &sourceNames,
                  const tonvola::fs::FileNames &playerNames);

private:
    void started(const fs::FileNames &sourceNames, const fs::FileNames &playerNames, qsizetype start) override;
    void waiting(qsizetype files) override;
    void preparing(const MixPreparing &preparing) override;
    void planned(const MixPlan &plan) override;
    void transferring(const MixTransfer &transfer) override;
    void acted(const MixStep &step) override;
    void flushing() override;
    // Sends at most every few milliseconds, unless the news must not wait.
    void report(bool urgent = false);

    const MixEngine *m_engine = nullptr;
    MixProgress m_progress;
    QElapsedTimer m_clock;
    QElapsedTimer m_copyClock;
    qint64 m_lastReport = 0;
    qint64 m_lastList = 0;
    bool m_listChanged = false;
    // The lists last sent to the window.
    fs::FileNames m_shownSource;
    fs::FileNames m_shownPlayer;
};

} // namespace tonvola

Q_DECLARE_METATYPE(tonvola::MixProgress)
