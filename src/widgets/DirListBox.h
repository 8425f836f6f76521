#pragma once

#include "widgets/FolderReader.h"
#include "widgets/FolderWatch.h"

#include "platform/FileResult.h"
#include "platform/FolderByPath.h"

#include <QTreeWidget>

class QLineEdit;

// The folder list of a pane: the chain of folders down to the current one, then its
// sub-folders. A double-click or Enter opens a folder; a click only selects it. The list
// follows the folder on disk: new and removed sub-folders show, and when the folder itself
// goes, the list moves to its nearest parent that is still there.
class DirListBox : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirListBox(QWidget *parent = nullptr);

    [[nodiscard]] QString path() const;
    // Shows the folder and records it as the current folder of its volume; raises
    // pathChanged when it differs from the one shown. A folder that cannot be shown leaves
    // the list as it was and says why.
    [[nodiscard]] tonvola::fs::FileResult setPath(const QString &folder);
    // Opens a folder the user named by typing, pasting or dropping it, as a choice of the user's:
    // raises folderClicked once it shows, openFailed when it cannot be shown.
    bool chooseFolder(const QString &folder);
    // Shows a field over the top of the list to type or paste a folder's path, with completion;
    // Enter opens the folder, Esc leaves the field. The field's name for screen readers and the
    // hint it shows while empty are the window's words.
    void editPath(const QString &name, const QString &hint);
    // Reads the sub-folders again.
    void refresh();
    // The folder the user chose is gone (its medium pulled out): its name stays on show, greyed,
    // where it was, until it is shown again or another folder is. Empty: none is.
    void markLost(const QString &folder);
    // The words of the tooltip over a lost folder, which the window gives; none without them.
    void setLostTip(QString (*tip)(const QString &folder)) { m_lostTip = tip; }
    // While a fill writes into the folder, its thousands of changes do not make the list read
    // it again; a change left unshown meanwhile is read once it follows again.
    void setFollowsDisk(bool follows);

signals:
    void pathChanged(const QString &path);
    // The user chose a folder: a click, the arrow keys, Enter or a double-click.
    void folderClicked();
    // A folder the user opened could not be shown.
    void openFailed(const QString &folder, const tonvola::fs::FileResult &result);
    // The folder on show is gone; the list goes on to show its nearest parent.
    void folderVanished(const QString &folder);

private:
    void rebuild();
    void rebuildWith(const QStringList &subFolders);
    void showRead(const QString &folder, const QVariant &subFolders);
    void open(QTreeWidgetItem *item);
    void folderChangedOnDisk();
    void openTypedPath();

    void showLost();

    QString m_path;
    QString m_lost;
    QString (*m_lostTip)(const QString &folder) = nullptr;
    QString m_builtFor;
    bool m_rebuilding = false;
    bool m_followsDisk = true;
    bool m_changedUnshown = false;
    // Short enough that a change shows at once, long enough that a burst is read only once.
    static constexpr int settleMs = 200;
    FolderWatch m_watch{settleMs, this};
    // Reads the sub-folders again when the folder changed on disk: a player folder holds tens of
    // thousands of files, which the window's thread would stall on.
    FolderReader m_reader{[](const QString &folder) { return QVariant(tonvola::fs::subFolders(folder)); }, this};
    QLineEdit *m_pathField = nullptr;
};
