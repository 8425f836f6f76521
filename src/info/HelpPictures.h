#pragma once

#include <QImage>

namespace tonvola::help {

// Pictures of the three parts of the main window the help explains.
struct Pictures {
    QImage sourcePane;  // heading, drive list, folder list and file list of the collection side
    QImage playerPane;  // the same for the player side
    QImage startButton; // the start button with the picture below it
};

// Draws the pictures from a scratch copy of the main window's form, so they always show
// the window as this build lays it out. Reads no configuration and changes nothing.
[[nodiscard]] Pictures renderPictures();

} // namespace tonvola::help
