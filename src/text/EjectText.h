#pragma once

#include "platform/Eject.h"

#include <QString>

// What taking the player out came to, as the user reads it.
namespace tonvola::ejecttext {

// E.g. "Der Player /media/STICK ist ausgeworfen und kann jetzt abgezogen werden."
[[nodiscard]] QString message(const fs::EjectResult &result);

} // namespace tonvola::ejecttext
