#pragma once

#include "platform/FileResult.h"

namespace tonvola::fs::process {

// Runs another program in place of this one, with the same arguments (the first names the
// program). Returns only when that program could not be started; where the system cannot
// replace a process, it runs the program to its end and exits with its exit code.
[[nodiscard]] FileResult replaceWith(const QString &program, int argc, char *argv[]);

// Lets every thread of the process allocate from one heap, so that memory one thread let go
// serves the others. The window reads a long folder in its own thread and the fill reads it
// again in another; with a heap for each, both peaks stay resident side by side. Call before
// any thread starts.
void shareOneHeap();

// Gives the memory that the heap holds unused back to the system. Freed memory otherwise stays
// with the process for later use: a fill of a large collection frees tens of megabytes that
// the window, which keeps running, would go on holding. Costs a few milliseconds.
void returnFreeMemory();

// True when the process's standard output goes to a terminal, not into a file or a pipe.
[[nodiscard]] bool standardOutputIsTerminal();

} // namespace tonvola::fs::process
