#include "platform/Process.h"

#include <QProcess>

#include <cstdlib>

namespace tonvola::fs::process {

FileResult replaceWith(const QString &program, int argc, char *argv[])
{
    // Qt cannot replace a process: the program runs to its end, and its exit code is this one's.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QProcess window;
    window.setProcessChannelMode(QProcess::ForwardedChannels);
    window.start(program, arguments);
    if (!window.waitForStarted())
        return FileResult::described(FileResult::Status::Failed, window.errorString());
    window.waitForFinished(-1);
    std::exit(window.exitCode());
}

void shareOneHeap()
{
    // Qt has no say in how the C library hands out memory.
}

void returnFreeMemory()
{
    // Qt has no say in it either; the C library keeps what it keeps.
}

bool standardOutputIsTerminal()
{
    // Qt cannot tell; the progress line then stays off, as in a pipe.
    return false;
}

} // namespace tonvola::fs::process
