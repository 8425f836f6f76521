#pragma once

#include "platform/FileResult.h"
#include "widgets/FolderPresence.h"

#include <QList>
#include <QObject>

class DirListBox;
class DriveListBox;
class FileListBox;
class QWidget;

// One side of a window: its drive list, its folder list and, in the main window, its file list,
// made to follow one another. The lists stay where the window's form lays them out, in its tab
// order; the pane ties them together: a drive chosen moves the folder list to it, the file list
// shows the folder the folder list shows, and a click on a folder chooses it. The window's own
// handlers (Dir1_Change, File1_Click, ...) do only what the window adds to that.
//
// Alike in both windows: a drive or folder that cannot be shown is reported, the drive list shows
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

    // What the window's DriveN_Change does: moves the folder list to the current folder of the
    // drive chosen in the drive list (its
    // root when that folder cannot be shown); a folder waited for is given up. When the drive
    // cannot be shown at all, driveNotReady tells why, and the drive list goes back to the drive
    // the folder list still shows, so both keep a valid folder. True when the folder list shows the
    // drive.
    bool showDriveFolder();
    // Shows a folder named elsewhere (the stored one) in the drive and folder list. One that
    // cannot be shown leaves the pane as it is; a value without a drive (a relative path, another
    // system's network share) names no folder here.
    bool showFolder(const QString &folder);
    // At start-up, the stored folder as if the user had chosen it; one that cannot be shown but
    // names a drive (a stick not plugged in) is waited for. Says nothing of what it cannot show.
    // True when it shows.
    bool openStored(const QString &folder);
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
    // What the window's DirN_Click does: the user chose the folder shown; the file list shows,
    // nothing is waited for.
    void choose();
    // The pane keeps showing what its lists show, but no command acts on it until the user
    // chooses a folder or the lost one comes back.
    void lose(const QString &folder);
    // Waits for a folder that is not there at start-up.
    void await(const QString &folder);
    // Shows the folder waited for where it is back; true when it is.
    bool bringBack();
    [[nodiscard]] const FolderPresence &presence() const { return m_presence; }

    // The words for what a pane cannot show, which the window gives: the panes do not know them.
    struct Sentences {
        QString (*driveNotReady)(const QString &root, const tonvola::fs::FileResult &why);
        QString (*folderNotShown)(const QString &folder, const tonvola::fs::FileResult &why);
        QString (*lostFolder)(const QString &folder);
    };
    // A message box over the window tells what the panes cannot show (driveNotReady,
    // folderNotShown), and a lost folder's tooltip why it is greyed, in the sentences given.
    static void warnOfWhatTheyCannotShow(QWidget *window, const QList<FolderPane *> &panes, Sentences sentences);

    // Ctrl+L opens a field to type or paste a path in the folder list of the pane that has the
    // focus (the first pane where none has). The field is called `name` and shows `hint` while empty.
    static void offerPathEntry(QWidget *window, const QList<FolderPane *> &panes, const QString &name,
                               const QString &hint);

signals:
    // The folder waited for changed, or there is none any more.
    void waitingChanged();
    // The folder shown is gone: the folder list shows its nearest parent, and the pane loses the
    // folder right after this is told.
    void folderVanished(const QString &folder);
    // The window tells the user, in words the pane does not know: the drive chosen cannot be
    // shown, or a folder the user opened cannot. Neither is told while the pane is silent.
    void driveNotReady(const QString &root, const tonvola::fs::FileResult &result);
    void folderNotShown(const QString &folder, const tonvola::fs::FileResult &result);

private:
    void followOneAnother();
    void acceptFolderDrops(QWidget *window);
    [[nodiscard]] bool contains(const QWidget *widget) const;

    DriveListBox *m_drive;
    DirListBox *m_dir;
    FileListBox *m_files;
    FolderPresence m_presence;
    bool m_silent = false;
};
