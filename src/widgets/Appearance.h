#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

class QWidget;

namespace tonvola::appearance {

// The light blue of every window, frame and label.
inline const QColor background{0x80, 0x80, 0xFF};

// The face of buttons and drive lists.
inline const QColor buttonFace{0xEF, 0xEF, 0xEF};

// Text colour of the title label: the classic colour of an active title bar, which the
// desktop does not tell us on every platform.
inline const QColor activeTitle{0x00, 0x00, 0x80};

// Paints the window, its frames and labels in the program's background colour, in the
// small font the layout was drawn for. Text, buttons, lists and menus get fixed light colours
// with dark text, so that they read on the fixed blue under any desktop palette.
void applyBackground(QWidget *window);

// The colours applyBackground gives: the blue, black text, light buttons, white lists and a
// navy selection.
[[nodiscard]] QPalette windowPalette();

// Sets a caption a little tighter where it would otherwise lose its last letters in its
// laid-out box. Call once the window's fonts are set.
void fitCaptions(QWidget *window);

// A secondary window shows no icon of its own: only the main window and the menu entry carry
// the program's. Without this, a window would take its owner's icon.
void withoutIcon(QWidget *window);

// Makes a window fixed in size, without minimize and maximize boxes.
void makeFixedDialogWindow(QWidget *window);

// The decorative heading font: Papyrus where installed, else a calligraphic family.
[[nodiscard]] QFont headingFont(qreal pointSize);

// The font of the contact line: Palatino Linotype where installed, else a Palatino clone.
[[nodiscard]] QFont contactFont();

// Loads the artwork compiled into the library; safe to call more than once.
void initResources();

} // namespace tonvola::appearance
