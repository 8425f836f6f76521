#include "app/DirListBox.h"

#include "platform/Listing.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFileIconProvider>
#include <QScopedValueRollback>
#include <QScrollBar>

namespace {
constexpr int PathRole = Qt::UserRole;
} // namespace

DirListBox::DirListBox(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    // Screen readers still read the column's header, which would otherwise be "1".
    setHeaderLabel(QStringLiteral("Ordner"));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    connect(&m_watch, &FolderWatch::changed, this, &DirListBox::folderChangedOnDisk);
    m_path = QDir::cleanPath(QDir::currentPath());
    rebuild();
    m_watch.watch(m_path);
    connect(this, &QTreeWidget::itemClicked, this, [this] { emit folderClicked(); });
    // A folder chosen with the arrow keys counts as clicked; the list's own rebuilding does not.
    connect(this, &QTreeWidget::currentItemChanged, this, [this](const QTreeWidgetItem *current) {
        if (current && !m_rebuilding)
            emit folderClicked();
    });
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) {
        emit folderClicked();
        open(item);
    });
}

QString DirListBox::path() const
{
    return m_path;
}

tonvola::FileResult DirListBox::setPath(const QString &folder)
{
    const tonvola::FileResult readable = tonvola::fs::checkFolder(folder);
    if (!readable.ok())
        return readable;
    const QString cleaned = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    tonvola::volumes::rememberFolder(cleaned);
    const bool changed = cleaned != m_path;
    m_path = cleaned;
    rebuild();
    m_watch.watch(m_path);
    if (changed)
        emit pathChanged(m_path);
    return tonvola::FileResult::success();
}

void DirListBox::refresh()
{
    rebuild();
}

void DirListBox::rebuild()
{
    static const QFileIconProvider icons;
    // Reading the same folder again keeps the user's place in it.
    const bool sameFolder = m_builtFor == m_path;
    const QTreeWidgetItem *selected = sameFolder ? currentItem() : nullptr;
    const QString selectedPath = selected ? selected->data(0, PathRole).toString() : QString();
    const int scrolled = verticalScrollBar()->value();
    m_builtFor = m_path;
    const QScopedValueRollback rebuilding(m_rebuilding, true);

    clear();
    QStringList chain;
    for (QDir dir(m_path);;) {
        chain.prepend(dir.absolutePath());
        if (dir.isRoot() || !dir.cdUp())
            break;
    }
    QTreeWidgetItem *parentItem = nullptr;
    QTreeWidgetItem *current = nullptr;
    for (const QString &folder : std::as_const(chain)) {
        const QString name = QDir(folder).isRoot() ? QDir::toNativeSeparators(folder) : QFileInfo(folder).fileName();
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, name);
        item->setData(0, PathRole, folder);
        item->setIcon(0, icons.icon(QFileIconProvider::Folder));
        item->setExpanded(true);
        parentItem = item;
        current = item;
    }
    QTreeWidgetItem *reselect = current;
    for (const QString &name : tonvola::fs::subFolders(m_path)) {
        auto *item = new QTreeWidgetItem(current);
        const QString folder = QDir(m_path).filePath(name);
        item->setText(0, name);
        item->setData(0, PathRole, folder);
        item->setIcon(0, icons.icon(QFileIconProvider::Folder));
        if (folder == selectedPath)
            reselect = item;
    }
    expandAll();
    if (reselect) {
        setCurrentItem(reselect);
        if (sameFolder)
            verticalScrollBar()->setValue(scrolled);
        else
            scrollToItem(reselect);
    }
}

void DirListBox::open(QTreeWidgetItem *item)
{
    if (!item)
        return;
    // Opening rebuilds the tree, which must not happen while the tree is still handing out
    // the item that was activated.
    const QString folder = item->data(0, PathRole).toString();
    QMetaObject::invokeMethod(
        this,
        [this, folder] {
            const tonvola::FileResult result = setPath(folder);
            if (!result.ok())
                emit openFailed(folder, result);
        },
        Qt::QueuedConnection);
}

void DirListBox::setFollowsDisk(bool follows)
{
    m_followsDisk = follows;
    // After the window has shown the end of the run, not in the same breath.
    if (follows && m_changedUnshown)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_followsDisk)
                    folderChangedOnDisk();
            },
            Qt::QueuedConnection);
}

void DirListBox::folderChangedOnDisk()
{
    m_changedUnshown = !m_followsDisk;
    if (m_changedUnshown)
        return;
    if (tonvola::fs::checkFolder(m_path).ok()) {
        rebuild();
        // A medium unmounted under the folder ends the watch although the folder is still there.
        m_watch.watch(m_path);
        return;
    }
    const QString lost = m_path;
    for (QString parent = QFileInfo(lost).path();; parent = QFileInfo(parent).path()) {
        if (setPath(parent).ok() || QDir(parent).isRoot())
            break;
    }
    emit folderVanished(lost);
}
