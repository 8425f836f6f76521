#include "platform/Process.h"

#include <QFile>

#include <cerrno>
#include <unistd.h>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tonvola::fs::process {

FileResult replaceWith(const QString &program, int argc, char *argv[])
{
    const QByteArray path = QFile::encodeName(program);
    std::vector<char *> arguments(argv, argv + argc);
    arguments.push_back(nullptr);
    ::execv(path.constData(), arguments.data());
    return FileResult::fromErrno(errno);
}

void shareOneHeap()
{
#ifdef __GLIBC__
    // glibc gives each thread a heap of its own, up to eight per processor.
    ::mallopt(M_ARENA_MAX, 1);
#endif
}

void returnFreeMemory()
{
#ifdef __GLIBC__
    // glibc hands back only the top of its heap by itself; what was freed below the blocks
    // still in use stays resident until trimmed.
    ::malloc_trim(0);
#endif
}

bool standardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

} // namespace tonvola::fs::process
