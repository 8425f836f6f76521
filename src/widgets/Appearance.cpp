#include "widgets/Appearance.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPalette>
#include <QWidget>

static void initTonvolaResources()
{
    // A .qrc in a static library is dropped by the linker unless something refers to it.
    Q_INIT_RESOURCE(tonvola);
}

namespace tonvola::appearance {

QPalette windowPalette()
{
    // Derived from the two faces: black text on both, white lists; the selection in the navy
    // of the title, with white text.
    QPalette palette(buttonFace, background);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Highlight, activeTitle);
        palette.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    // Labels of a locked window stay legible on the blue, though dimmed.
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x4C, 0x4C, 0x80));
    return palette;
}

void applyBackground(QWidget *window)
{
    const QPalette palette = windowPalette();
    window->setPalette(palette);
    window->setAutoFillBackground(true);
    // Menus and the drive lists' drop-downs are windows of their own, which take the desktop's
    // palette unless given this one.
    const QList<QMenu *> menus = window->findChildren<QMenu *>();
    for (QMenu *menu : menus)
        menu->setPalette(palette);
    const QList<QComboBox *> combos = window->findChildren<QComboBox *>();
    for (QComboBox *combo : combos)
        combo->view()->setPalette(palette);
    // The layout was drawn for a small, narrow 8 pt system font; wider text would not fit its
    // boxes, so a family with the same widths comes first where one is installed.
    QFont font = window->font();
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                      QStringLiteral("Liberation Sans"), font.family()});
    font.setPointSizeF(8.0);
    window->setFont(font);
}

void fitCaptions(QWidget *window)
{
    // The boxes were laid out for a narrower system font. Captions in layouts get their room
    // from the layout, and wrapped ones grow downwards.
    const QList<QLabel *> labels = window->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->wordWrap() || label->text().isEmpty() || !label->parentWidget() || label->parentWidget()->layout())
            continue;
        for (qreal spacing = 99; spacing >= 94 && label->sizeHint().width() > label->width(); --spacing) {
            QFont font = label->font();
            font.setLetterSpacing(QFont::PercentageSpacing, spacing);
            label->setFont(font);
        }
    }
}

void withoutIcon(QWidget *window)
{
    window->setWindowIcon(QIcon());
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
