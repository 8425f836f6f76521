#pragma once

class QApplication;

namespace tonvola {

// Names, German texts for Qt's own dialogs, the German locale and the window icon.
void setupApplication(QApplication &app);

} // namespace tonvola
