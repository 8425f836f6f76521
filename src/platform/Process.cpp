#include "platform/Process.h"

#include <QFile>
#include <QProcess>

#include <cstdlib>
#include <vector>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <unistd.h>
#endif

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tonvola::process {

FileResult replaceWith(const QString &program, int argc, char *argv[])
{
#ifdef Q_OS_UNIX
    const QByteArray path = QFile::encodeName(program);
    std::vector<char *> arguments(argv, argv + argc);
    arguments.push_back(nullptr);
    ::execv(path.constData(), arguments.data());
    return FileResult::failure(FileResult::Status::Failed, QString::fromLocal8Bit(std::strerror(errno)));
#else
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QProcess window;
    window.setProcessChannelMode(QProcess::ForwardedChannels);
    window.start(program, arguments);
    if (!window.waitForStarted())
        return FileResult::failure(FileResult::Status::Failed, window.errorString());
    window.waitForFinished(-1);
    std::exit(window.exitCode());
#endif
}

void shareOneHeap()
{
#ifdef __GLIBC__
    // glibc gives each thread a heap of its own, up to eight per processor.
    ::mallopt(M_ARENA_MAX, 1);
#endif
}

} // namespace tonvola::process

namespace tonvola::process {

bool standardOutputIsTerminal()
{
#ifdef Q_OS_UNIX
    return ::isatty(STDOUT_FILENO) == 1;
#else
    return false;
#endif
}

} // namespace tonvola::process
