#include "app/Application.h"
#include "app/frm_Start.h"
#include "platform/Process.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    tonvola::fs::process::shareOneHeap();
    tonvola::exitWhenNoWindowCanOpen();
    QApplication app(argc, argv);
    tonvola::setupApplication(app);

    auto *window = new frm_Start;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return QApplication::exec();
}
