#pragma once

#include "mix/MixWorker.h"

#include <QObject>
#include <QThread>

#include <atomic>

namespace tonvola {

// Runs fills for a window in a thread of their own, so the window keeps painting and can
// cancel. One fill at a time. Destroying the runner cancels a running fill and waits for it.
class MixRunner : public QObject
{
    Q_OBJECT

public:
    explicit MixRunner(QObject *parent = nullptr);
    ~MixRunner() override;
    MixRunner(const MixRunner &) = delete;
    MixRunner &operator=(const MixRunner &) = delete;

    [[nodiscard]] bool isRunning() const { return m_running; }
    // Starts a fill; false when one is running already. The runner supplies the cancel flag.
    bool start(MixOptions options);
    // The running fill stops within the current file; it leaves no partial file.
    void cancel();

signals:
    // Emitted in the fill's own thread before the first candidate is visited: a direct
    // connection runs there, before the fill goes on.
    void started(const tonvola::fs::FileNames &sourceNames, const tonvola::fs::FileNames &playerNames, qsizetype start);
    void progressed(const tonvola::MixProgress &progress);
    void finished(const tonvola::MixResult &result, const tonvola::fs::FileNames &sourceNames,
                  const tonvola::fs::FileNames &playerNames);

private:
    QThread m_thread;
    MixWorker *m_worker = nullptr;
    std::atomic_bool m_cancel = false;
    bool m_running = false;
};

} // namespace tonvola
