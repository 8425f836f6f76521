#include "app/CommandLine.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "text/CommandLineText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // Taken as the system gave them: a folder whose path is no text (Latin-1 from an old stick)
    // still names its folder, which Qt's own list of the arguments would not.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(tonvola::fs::pathFromNative(QByteArray(argv[i])));
    QCoreApplication app(argc, argv);
    if (!tonvola::cli::wantsWindow(arguments))
        return tonvola::cli::runOnConsole(arguments);

    // The window lives in a program of its own, so that a fill from the command line starts
    // without loading the libraries of the graphical interface. Its place relative to this
    // program comes from the install folders.
    const QString program =
        QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(TONVOLA_WINDOW_PATH)));
    if (!QFileInfo(program).isExecutable()) {
        QTextStream(stderr) << tonvola::clitext::windowMissing(program);
        return 1;
    }
    QTextStream(stderr) << tonvola::clitext::windowNotStarted(tonvola::fs::process::replaceWith(program, argc, argv));
    return 1;
}
