#pragma once

#include <QString>

// Whether a pane's folder is still there where the user chose it: the volume it lies on, and the
// folder the pane waits for while that folder is missing (a stick that is not plugged in). The
// FolderPane that ties a side's lists together keeps one; this part is widget-free, so that the
// window only asks and shows.
class FolderPresence
{
public:
    // The pane shows this folder now.
    void shown(const QString &folder);
    // False once the folder's path leads to another volume than when it was shown: its medium
    // was pulled out and the bare mount point is left.
    [[nodiscard]] bool onItsVolume(const QString &folder) const;
    [[nodiscard]] const QString &volume() const { return m_volume; }

    // Waits for a missing folder, on the given volume where it is known.
    void await(const QString &folder, const QString &volume = {});
    void stopWaiting();
    [[nodiscard]] bool isWaiting() const { return !m_awaited.isEmpty(); }
    [[nodiscard]] const QString &awaited() const { return m_awaited; }
    // True when the folder waited for can be shown now, on its own volume where that is known.
    [[nodiscard]] bool awaitedIsBack() const;

private:
    QString m_volume;
    QString m_awaited;
    QString m_awaitedVolume;
};
