#include "app/DirListBox.h"

#include <QDir>
#include <QFileIconProvider>
#include <QHeaderView>
#include <QKeyEvent>

namespace {
constexpr int PathRole = Qt::UserRole;
}

DirListBox::DirListBox(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setIndentation(10);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    m_path = QDir::rootPath();
    rebuild();
    connect(this, &QTreeWidget::itemClicked, this, [this] { emit folderClicked(); });
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *item) { open(item); });
}

QString DirListBox::path() const
{
    return m_path;
}

tonvola::FileResult DirListBox::setPath(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return tonvola::FileResult::failure(tonvola::FileResult::Status::NotFound,
                                            QStringLiteral("Das Verzeichnis existiert nicht"));
    if (!info.isDir())
        return tonvola::FileResult::failure(tonvola::FileResult::Status::Failed,
                                            QStringLiteral("Das ist kein Verzeichnis"));
    if (!info.isReadable() || !QDir(folder).isReadable())
        return tonvola::FileResult::failure(tonvola::FileResult::Status::PermissionDenied,
                                            QStringLiteral("Keine Berechtigung zum Lesen"));
    const QString cleaned = QDir::cleanPath(info.absoluteFilePath());
    if (cleaned == m_path) {
        rebuild();
        return tonvola::FileResult::success();
    }
    m_path = cleaned;
    rebuild();
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
    const QStringList subFolders =
        QDir(m_path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QString &name : subFolders) {
        auto *item = new QTreeWidgetItem(current);
        item->setText(0, name);
        item->setData(0, PathRole, QDir(m_path).filePath(name));
        item->setIcon(0, icons.icon(QFileIconProvider::Folder));
    }
    expandAll();
    if (current) {
        setCurrentItem(current);
        scrollToItem(current);
    }
}

void DirListBox::open(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString folder = item->data(0, PathRole).toString();
    const tonvola::FileResult result = setPath(folder);
    if (!result.ok())
        emit openFailed(folder, result);
}
