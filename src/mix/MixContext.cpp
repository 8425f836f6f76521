#include "mix/MixContext.h"

#include "mix/MixEngine.h"

#include <algorithm>

namespace tonvola {

Q_LOGGING_CATEGORY(lcMix, "tonvola.mix")

void reportStep(MixResult &result, MixObserver &observer, const MixStep &step)
{
    result.counts.add(step);
    if (step.action == MixAction::Skipped)
        result.skipped.append(step);
    const bool plain = step.action == MixAction::Copied || step.action == MixAction::TakenOff
                       || (step.action == MixAction::MovedBack && step.alreadyInCollection);
    if (!plain)
        result.named.append(step);
    observer.acted(step);
}

void MixPlayerList::reset(qsizetype keyCount)
{
    m_nameOfKey.assign(static_cast<std::size_t>(keyCount), fs::FileName());
    m_present.assign(static_cast<std::size_t>(keyCount), 0);
}

void MixPlayerList::set(qsizetype key, const fs::FileName &name, bool present)
{
    if (key < 0 || key >= static_cast<qsizetype>(m_present.size()))
        return;
    m_present[static_cast<std::size_t>(key)] = present ? 1 : 0;
    m_nameOfKey[static_cast<std::size_t>(key)] = name;
}

fs::FileNames MixPlayerList::names() const
{
    fs::FileNames names;
    // Sent to the window while the run goes on: exactly as long as needed, with no room to grow.
    names.reserve(std::count(m_present.cbegin(), m_present.cend(), char(1)));
    for (std::size_t key = 0; key < m_present.size(); ++key) {
        if (m_present[key])
            names.append(m_nameOfKey[key]);
    }
    return names;
}

} // namespace tonvola
