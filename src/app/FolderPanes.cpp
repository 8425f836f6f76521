#include "app/FolderPanes.h"

#include "app/DirListBox.h"
#include "app/DriveListBox.h"
#include "app/Messages.h"
#include "platform/FileName.h"
#include "platform/Volumes.h"

#include <QDir>

namespace tonvola::panes {

bool showDriveFolder(QWidget *parent, DriveListBox &drive, DirListBox &dir, bool silent)
{
    const QString root = drive.drive();
    FileResult result = volumes::checkReady(root);
    if (result.ok()) {
        const QString current = volumes::currentFolder(root);
        result = dir.setPath(current);
        if (!result.ok() && current != root)
            result = dir.setPath(root);
    }
    if (result.ok())
        return true;
    if (!silent)
        messages::warn(parent, QStringLiteral("Das Laufwerk %1 ist nicht bereit: %2")
                                   .arg(printableName(QDir::toNativeSeparators(root)), result.reason));
    drive.followFolder(dir.path());
    return false;
}

void warnFolderNotShown(QWidget *parent, const QString &folder, const FileResult &result)
{
    messages::warn(parent, QStringLiteral("Das Verzeichnis %1 kann nicht angezeigt werden: %2")
                               .arg(printableName(QDir::toNativeSeparators(folder)), result.reason));
}

} // namespace tonvola::panes
