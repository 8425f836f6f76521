#pragma once

#include <QtGlobal>

#include <random>

namespace tonvola {

// The fill's draws: values 0 <= r < 1. The same seed gives the same sequence on every
// platform and with every standard library, so a seeded run can be repeated anywhere.
class MixRandom
{
public:
    explicit MixRandom(quint64 seed) : m_engine(seed) {}

    // A fresh seed for each run that is not asked to repeat an earlier one.
    [[nodiscard]] static quint64 seedFromClock();

    // The top 53 bits make a double that is exact and always below 1.
    [[nodiscard]] double next() { return static_cast<double>(m_engine() >> 11) * 0x1.0p-53; }

    // floor(count * r) for the next draw r, a position from 0 to count - 1 (0 when count is 0).
    [[nodiscard]] qsizetype nextPosition(qsizetype count);

private:
    std::mt19937_64 m_engine;
};

} // namespace tonvola
