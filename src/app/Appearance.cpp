#include "app/Appearance.h"

#include <QPalette>
#include <QWidget>

static void initTonvolaResources()
{
    // A .qrc in a static library is dropped by the linker unless something refers to it.
    Q_INIT_RESOURCE(tonvola);
}

namespace tonvola::appearance {

void applyBackground(QWidget *window)
{
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, background);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    // The layout was drawn for a small, narrow 8 pt system font; wider text would not fit its
    // boxes, so a family with the same widths comes first where one is installed.
    QFont font = window->font();
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), font.family()});
    font.setPointSizeF(8.0);
    window->setFont(font);
}

void makeFixedDialogWindow(QWidget *window)
{
    window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint);
}

QFont headingFont(qreal pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Papyrus"), QStringLiteral("Z003"), QStringLiteral("URW Chancery L"),
                      QStringLiteral("TeX Gyre Chorus"), QStringLiteral("serif")});
    font.setPointSizeF(pointSize);
    font.setBold(true);
    font.setUnderline(true);
    return font;
}

QFont contactFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Palatino Linotype"), QStringLiteral("P052"), QStringLiteral("URW Palladio L"),
                      QStringLiteral("TeX Gyre Pagella"), QStringLiteral("serif")});
    font.setPointSizeF(12.0);
    font.setBold(true);
    font.setUnderline(true);
    return font;
}

void initResources()
{
    static const bool done = [] {
        initTonvolaResources();
        return true;
    }();
    Q_UNUSED(done);
}

} // namespace tonvola::appearance
