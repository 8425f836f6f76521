#include "platform/Medium.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace tonvola::fs {

namespace {

// How long a counted free space stands before the medium is looked at again.
constexpr qint64 countedForMs = 300;
// A look slower than this is worth saving: a copy of a small file costs about as much.
constexpr qint64 slowLookNs = 250000;

qint64 nowMs()
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    return clock.elapsed();
}

} // namespace

FreeSpace::FreeSpace(const Folder &folder) : m_folder(folder)
{
    // The quickest of a few looks, so that one that had to wait for the processor does not count.
    qint64 quickest = std::numeric_limits<qint64>::max();
    for (int look = 0; look < 3 && quickest > slowLookNs; ++look) {
        QElapsedTimer timer;
        timer.start();
        if (!availableBytes(folder))
            return;
        quickest = std::min(quickest, timer.nsecsElapsed());
    }
    m_cluster = std::max<qint64>(1, allocationUnit(folder));
    m_counting = quickest > slowLookNs;
}

std::optional<qint64> FreeSpace::available()
{
    if (m_counting && m_known && nowMs() - m_lookedAtMs < countedForMs)
        return m_known;
    m_known = availableBytes(m_folder);
    m_lookedAtMs = nowMs();
    return m_known;
}

void FreeSpace::count(qint64 bytes)
{
    // A file takes whole clusters.
    const qint64 clusters = (std::abs(bytes) + m_cluster - 1) / m_cluster;
    if (m_known)
        *m_known += bytes < 0 ? -clusters * m_cluster : clusters * m_cluster;
}

} // namespace tonvola::fs
