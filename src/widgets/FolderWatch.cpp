#include "widgets/FolderWatch.h"

#include "platform/FolderByPath.h"
#include "platform/VolumeWatcher.h"

FolderWatch::FolderWatch(int settleMs, QObject *parent) : QObject(parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMs);
    connect(&m_settle, &QTimer::timeout, this, &FolderWatch::changed);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, &FolderWatch::settleThenTell);
    // A medium mounted over the folder or pulled out from under it changes what it holds.
    connect(tonvola::fs::VolumeWatcher::instance(), &tonvola::fs::VolumeWatcher::volumesChanged, this,
            &FolderWatch::settleThenTell);
}

void FolderWatch::watch(const QString &folder)
{
    const QStringList watched = m_watcher.directories();
    if (watched.size() == 1 && watched.first() == folder)
        return;
    if (!watched.isEmpty())
        m_watcher.removePaths(watched);
    (void)tonvola::fs::watchFolder(m_watcher, folder);
}

void FolderWatch::discardPending()
{
    m_settle.stop();
}

void FolderWatch::settleThenTell()
{
    if (!m_settle.isActive())
        m_settle.start();
}
