#pragma once

class QMainWindow;
class QWidget;

// Keys that work alike in every window of the program.
namespace tonvola::keyboard {

// Enter presses the button that has the focus, as Space does. Outside dialogs Qt leaves
// Enter to push buttons that are auto-default only, and to tool buttons never. No button
// becomes a default that Enter would press from another control.
void enterPressesFocusedButton(QWidget *window);

// Esc closes the window as its own close command does.
void escapeCloses(QWidget *window);

// F10 opens the first menu, as on other desktops. (Alt with a menu's underlined letter opens that
// menu, and a tap on Alt marks the first one for the arrow keys, as Qt's menu bar does itself.)
void menusByKeyboard(QMainWindow *window);

} // namespace tonvola::keyboard
