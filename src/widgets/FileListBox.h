#pragma once

#include "platform/FileName.h"
#include "platform/FolderByPath.h"
#include "platform/Listing.h"
#include "widgets/FolderReader.h"
#include "widgets/FolderWatch.h"

#include <QAbstractListModel>
#include <QListView>

// The names a file list shows, straight from the list of names: no item per entry, so that a
// folder of tens of thousands costs little memory and is shown again in no time.
class FileNameModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] const tonvola::fs::FileNames &names() const { return m_names; }
    void setNames(const tonvola::fs::FileNames &names);
    // Holds these names in place of equal ones held so far, which nothing then changes for the
    // views: a folder read twice, by the list and by a fill, is then kept once.
    void shareNames(const tonvola::fs::FileNames &names);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    tonvola::fs::FileNames m_names;
};

// The file list of a pane: the MP3 files of one folder, in the program's list order. It
// follows the folder on disk: files another program adds or removes show within moments,
// read in a thread of their own, and the selected name stays selected while it is there.
class FileListBox : public QListView
{
    Q_OBJECT

public:
    explicit FileListBox(QWidget *parent = nullptr);

    [[nodiscard]] QString path() const;
    void setPath(const QString &folder);
    // Reads the folder again, keeping the selected name where it is still there.
    void refresh();
    // Shows this folder's names as read elsewhere, in list order, keeping the selected name:
    // a long folder is then never read in the window's thread.
    void showNames(const tonvola::fs::FileNames &names);
    // While another part of the program shows the folder's names, changes on disk do not make
    // the list read it; a change left unshown meanwhile is read once it follows again.
    void setFollowsDisk(bool follows);

    [[nodiscard]] qsizetype listCount() const;
    // The selected entry, -1 when none is.
    [[nodiscard]] qsizetype listIndex() const;
    // Selecting an entry, by the user or the program, raises fileClicked.
    void setListIndex(qsizetype index);
    // Selects every entry in turn, as clicks would, so that the last one ends up selected; returns
    // the files it selected.
    [[nodiscard]] QList<tonvola::fs::FilePath> selectEachInTurn();
    // After the selected entry at this row went, the entry that takes its place is selected, as a
    // click on it would: so the next command names a file the list shows.
    void selectInPlaceOf(qsizetype row);
    // A right-click on an entry selects it, as a click would, and offers these actions for it.
    void offerFileMenu(const QList<QAction *> &actions);
    // Name of the selected entry; empty when nothing is selected, also while the keyboard's
    // focus rests on an entry.
    [[nodiscard]] QString fileName() const;
    // The selected file by its folder and its name's real bytes; empty when nothing is selected.
    [[nodiscard]] tonvola::fs::FilePath selectedPath() const;

signals:
    // An entry was chosen: clicked, or selected with the keyboard or by the program.
    void fileClicked();
    // A double-click, or Enter on the chosen entry.
    void fileDoubleClicked();
    // The entries were read again (another folder, a refresh, a change on disk).
    void listChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    void showFileMenu(const QPoint &at);
    void fill(const tonvola::fs::FileNames &names);
    void folderChanged();
    void showRead(const QString &folder, const QVariant &names);
    [[nodiscard]] int selectedRow() const;

    QString m_path;
    QString m_filledFrom;
    bool m_followsDisk = true;
    bool m_changedUnshown = false;
    // Set while the list is refilled: restoring the selection is no choice of the user's.
    bool m_filling = false;
    QList<QAction *> m_fileMenu;
    // The entries' names, row by row: the texts shown may not tell names apart, these do.
    FileNameModel m_model;
    // Short enough that a change shows at once, long enough that a burst is read only once.
    static constexpr int settleMs = 150;
    FolderWatch m_watch{settleMs, this};
    FolderReader m_reader{[](const QString &folder) { return QVariant::fromValue(tonvola::fs::mp3Names(folder)); },
                          this};
};
