#pragma once

#include "mix/MixEngine.h"

// The fill's steps and results with every name in them printable on one line, for the
// lines scripts read and the messages the window shows (see printableName).
namespace tonvola::printed {

[[nodiscard]] MixStep step(MixStep step);
[[nodiscard]] MixResult result(MixResult result);

} // namespace tonvola::printed
