#include "widgets/FileListBox.h"

#include "platform/FolderByPath.h"
#include "platform/Listing.h"
#include "widgets/Appearance.h"

#include <QDir>
#include <QKeyEvent>
#include <QMenu>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyle>
#include <QToolTip>

#include <algorithm>
#include <climits>

void FileNameModel::setNames(const tonvola::fs::FileNames &names)
{
    beginResetModel();
    m_names = names;
    endResetModel();
}

void FileNameModel::shareNames(const tonvola::fs::FileNames &names)
{
    Q_ASSERT(names == m_names);
    m_names = names;
}

int FileNameModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(std::min<qsizetype>(m_names.size(), INT_MAX));
}

QVariant FileNameModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_names.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::AccessibleTextRole)
        return m_names[index.row()].text();
    return {};
}

FileListBox::FileListBox(QWidget *parent) : QListView(parent)
{
    setModel(&m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    connect(&m_watch, &FolderWatch::changed, this, &FileListBox::folderChanged);
    connect(&m_reader, &FolderReader::finished, this, &FileListBox::showRead);
    m_path = QDir::cleanPath(QDir::currentPath());
    // Only a selection is a choice: focus arriving by Tab makes the first entry current without
    // selecting it, and a refill restores the selection without a word.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_filling && selectedRow() >= 0)
            emit fileClicked();
    });
    connect(this, &QAbstractItemView::clicked, this, [this] { emit fileClicked(); });
    connect(this, &QAbstractItemView::doubleClicked, this, [this] { emit fileDoubleClicked(); });
    fill(tonvola::fs::mp3Names(m_path));
    m_watch.watch(m_path);
}

QString FileListBox::path() const
{
    return m_path;
}

void FileListBox::setPath(const QString &folder)
{
    if (folder != m_path) {
        // A name chosen in the old folder must not select a namesake in the new one.
        const QScopedValueRollback filling(m_filling, true);
        selectionModel()->clear();
    }
    m_path = folder;
    m_reader.discard();
    fill(tonvola::fs::mp3Names(m_path));
    m_watch.watch(m_path);
}

void FileListBox::refresh()
{
    m_reader.discard();
    fill(tonvola::fs::mp3Names(m_path));
    // The watch ends when the folder goes or its medium is unmounted; it may be back.
    m_watch.watch(m_path);
}

void FileListBox::showNames(const tonvola::fs::FileNames &names)
{
    // The names were read after the changes the watch may still be about to tell of, the
    // fill's own among them; reading the folder again for those would only stall the window.
    m_watch.discardPending();
    m_reader.discard();
    m_changedUnshown = false;
    if (names != m_model.names())
        fill(names);
    else
        m_model.shareNames(names);
}

void FileListBox::setFollowsDisk(bool follows)
{
    m_followsDisk = follows;
    if (follows && m_changedUnshown)
        folderChanged();
}

void FileListBox::folderChanged()
{
    if (!m_followsDisk) {
        m_changedUnshown = true;
        return;
    }
    m_reader.read(m_path);
}

void FileListBox::showRead(const QString &folder, const QVariant &names)
{
    if (folder != m_path || !m_followsDisk)
        return;
    fill(names.value<tonvola::fs::FileNames>());
    // The watch ends when the folder goes or its medium is unmounted; it may be back.
    m_watch.watch(m_path);
}

qsizetype FileListBox::listCount() const
{
    return m_model.rowCount();
}

int FileListBox::selectedRow() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

qsizetype FileListBox::listIndex() const
{
    return selectedRow();
}

void FileListBox::setListIndex(qsizetype index)
{
    const QModelIndex entry =
        index >= 0 && index < listCount() ? m_model.index(static_cast<int>(index)) : QModelIndex();
    if (entry.isValid() && selectionModel()->isSelected(entry))
        emit fileClicked();
    else
        setCurrentIndex(entry);
}

QList<tonvola::fs::FilePath> FileListBox::selectEachInTurn()
{
    QList<tonvola::fs::FilePath> selected;
    for (qsizetype i = 0; i < listCount(); ++i) {
        setListIndex(i);
        selected.append(selectedPath());
    }
    return selected;
}

void FileListBox::selectInPlaceOf(qsizetype row)
{
    if (row >= 0 && listIndex() < 0 && listCount() > 0)
        setListIndex(std::min(row, listCount() - 1));
}

void FileListBox::offerFileMenu(const QList<QAction *> &actions)
{
    m_fileMenu = actions;
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, &FileListBox::showFileMenu);
}

void FileListBox::showFileMenu(const QPoint &at)
{
    const QModelIndex entry = indexAt(at);
    if (!entry.isValid())
        return;
    // The menu acts on the file it was opened on, as a click on it would.
    setListIndex(entry.row());
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("FileMenu"));
    menu.setPalette(tonvola::appearance::windowPalette());
    menu.addActions(m_fileMenu);
    menu.exec(viewport()->mapToGlobal(at));
}

QString FileListBox::fileName() const
{
    const int row = selectedRow();
    return row < 0 ? QString() : m_model.names()[row].text();
}

tonvola::fs::FilePath FileListBox::selectedPath() const
{
    const int row = selectedRow();
    if (row < 0 || row >= m_model.names().size())
        return {};
    return {m_path, m_model.names()[row]};
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && selectedRow() >= 0) {
        // As a double-click, which the click on the same entry precedes.
        emit fileClicked();
        emit fileDoubleClicked();
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

bool FileListBox::viewportEvent(QEvent *event)
{
    // A name too long for the list shows whole in the tooltip, above the list's own hint.
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        const QModelIndex entry = indexAt(help->pos());
        if (entry.isValid()) {
            // Elided in its row, or cut at the list's edge.
            const QString name = m_model.names()[entry.row()].text();
            const QRect shown = visualRect(entry).intersected(viewport()->rect());
            const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
            if (fontMetrics().horizontalAdvance(name) + 2 * margin > shown.width()) {
                QToolTip::showText(help->globalPos(), name + QLatin1Char('\n') + toolTip(), viewport(), shown);
                return true;
            }
        }
    }
    return QListView::viewportEvent(event);
}

void FileListBox::fill(const tonvola::fs::FileNames &names)
{
    m_changedUnshown = false;
    if (names != m_model.names() || listCount() != names.size()) {
        const tonvola::fs::FileName selected = selectedPath().name;
        const int scrolled = verticalScrollBar()->value();
        const bool sameFolder = m_filledFrom == m_path;
        const QScopedValueRollback filling(m_filling, true);
        m_model.setNames(names);
        if (!selected.isEmpty()) {
            const qsizetype row = names.indexOf(selected);
            if (row >= 0)
                setCurrentIndex(m_model.index(static_cast<int>(row)));
        }
        if (sameFolder) {
            // The list lays itself out later; the old place must be there to go back to.
            executeDelayedItemsLayout();
            verticalScrollBar()->setValue(scrolled);
        }
    }
    m_filledFrom = m_path;
    emit listChanged();
}
