#include "mix/MixRandom.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace tonvola {

quint64 MixRandom::seedFromClock()
{
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return static_cast<quint64>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count());
}

qsizetype MixRandom::nextPosition(qsizetype count)
{
    const double r = next();
    if (count <= 0)
        return 0;
    // The product can round up to count itself for very long lists.
    const auto position = static_cast<qsizetype>(std::floor(static_cast<double>(count) * r));
    return std::min(position, count - 1);
}

} // namespace tonvola
