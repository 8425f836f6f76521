#pragma once

#include "mix/MixEngine.h"

#include <QElapsedTimer>
#include <QObject>

namespace tonvola {

// What the window shows of a running fill. Sent a few times a second, not per file, so that
// a collection of tens of thousands of small files cannot flood the window's event queue.
struct MixProgress {
    qsizetype position = -1; // the collection position visited last
    QString copying;         // the file being copied, empty between copies
    MixAction copyingAction = MixAction::Copied;
    MixCounts counts;
    bool playerChanged = false; // playerNames holds the player's list as it is now
    FileNames playerNames;
    bool flushing = false; // the walk is over and its data goes onto the medium
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
    void runStarted(const tonvola::FileNames &sourceNames, const tonvola::FileNames &playerNames, qsizetype start);
    void progressed(const tonvola::MixProgress &progress);
    // The lists are read again at the end, so the window shows what really is there.
    void finished(const tonvola::MixResult &result, const tonvola::FileNames &sourceNames,
                  const tonvola::FileNames &playerNames);

private:
    void started(const FileNames &sourceNames, const FileNames &playerNames, qsizetype start) override;
    void visiting(qsizetype sourcePosition) override;
    void copying(MixAction action, const QString &name, qint64 done, qint64 total) override;
    void acted(const MixStep &step) override;
    void flushing() override;
    // Sends at most every few milliseconds, unless the news must not wait.
    void report(bool urgent = false);

    const MixEngine *m_engine = nullptr;
    MixProgress m_progress;
    QElapsedTimer m_clock;
    qint64 m_lastReport = 0;
    qint64 m_lastList = 0;
    bool m_listChanged = false;
    // The lists last sent to the window.
    FileNames m_shownSource;
    FileNames m_shownPlayer;
};

} // namespace tonvola

Q_DECLARE_METATYPE(tonvola::MixProgress)
