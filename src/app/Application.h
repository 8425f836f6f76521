#pragma once

class QApplication;

namespace tonvola {

// Until setupApplication(): when Qt cannot open a window (no graphical session, no display
// server reachable), says so in German with the way to fill without a window and ends the
// program with exit code 1, where Qt would abort with its own English message.
void exitWhenNoWindowCanOpen();

// Names, German texts for Qt's own dialogs, the German locale and the window icon.
void setupApplication(QApplication &app);

} // namespace tonvola
