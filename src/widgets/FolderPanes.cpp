#include "widgets/FolderPanes.h"

#include "platform/FileName.h"
#include "platform/Volumes.h"
#include "widgets/DirListBox.h"
#include "widgets/DriveListBox.h"
#include "widgets/Messages.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

namespace tonvola::panes {

namespace {

// Takes folders dropped on a control for the pane's folder list.
class FolderDrop : public QObject
{
public:
    FolderDrop(DirListBox *dir, QObject *parent) : QObject(parent), m_dir(dir) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::DragEnter && event->type() != QEvent::DragMove && event->type() != QEvent::Drop)
            return false;
        auto *drop = static_cast<QDropEvent *>(event);
        const QString folder = droppedFolder(drop->mimeData());
        if (folder.isEmpty())
            return false;
        drop->acceptProposedAction();
        if (event->type() == QEvent::Drop) {
            // Not inside the drop: a message about the folder would hold up the file manager's drag.
            QMetaObject::invokeMethod(
                m_dir, [dir = m_dir, folder] { dir->chooseFolder(folder); }, Qt::QueuedConnection);
        }
        return true;
    }

private:
    DirListBox *m_dir;
};

void acceptFolderDrops(QWidget *control, DirListBox *dir, QObject *owner)
{
    // An item view takes what is dropped on its viewport.
    auto *scrolling = qobject_cast<QAbstractScrollArea *>(control);
    QWidget *target = scrolling ? scrolling->viewport() : control;
    target->setAcceptDrops(true);
    target->installEventFilter(new FolderDrop(dir, owner));
}

} // namespace

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

void offerFolderEntry(QWidget *window, const QList<Pane> &panes)
{
    for (const Pane &pane : panes) {
        for (QWidget *control : {static_cast<QWidget *>(pane.drive), static_cast<QWidget *>(pane.dir), pane.files}) {
            if (control)
                acceptFolderDrops(control, pane.dir, window);
        }
    }
    auto *typePath = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), window);
    QObject::connect(typePath, &QShortcut::activated, window, [window, panes] {
        const QWidget *focus = window->focusWidget();
        for (const Pane &pane : panes) {
            for (const QWidget *control :
                 {static_cast<QWidget *>(pane.drive), static_cast<QWidget *>(pane.dir), pane.files}) {
                if (control && focus && (focus == control || control->isAncestorOf(focus))) {
                    pane.dir->editPath();
                    return;
                }
            }
        }
        if (!panes.isEmpty())
            panes.constFirst().dir->editPath();
    });
}

QString droppedFolder(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir())
            return QDir::cleanPath(url.toLocalFile());
    }
    return {};
}

} // namespace tonvola::panes
