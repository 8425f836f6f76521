#include "platform/FlushAhead.h"

#include "platform/Folder.h"

#include <QtGlobal>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace tonvola::fs {

struct FlushAhead::Worker {
    explicit Worker(int folder) : volume(folder), thread([this] { work(); }) {}
    ~Worker()
    {
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        asked.notify_one();
        thread.join();
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void work()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            asked.wait(lock, [this] { return wanted || stop; });
            if (stop)
                return;
            wanted = false;
            lock.unlock();
#ifdef Q_OS_LINUX
            (void)::syncfs(volume);
#endif
            lock.lock();
        }
    }

    const int volume;
    std::mutex mutex;
    std::condition_variable asked;
    qint64 unflushed = 0;
    bool wanted = false;
    bool stop = false;
    // Last, so that it starts once everything it reads is there.
    std::thread thread;
};

FlushAhead::FlushAhead(const Folder &volume) : m_worker(std::make_unique<Worker>(volume.handle()))
{}

FlushAhead::~FlushAhead() = default;

void FlushAhead::wrote(qint64 bytes)
{
    // A few seconds of a slow stick's writing: the tables it rewrites then weigh nothing.
    constexpr qint64 flushEvery = qint64(8) * 1024 * 1024;
    {
        const std::lock_guard lock(m_worker->mutex);
        m_worker->unflushed += bytes;
        if (m_worker->unflushed < flushEvery)
            return;
        m_worker->unflushed = 0;
        m_worker->wanted = true;
    }
    m_worker->asked.notify_one();
}

void FlushAhead::drop()
{
    const std::lock_guard lock(m_worker->mutex);
    m_worker->unflushed = 0;
    m_worker->wanted = false;
}

} // namespace tonvola::fs
