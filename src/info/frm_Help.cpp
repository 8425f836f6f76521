#include "info/frm_Help.h"

#include "app/Appearance.h"
#include "app/Keyboard.h"
#include "info/HelpPictures.h"

#include <QPixmap>
#include <QScreen>
#include <QScrollArea>

#include <algorithm>

namespace {

// The laid-out page below the menu bar.
constexpr QSize pageSize{665, 589};

} // namespace

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
    tonvola::keyboard::menusByKeyboard(this);

    QWidget *page = takeCentralWidget();
    page->setFixedSize(pageSize);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("HelpPage"));
    scroll->setAccessibleName(QStringLiteral("Hilfeseite"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    scroll->setWidget(page);
    setCentralWidget(scroll);

    // The client area below the menu bar has the laid-out size where the screen has room; the
    // user may resize it.
    resize(pageSize.width(), pageSize.height() + menuBar()->sizeHint().height());
    fitScreen();
}

void frm_Help::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The window system's frame is known only now.
    fitScreen();
}

void frm_Help::fitScreen()
{
    const QRect available = screen()->availableGeometry();
    const QRect frame = frameGeometry();
    const QSize decoration = frame.size() - size();
    const QSize fitting = size().boundedTo(available.size() - decoration);
    if (fitting != size())
        resize(fitting);
    if (!isVisible() || available.contains(frameGeometry()))
        return;
    const QPoint inside(std::clamp(frame.x(), available.left(), available.right() - frameGeometry().width() + 1),
                        std::clamp(frame.y(), available.top(), available.bottom() - frameGeometry().height() + 1));
    move(inside);
}

void frm_Help::mnuClose_Click()
{
    close();
}
