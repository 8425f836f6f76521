#include "widgets/FolderPresence.h"

#include "platform/FolderByPath.h"
#include "platform/Volumes.h"

#include <QDir>

void FolderPresence::shown(const QString &folder)
{
    m_volume = tonvola::fs::volumes::rootOf(folder);
}

bool FolderPresence::onItsVolume(const QString &folder) const
{
    return tonvola::fs::volumes::rootOf(folder) == m_volume;
}

void FolderPresence::await(const QString &folder, const QString &volume)
{
    m_awaited = QDir::cleanPath(folder);
    m_awaitedVolume = volume;
}

void FolderPresence::stopWaiting()
{
    m_awaited.clear();
    m_awaitedVolume.clear();
}

bool FolderPresence::awaitedIsBack() const
{
    if (!isWaiting() || !tonvola::fs::checkFolder(m_awaited).ok())
        return false;
    // A mount point is a folder also while its medium is away.
    return m_awaitedVolume.isEmpty() || tonvola::fs::volumes::rootOf(m_awaited) == m_awaitedVolume;
}
