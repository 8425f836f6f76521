#pragma once

#include "platform/FileResult.h"

class DirListBox;
class DriveListBox;
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

} // namespace tonvola::panes
