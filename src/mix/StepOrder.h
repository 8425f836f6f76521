#pragma once

#include "mix/MixPlan.h"

#include <deque>
#include <functional>

namespace tonvola {

// Tells a run's outcomes in the order of the plan's steps, also where a copy's outcome is known
// only once its batch is named: a run and its dry run tell the same lines. Each outcome takes
// its place as it comes, a copy waiting in its batch holds one, and whatever stands before the
// first place held is told at once.
class StepOrder
{
public:
    using Teller = std::function<void(const MixStep &)>;
    explicit StepOrder(Teller tell) : m_tell(std::move(tell)) {}

    // An outcome known now.
    void add(MixStep step);
    // A place for an outcome known later.
    void hold();
    // The outcome of the first place held.
    void decide(MixStep step);
    // Gives up the places whose outcome never came, as when the run ends within a batch.
    void dropHeld();

private:
    struct Place {
        bool held = false;
        MixStep step;
    };
    void tellReady();

    Teller m_tell;
    std::deque<Place> m_places;
};

} // namespace tonvola
