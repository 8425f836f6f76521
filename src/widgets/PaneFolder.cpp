#include "widgets/PaneFolder.h"

#include "platform/FolderByPath.h"
#include "platform/Volumes.h"

#include <QDir>

void PaneFolder::shown(const QString &folder)
{
    m_volume = tonvola::fs::volumes::rootOf(folder);
}

bool PaneFolder::onItsVolume(const QString &folder) const
{
    return tonvola::fs::volumes::rootOf(folder) == m_volume;
}

void PaneFolder::await(const QString &folder, const QString &volume)
{
    m_awaited = QDir::cleanPath(folder);
    m_awaitedVolume = volume;
}

void PaneFolder::stopWaiting()
{
    m_awaited.clear();
    m_awaitedVolume.clear();
}

bool PaneFolder::awaitedIsBack() const
{
    if (!isWaiting() || !tonvola::fs::checkFolder(m_awaited).ok())
        return false;
    // A mount point is a folder also while its medium is away.
    return m_awaitedVolume.isEmpty() || tonvola::fs::volumes::rootOf(m_awaited) == m_awaitedVolume;
}
