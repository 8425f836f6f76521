#pragma once

#include "info/HelpPictures.h"

namespace tonvola::help {

// Draws the help's pictures from a scratch copy of the main window's form. Reads no
// configuration and changes nothing.
[[nodiscard]] Pictures renderPictures();

} // namespace tonvola::help
