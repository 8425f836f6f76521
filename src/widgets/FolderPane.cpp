#include "widgets/FolderPane.h"

#include "platform/Listing.h"
#include "platform/Path.h"
#include "platform/Volumes.h"
#include "widgets/DirListBox.h"
#include "widgets/DriveListBox.h"
#include "widgets/FileListBox.h"
#include "widgets/Messages.h"

#include <QAbstractScrollArea>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

namespace {

// The local folder a drag carries; empty when it carries none.
QString droppedFolder(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl &url : urls) {
        const QString folder = tonvola::fs::localPathOf(url);
        if (!folder.isEmpty() && tonvola::fs::checkFolder(folder).ok())
            return QDir::cleanPath(folder);
    }
    return {};
}

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

void acceptFolderDropsOn(QWidget *control, DirListBox *dir, QObject *owner)
{
    // An item view takes what is dropped on its viewport.
    auto *scrolling = qobject_cast<QAbstractScrollArea *>(control);
    QWidget *target = scrolling ? scrolling->viewport() : control;
    target->setAcceptDrops(true);
    target->installEventFilter(new FolderDrop(dir, owner));
}

} // namespace

FolderPane::FolderPane(DriveListBox *drive, DirListBox *dir, FileListBox *files, QWidget *window)
    : QObject(window), m_drive(drive), m_dir(dir), m_files(files)
{
    m_presence.shown(m_dir->path());
    followOneAnother();
    connect(m_dir, &DirListBox::openFailed, this, [this](const QString &folder, const tonvola::fs::FileResult &result) {
        if (!m_silent)
            emit folderNotShown(folder, result);
    });
    acceptFolderDrops(window);
}

void FolderPane::followOneAnother()
{
    connect(m_dir, &DirListBox::pathChanged, this, [this](const QString &path) { m_presence.shown(path); });
    // The drive list shows the volume of the folder its folder list shows.
    connect(m_dir, &DirListBox::pathChanged, m_drive, &DriveListBox::followFolder);
    if (!m_files)
        return;
    connect(m_dir, &DirListBox::pathChanged, m_files, &FileListBox::setPath);
    connect(m_dir, &DirListBox::folderVanished, this, [this](const QString &folder) {
        emit folderVanished(folder);
        lose(folder);
    });
}

void FolderPane::acceptFolderDrops(QWidget *window)
{
    for (QWidget *control :
         {static_cast<QWidget *>(m_drive), static_cast<QWidget *>(m_dir), static_cast<QWidget *>(m_files)}) {
        if (control)
            acceptFolderDropsOn(control, m_dir, window);
    }
}

bool FolderPane::showDriveFolder()
{
    if (!m_silent) {
        m_presence.stopWaiting();
        emit waitingChanged();
    }
    const QString root = m_drive->drive();
    tonvola::fs::FileResult result = tonvola::fs::volumes::checkReady(root);
    if (result.ok()) {
        const QString current = tonvola::fs::volumes::currentFolder(root);
        result = m_dir->setPath(current);
        if (!result.ok() && current != root)
            result = m_dir->setPath(root);
    }
    if (result.ok())
        return true;
    if (!m_silent)
        emit driveNotReady(root, result);
    m_drive->followFolder(m_dir->path());
    return false;
}

bool FolderPane::showFolder(const QString &folder)
{
    if (!QDir::isAbsolutePath(folder) || !tonvola::fs::checkFolder(folder).ok())
        return false;
    m_drive->setDrive(folder);
    return m_dir->setPath(folder).ok();
}

bool FolderPane::openStored(const QString &folder)
{
    const Silence silence(*this);
    const bool shown = showFolder(folder);
    // A stored folder on a medium that is not plugged in is shown once it is.
    if (!shown && QDir::isAbsolutePath(folder))
        await(folder);
    refresh();
    if (shown)
        m_files->setVisible(true);
    return shown;
}

void FolderPane::refresh()
{
    m_drive->refresh();
    m_dir->refresh();
    if (m_files)
        m_files->refresh();
}

void FolderPane::setFollowsDisk(bool follows)
{
    m_dir->setFollowsDisk(follows);
    if (m_files)
        m_files->setFollowsDisk(follows);
}

bool FolderPane::isChosen()
{
    if (!m_files->isHidden() && !m_presence.onItsVolume(m_dir->path()))
        lose(m_dir->path());
    return !m_files->isHidden();
}

void FolderPane::choose()
{
    m_dir->markLost({});
    m_files->setVisible(true);
    m_presence.stopWaiting();
    emit waitingChanged();
}

void FolderPane::lose(const QString &folder)
{
    if (m_files->isHidden())
        return;
    m_files->setVisible(false);
    m_dir->markLost(folder);
    m_presence.await(folder, m_presence.volume());
    emit waitingChanged();
}

void FolderPane::await(const QString &folder)
{
    m_presence.await(folder);
    emit waitingChanged();
}

bool FolderPane::bringBack()
{
    (void)isChosen();
    if (!m_presence.awaitedIsBack())
        return false;
    const QString awaited = m_presence.awaited();
    const Silence silence(*this);
    if (!showFolder(awaited))
        return false;
    // The pane may show the mount point the medium now covers: its lists are read anew.
    m_dir->refresh();
    m_files->refresh();
    choose();
    return true;
}

void FolderPane::warnOfWhatTheyCannotShow(QWidget *window, const QList<FolderPane *> &panes, Sentences sentences)
{
    for (const FolderPane *pane : panes) {
        pane->m_dir->setLostTip(sentences.lostFolder);
        connect(pane, &FolderPane::driveNotReady, window,
                [window, sentences](const QString &root, const tonvola::fs::FileResult &result) {
                    tonvola::messages::warn(window, sentences.driveNotReady(root, result));
                });
        connect(pane, &FolderPane::folderNotShown, window,
                [window, sentences](const QString &folder, const tonvola::fs::FileResult &result) {
                    tonvola::messages::warn(window, sentences.folderNotShown(folder, result));
                });
    }
}

void FolderPane::offerPathEntry(QWidget *window, const QList<FolderPane *> &panes, const QString &name,
                                const QString &hint)
{
    auto *typePath = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), window);
    QObject::connect(typePath, &QShortcut::activated, window, [window, panes, name, hint] {
        const QWidget *focus = window->focusWidget();
        for (const FolderPane *pane : panes) {
            if (pane->contains(focus)) {
                pane->dir()->editPath(name, hint);
                return;
            }
        }
        if (!panes.isEmpty())
            panes.constFirst()->dir()->editPath(name, hint);
    });
}

bool FolderPane::contains(const QWidget *widget) const
{
    if (!widget)
        return false;
    for (const QWidget *control :
         {static_cast<QWidget *>(m_drive), static_cast<QWidget *>(m_dir), static_cast<QWidget *>(m_files)}) {
        if (control && (widget == control || control->isAncestorOf(widget)))
            return true;
    }
    return false;
}
