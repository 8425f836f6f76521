#include "app/FileListBox.h"

#include "platform/Listing.h"

#include <QDir>
#include <QKeyEvent>
#include <QScrollBar>

FileListBox::FileListBox(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(&m_watch, &FolderWatch::changed, this, &FileListBox::folderChanged);
    m_path = QDir::cleanPath(QDir::currentPath());
    // Only a selection is a choice: focus arriving by Tab makes the first entry current without
    // selecting it, and a refill restores the selection with the list's signals blocked.
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!selectedItems().isEmpty())
            emit fileClicked();
    });
    connect(this, &QListWidget::itemClicked, this, [this] { emit fileClicked(); });
    connect(this, &QListWidget::itemDoubleClicked, this, [this] { emit fileDoubleClicked(); });
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
        const QSignalBlocker blocker(this);
        setCurrentRow(-1);
    }
    m_path = folder;
    fill(tonvola::fs::mp3Names(m_path));
    m_watch.watch(m_path);
}

void FileListBox::refresh()
{
    fill(tonvola::fs::mp3Names(m_path));
    // The watch ends when the folder goes or its medium is unmounted; it may be back.
    m_watch.watch(m_path);
}

void FileListBox::showNames(const tonvola::FileNames &names)
{
    m_changedUnshown = false;
    if (names != m_names)
        fill(names);
}

void FileListBox::setFollowsDisk(bool follows)
{
    m_followsDisk = follows;
    if (follows && m_changedUnshown)
        refresh();
}

void FileListBox::folderChanged()
{
    if (m_followsDisk)
        refresh();
    else
        m_changedUnshown = true;
}

qsizetype FileListBox::listCount() const
{
    return count();
}

qsizetype FileListBox::listIndex() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.first());
}

void FileListBox::setListIndex(qsizetype index)
{
    const QListWidgetItem *entry = item(static_cast<int>(index));
    if (entry && entry->isSelected())
        emit fileClicked();
    else
        setCurrentRow(static_cast<int>(index));
}

QString FileListBox::fileName() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

tonvola::FilePath FileListBox::selectedPath() const
{
    const qsizetype row = listIndex();
    if (row < 0 || row >= m_names.size())
        return {};
    return {m_path, m_names[row]};
}

void FileListBox::keyPressEvent(QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !selectedItems().isEmpty()) {
        // As a double-click, which the click on the same entry precedes.
        emit fileClicked();
        emit fileDoubleClicked();
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void FileListBox::fill(const tonvola::FileNames &names)
{
    m_changedUnshown = false;
    if (names != m_names || count() != names.size()) {
        const tonvola::FileName selected = selectedPath().name;
        const int scrolled = verticalScrollBar()->value();
        const bool sameFolder = m_filledFrom == m_path;
        const QSignalBlocker blocker(this);
        clear();
        QStringList texts;
        texts.reserve(names.size());
        for (const tonvola::FileName &name : names)
            texts.append(name.text());
        addItems(texts);
        m_names = names;
        if (!selected.isEmpty()) {
            const qsizetype row = names.indexOf(selected);
            if (row >= 0)
                setCurrentRow(static_cast<int>(row));
        }
        if (sameFolder)
            verticalScrollBar()->setValue(scrolled);
    }
    m_filledFrom = m_path;
    emit listChanged();
}
