#include "widgets/DirListBox.h"

#include "platform/FolderByPath.h"
#include "platform/Path.h"
#include "platform/Volumes.h"

#include <QCompleter>
#include <QDir>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTreeWidgetItemIterator>

namespace {

constexpr int PathRole = Qt::UserRole;

// The field to type a path in: Esc leaves it, also in a window that Esc closes, and it goes away
// once the focus does.
class PathField : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        return QLineEdit::event(event);
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() != Qt::Key_Escape) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        hide();
        parentWidget()->setFocus(Qt::OtherFocusReason);
    }

    void focusOutEvent(QFocusEvent *event) override
    {
        QLineEdit::focusOutEvent(event);
        // The completion's list and a message about the path leave the field open.
        if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason)
            hide();
    }
};

// A path as users type it: "~" for the home folder, relative to the folder on show.
QString expandPath(const QString &typed, const QString &shown)
{
    QString path = QDir::fromNativeSeparators(typed.trimmed());
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path.replace(0, 1, QDir::homePath());
    return QDir::cleanPath(QDir(shown).absoluteFilePath(path));
}

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
    connect(&m_reader, &FolderReader::finished, this, &DirListBox::showRead);
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

tonvola::fs::FileResult DirListBox::setPath(const QString &folder)
{
    tonvola::fs::FileResult readable = tonvola::fs::checkFolder(folder);
    if (!readable.ok())
        return readable;
    const QString cleaned = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    // The lost folder shows where it was while the list shows that place; it is back, or out of
    // sight, otherwise.
    if (cleaned == m_lost || cleaned != QFileInfo(m_lost).path())
        m_lost.clear();
    tonvola::fs::volumes::rememberFolder(cleaned);
    const bool changed = cleaned != m_path;
    m_path = cleaned;
    rebuild();
    m_watch.watch(m_path);
    if (changed)
        emit pathChanged(m_path);
    return tonvola::fs::FileResult::success();
}

bool DirListBox::chooseFolder(const QString &folder)
{
    const tonvola::fs::FileResult result = setPath(folder);
    if (!result.ok()) {
        emit openFailed(folder, result);
        return false;
    }
    emit folderClicked();
    return true;
}

void DirListBox::editPath(const QString &name, const QString &hint)
{
    if (!m_pathField) {
        m_pathField = new PathField(this);
        m_pathField->setObjectName(QStringLiteral("PathField"));
        m_pathField->setAccessibleName(name);
        m_pathField->setPlaceholderText(hint);
        auto *folders = new QFileSystemModel(m_pathField);
        folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
        folders->setRootPath(QString());
        auto *completer = new QCompleter(folders, m_pathField);
        completer->popup()->setPalette(palette());
        m_pathField->setCompleter(completer);
        // The model reads a folder only once the completion reaches it, one level per key; a path
        // typed fast or pasted would find nothing to offer. Asking for the folder typed so far
        // reads the levels down to it at once.
        connect(m_pathField, &QLineEdit::textEdited, folders, [this, folders](const QString &text) {
            (void)folders->index(QFileInfo(expandPath(text, m_path)).path());
        });
        connect(m_pathField, &QLineEdit::returnPressed, this, &DirListBox::openTypedPath);
    }
    m_pathField->setGeometry(0, 0, width(), m_pathField->sizeHint().height());
    m_pathField->setText(tonvola::fs::shownPath(m_path));
    m_pathField->selectAll();
    m_pathField->show();
    m_pathField->raise();
    m_pathField->setFocus(Qt::ShortcutFocusReason);
}

void DirListBox::openTypedPath()
{
    // The path as it was put in the field, unchanged, is the folder on show, also where the field
    // shows replacement characters for bytes that are no text.
    const QString typed = m_pathField->text();
    if (chooseFolder(typed == tonvola::fs::shownPath(m_path) ? m_path : expandPath(typed, m_path))) {
        m_pathField->hide();
        setFocus(Qt::OtherFocusReason);
    }
}

void DirListBox::refresh()
{
    rebuild();
}

void DirListBox::markLost(const QString &folder)
{
    const QString cleaned = folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (cleaned == m_lost)
        return;
    m_lost = cleaned;
    rebuildWith(tonvola::fs::subFolders(m_path));
}

void DirListBox::showLost()
{
    if (m_lost.isEmpty())
        return;
    QTreeWidgetItem *here = nullptr;
    for (QTreeWidgetItemIterator it(this); *it && !here; ++it) {
        if ((*it)->data(0, PathRole).toString() == m_path)
            here = *it;
    }
    QTreeWidgetItem *item = nullptr;
    if (m_lost == m_path) {
        // The mount point of a stick's root stays behind; it is not the folder the user chose.
        item = here;
    } else if (here && QFileInfo(m_lost).path() == m_path) {
        item = new QTreeWidgetItem(here);
        item->setText(0, tonvola::fs::shownPath(QFileInfo(m_lost).fileName()));
        item->setIcon(0, QFileIconProvider().icon(QFileIconProvider::Folder));
    }
    if (!item)
        return;
    // Greyed and out of reach: nothing can open or choose it until it is back.
    item->setFlags(item->flags() & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    if (m_lostTip)
        item->setToolTip(0, m_lostTip(m_lost));
    clearSelection();
    scrollToItem(item);
}

void DirListBox::rebuild()
{
    m_reader.discard();
    rebuildWith(tonvola::fs::subFolders(m_path));
}

void DirListBox::showRead(const QString &folder, const QVariant &subFolders)
{
    if (folder != m_path || !m_followsDisk)
        return;
    rebuildWith(subFolders.toStringList());
    // A medium unmounted under the folder ends the watch although the folder is still there.
    m_watch.watch(m_path);
}

void DirListBox::rebuildWith(const QStringList &subFolders)
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
    // Up the path by its text alone: Qt would look at each folder by a name that has no room for
    // bytes that are no text.
    QStringList chain;
    for (QString folder = m_path;;) {
        chain.prepend(folder);
        const QString parent = QFileInfo(folder).path();
        if (QDir(folder).isRoot() || parent == folder)
            break;
        folder = parent;
    }
    QTreeWidgetItem *parentItem = nullptr;
    QTreeWidgetItem *current = nullptr;
    for (const QString &folder : std::as_const(chain)) {
        const QString name = QDir(folder).isRoot() ? folder : QFileInfo(folder).fileName();
        auto *item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, tonvola::fs::shownPath(name));
        item->setData(0, PathRole, folder);
        item->setIcon(0, icons.icon(QFileIconProvider::Folder));
        item->setExpanded(true);
        parentItem = item;
        current = item;
    }
    QTreeWidgetItem *reselect = current;
    for (const QString &name : subFolders) {
        auto *item = new QTreeWidgetItem(current);
        const QString folder = QDir(m_path).filePath(name);
        item->setText(0, tonvola::fs::shownPath(name));
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
    showLost();
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
            const tonvola::fs::FileResult result = setPath(folder);
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
        m_reader.read(m_path);
        return;
    }
    const QString lost = m_path;
    emit folderVanished(lost);
    for (QString parent = QFileInfo(lost).path();; parent = QFileInfo(parent).path()) {
        if (setPath(parent).ok() || QDir(parent).isRoot())
            break;
    }
}
