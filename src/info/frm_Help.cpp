#include "info/frm_Help.h"

#include "widgets/Appearance.h"
#include "widgets/Keyboard.h"

#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStyle>

#include <algorithm>

namespace {

// The laid-out page below the menu bar.
constexpr QSize pageSize{665, 589};

} // namespace

frm_Help::frm_Help(const tonvola::help::Pictures &pictures, QWidget *parent) : QMainWindow(parent)
{
    ui.setupUi(this);
    tonvola::appearance::withoutIcon(this);
    tonvola::appearance::applyBackground(this);
    tonvola::appearance::fitCaptions(this);

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

    fitScreen();
}

void frm_Help::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The window system's frame is known only once the window is shown.
    if (!event->spontaneous())
        fitScreen();
}

// The client area below the menu bar has the laid-out size where the screen has room; where it
// has not, the window takes the room there is and the page scrolls. The user may resize it.
void frm_Help::fitScreen()
{
    const QRect available = screen()->availableGeometry();
    const QSize room = available.size() - (frameGeometry().size() - size());
    QSize wanted(pageSize.width(), pageSize.height() + menuBar()->sizeHint().height());
    // A page cut in one direction gets a scroll bar across the other, which takes room too.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    if (wanted.height() > room.height())
        wanted.rwidth() += bar;
    else if (wanted.width() > room.width())
        wanted.rheight() += bar;
    resize(wanted.boundedTo(room));
    if (!isVisible() || available.contains(frameGeometry()))
        return;
    const QRect frame = frameGeometry();
    move(std::clamp(frame.x(), available.left(), available.right() - frame.width() + 1),
         std::clamp(frame.y(), available.top(), available.bottom() - frame.height() + 1));
}

void frm_Help::mnuClose_Click()
{
    close();
}
