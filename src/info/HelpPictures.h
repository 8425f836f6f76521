#pragma once

#include <QImage>

namespace tonvola::help {

// Pictures of the three parts of the main window the help explains. The main window draws them
// from its own form, so they always show the window as this build lays it out.
struct Pictures {
    QImage sourcePane;  // heading, drive list, folder list and file list of the collection side
    QImage playerPane;  // the same for the player side
    QImage startButton; // the start button with the picture below it
};

} // namespace tonvola::help
