#pragma once

#include <QPointer>

namespace tonvola {

// Shows a window that exists at most once: made by make on first use, which the window's
// closing deletes; raised and activated whenever it is asked for again.
template<typename Window, typename Make> void showSingle(QPointer<Window> &window, Make make)
{
    if (!window) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tonvola
