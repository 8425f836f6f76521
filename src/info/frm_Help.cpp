#include "info/frm_Help.h"

#include "app/Appearance.h"
#include "app/Keyboard.h"
#include "info/HelpPictures.h"

#include <QPixmap>

frm_Help::frm_Help(QWidget *parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    tonvola::appearance::applyBackground(this);
    tonvola::appearance::fitCaptions(this);

    const tonvola::help::Pictures pictures = tonvola::help::renderPictures();
    ui.Image1->setPixmap(QPixmap::fromImage(pictures.sourcePane));
    ui.Image2->setPixmap(QPixmap::fromImage(pictures.playerPane));
    ui.Image3->setPixmap(QPixmap::fromImage(pictures.startButton));

    connect(ui.mnuClose, &QAction::triggered, this, &frm_Help::mnuClose_Click);
    tonvola::keyboard::escapeCloses(this);

    // The client area below the menu bar has the laid-out size; the user may resize it.
    resize(665, 589 + menuBar()->sizeHint().height());
}

void frm_Help::mnuClose_Click()
{
    close();
}
