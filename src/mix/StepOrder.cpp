#include "mix/StepOrder.h"

#include <algorithm>

namespace tonvola {

void StepOrder::add(MixStep step)
{
    m_places.push_back({false, std::move(step)});
    tellReady();
}

void StepOrder::hold()
{
    m_places.push_back({true, {}});
}

void StepOrder::decide(MixStep step)
{
    const auto held = std::find_if(m_places.begin(), m_places.end(), [](const Place &place) { return place.held; });
    if (held != m_places.end())
        *held = {false, std::move(step)};
    tellReady();
}

void StepOrder::dropHeld()
{
    m_places.erase(std::remove_if(m_places.begin(), m_places.end(), [](const Place &place) { return place.held; }),
                   m_places.end());
    tellReady();
}

void StepOrder::tellReady()
{
    while (!m_places.empty() && !m_places.front().held) {
        m_tell(m_places.front().step);
        m_places.pop_front();
    }
}

} // namespace tonvola
