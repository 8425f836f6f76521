#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/frm_Start.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // A fill from the command line needs no display, so it must not open a connection to one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (tonvola::cli::wanted(arguments)) {
        QCoreApplication app(argc, argv);
        return tonvola::cli::runOnConsole(QCoreApplication::arguments());
    }

    QApplication app(argc, argv);
    tonvola::setupApplication(app);

    auto *window = new frm_Start;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return QApplication::exec();
}
