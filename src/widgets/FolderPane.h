#pragma once

#include "platform/FileResult.h"
#include "widgets/PaneFolder.h"

#include <QList>
#include <QObject>

class DirListBox;
class DriveListBox;
class FileListBox;
class QWidget;

// One side of a window: its drive list, its folder list and, in the main window, its file list,
// made to follow one another. The lists stay where the window's form lays them out, in its tab
// order; the pane only ties them together. The window's handlers of the lists' own signals
// (Drive1_Change, Dir1_Change, ...) call on it.
//
// Alike in both windows: a folder list that cannot show a folder says why, the drive list shows
// the volume of the folder shown, and a folder dropped from a file manager on any list opens.
// With a file list, the pane also keeps the folder the user chose: it loses it when the folder
// vanishes or its medium is pulled out, and waits for it to come back.
class FolderPane : public QObject
{
    Q_OBJECT

public:
    // files is null where the window has no file list.
    FolderPane(DriveListBox *drive, DirListBox *dir, FileListBox *files, QWidget *window);

    [[nodiscard]] DriveListBox *drive() const { return m_drive; }
    [[nodiscard]] DirListBox *dir() const { return m_dir; }
    [[nodiscard]] FileListBox *files() const { return m_files; }

    // While one lives, the pane tells nothing of a folder it cannot show: start-up and a medium
    // that comes back show what they can.
    class Silence
    {
    public:
        explicit Silence(FolderPane &pane) : m_pane(pane), m_was(pane.m_silent) { pane.m_silent = true; }
        ~Silence() { m_pane.m_silent = m_was; }
        Silence(const Silence &) = delete;
        Silence &operator=(const Silence &) = delete;

    private:
        FolderPane &m_pane;
        bool m_was;
    };

    // Moves the folder list to the current folder of the drive chosen in the drive list (its
    // root when that folder cannot be shown); a folder waited for is given up. When the drive
    // cannot be shown at all, the user is told why, and the drive list goes back to the drive the
    // folder list still shows, so both keep a valid folder. True when the folder list shows the
    // drive.
    bool showDriveFolder();
    // Shows a folder named elsewhere (the stored one) in the drive and folder list. One that
    // cannot be shown leaves the pane as it is; a value without a drive (a relative path, another
    // system's network share) names no folder here.
    bool showFolder(const QString &folder);
    // Reads the drives, the sub-folders and the files again.
    void refresh();
    // See DirListBox::setFollowsDisk and FileListBox::setFollowsDisk.
    void setFollowsDisk(bool follows);

    // Only with a file list: the folder the user chose, which commands act on.
    //
    // The pane's folder counts only where the user chose it or start-up found the stored one: its
    // file list shows, and its medium is still the one it was chosen on. Where the medium
    // changed, the folder is lost.
    [[nodiscard]] bool isChosen();
    // The user chose the folder shown: the file list shows, nothing is waited for.
    void choose();
    // The pane keeps showing what its lists show, but no command acts on it until the user
    // chooses a folder or the lost one comes back.
    void lose(const QString &folder);
    // Waits for a folder that is not there at start-up.
    void await(const QString &folder);
    // Shows the folder waited for where it is back; true when it is.
    bool bringBack();
    [[nodiscard]] const PaneFolder &folder() const { return m_folder; }

    // Ctrl+L opens a field to type or paste a path in the folder list of the pane that has the
    // focus (the first pane where none has).
    static void offerPathEntry(QWidget *window, const QList<FolderPane *> &panes);

signals:
    // The folder waited for changed, or there is none any more.
    void waitingChanged();
    // The folder shown is gone: the folder list shows its nearest parent, and the pane loses the
    // folder right after this is told.
    void folderVanished(const QString &folder);

private:
    void warnNotShown(const QString &folder, const tonvola::fs::FileResult &result);
    [[nodiscard]] bool contains(const QWidget *widget) const;

    DriveListBox *m_drive;
    DirListBox *m_dir;
    FileListBox *m_files;
    QWidget *m_window;
    PaneFolder m_folder;
    bool m_silent = false;
};
