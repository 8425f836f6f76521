#pragma once

#include "platform/FileResult.h"

#include <QList>

class DirListBox;
class DriveListBox;
class QMimeData;
class QWidget;

// What the drive and folder lists of both windows do alike when a folder cannot be shown.
namespace tonvola::panes {

// Moves the folder list to the current folder of the drive chosen in the drive list (its
// root when that folder cannot be shown). When the drive cannot be shown at all, the user
// is told why unless silent, and the drive list goes back to the drive the folder list
// still shows, so both keep a valid folder. True when the folder list shows the drive.
bool showDriveFolder(QWidget *parent, DriveListBox &drive, DirListBox &dir, bool silent = false);

// Tells the user that a folder list could not show the folder, and why.
void warnFolderNotShown(QWidget *parent, const QString &folder, const FileResult &result);

// One side of a window: its drive list, its folder list and, where the window has one, its file list.
struct Pane {
    DriveListBox *drive = nullptr;
    DirListBox *dir = nullptr;
    QWidget *files = nullptr;
};

// Lets the user name a pane's folder as on today's desktops: a folder dropped from a file manager
// on any list of a pane opens in its folder list, and Ctrl+L opens a field to type or paste a path
// in the folder list of the pane that has the focus (the first pane where none has).
void offerFolderEntry(QWidget *window, const QList<Pane> &panes);

// The local folder a drag carries; empty when it carries none.
[[nodiscard]] QString droppedFolder(const QMimeData *data);

} // namespace tonvola::panes
