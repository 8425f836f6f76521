#include "app/MainWindowPictures.h"

#include "app/frm_Start.h" // brings the main window's generated form
#include "widgets/Appearance.h"

#include <QMainWindow>
#include <QPixmap>

namespace tonvola::help {

namespace {

// Regions of the main window's client area and the sizes the help shows them at.
constexpr QRect sourcePaneRegion{14, 64, 196, 284};
constexpr QRect playerPaneRegion{408, 68, 193, 280};
constexpr QRect startButtonRegion{216, 128, 185, 162};
constexpr QSize startButtonSize{152, 133};

// The size is the picture's size on a screen of ratio 1; the picture holds as many pixels
// more as the screen has, so that it stays sharp where the desktop is scaled.
QImage picture(QWidget *client, const QRect &region, const QSize &size)
{
    QImage image = client->grab(region).toImage().convertToFormat(QImage::Format_RGB888);
    const qreal ratio = client->devicePixelRatioF();
    const QSize pixels = (QSizeF(size) * ratio).toSize();
    if (image.size() != pixels)
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(ratio);
    return image;
}

} // namespace

Pictures renderPictures()
{
    appearance::initResources();
    QMainWindow scratch;
    Ui::frm_Start form;
    form.setupUi(&scratch);
    appearance::applyBackground(&scratch);
    appearance::fitCaptions(&scratch);
    // As after a start with stored folders: the file lists belong to the panes.
    form.File1->setVisible(true);
    form.File2->setVisible(true);
    // Item views lay out their rows only once shown; this showing never reaches the screen.
    scratch.setAttribute(Qt::WA_DontShowOnScreen);
    scratch.show();

    QWidget *client = form.centralwidget;
    Pictures pictures;
    pictures.sourcePane = picture(client, sourcePaneRegion, sourcePaneRegion.size());
    pictures.playerPane = picture(client, playerPaneRegion, playerPaneRegion.size());
    pictures.startButton = picture(client, startButtonRegion, startButtonSize);
    return pictures;
}

} // namespace tonvola::help
