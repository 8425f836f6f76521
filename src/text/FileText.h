#pragma once

#include "platform/FileResult.h"

#include <QString>

// Why a file or folder could not be had, as the user reads it after a colon or in brackets:
// "Der Datenträger ist schreibgeschützt". The rooms below pass the platform's reasons on as
// they are; each sentence that names a file or folder words the reason with this.
namespace tonvola::filetext {

// The reason a result gives, in words; the system's own where the program has none. Empty for
// a result that tells nothing.
[[nodiscard]] QString reason(const fs::FileResult &result);

} // namespace tonvola::filetext
