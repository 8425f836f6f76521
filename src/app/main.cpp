#include "app/CommandLine.h"
#include "platform/Process.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

// The window lives in a program of its own, so that a fill from the command line starts
// without loading the libraries of the graphical interface.
static QString windowProgram()
{
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &candidate : {here.filePath(QStringLiteral("tonvola-window")),
                                     here.filePath(QStringLiteral("../libexec/tonvola/tonvola-window"))}) {
        if (QFileInfo(candidate).isExecutable())
            return QDir::cleanPath(candidate);
    }
    return {};
}

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    QCoreApplication app(argc, argv);
    if (!tonvola::cli::wantsWindow(arguments))
        return tonvola::cli::runOnConsole(QCoreApplication::arguments());

    const QString program = windowProgram();
    const tonvola::FileResult started = program.isEmpty()
                                            ? tonvola::FileResult::failure(tonvola::FileResult::Status::NotFound,
                                                                           QStringLiteral("tonvola-window fehlt"))
                                            : tonvola::process::replaceWith(program, argc, argv);
    QTextStream(stderr)
        << QStringLiteral("Das Fenster von Tonvola konnte nicht gestartet werden: %1\n").arg(started.reason);
    return 1;
}
