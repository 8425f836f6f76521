#pragma once

#include "platform/FileResult.h"

namespace tonvola::process {

// Runs another program in place of this one, with the same arguments (the first names the
// program). Returns only when that program could not be started; where the system cannot
// replace a process, it runs the program to its end and exits with its exit code.
[[nodiscard]] FileResult replaceWith(const QString &program, int argc, char *argv[]);

} // namespace tonvola::process
