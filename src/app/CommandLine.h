#pragma once

#include <QStringList>

#include <atomic>

class QTextStream;

// Tonvola without its window, for scripts: tonvola --fill [OPTIONS] SOURCE PLAYER.
namespace tonvola::cli {

enum ExitCode { Success = 0, Failure = 1, Usage = 2, Cancelled = 3 };

// True when the arguments (program name first) ask for the window: none, or only Qt's own window
// options. Anything else is the command line's, which also tells a wrong use.
[[nodiscard]] bool wantsWindow(const QStringList &arguments);

// Parses the arguments and carries out what they ask; one line per action and the summary go
// to out, problems (with the usage lines for a wrong use) to err. out, when it is a terminal,
// also shows how far the copying has come, in one line updated in place. Returns the exit code.
[[nodiscard]] int run(const QStringList &arguments, QTextStream &out, QTextStream &err,
                      const std::atomic_bool *cancel = nullptr, bool progressOnTerminal = false);

// run() on the process's standard streams; an interrupt (Ctrl+C) cancels the fill cleanly.
[[nodiscard]] int runOnConsole(const QStringList &arguments);

} // namespace tonvola::cli
