#include "app/PrintedNames.h"

namespace tonvola::printed {

MixStep step(MixStep step)
{
    step.name = printableName(step.name);
    return step;
}

MixResult result(MixResult result)
{
    for (MixStep &skipped : result.skipped)
        skipped.name = printableName(skipped.name);
    result.path = printableName(result.path);
    return result;
}

} // namespace tonvola::printed
