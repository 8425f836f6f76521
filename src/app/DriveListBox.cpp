#include "app/DriveListBox.h"

#include <QDir>

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent)
{
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    fill(tonvola::volumes::userVolumes());
    m_drive = QDir::rootPath();
    setCurrentIndex(indexOfRoot(m_drive));
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_filling || index < 0 || index >= m_volumes.size())
            return;
        const QString root = m_volumes.at(index).root;
        if (root == m_drive)
            return;
        m_drive = root;
        emit driveChanged(root);
    });
}

QString DriveListBox::drive() const
{
    return m_drive;
}

void DriveListBox::setDrive(const QString &pathOnVolume)
{
    const QString root = tonvola::volumes::rootOf(pathOnVolume);
    if (indexOfRoot(root) < 0) {
        QList<tonvola::Volume> volumes = m_volumes;
        volumes.append({root, {}});
        fill(volumes);
    }
    setCurrentIndex(indexOfRoot(root));
}

void DriveListBox::refresh()
{
    fill(tonvola::volumes::userVolumes());
}

void DriveListBox::fill(const QList<tonvola::Volume> &volumes)
{
    m_filling = true;
    m_volumes = volumes;
    // The volume on show stays listed even when it is not one a user would pick.
    if (!m_drive.isEmpty() && indexOfRoot(m_drive) < 0)
        m_volumes.append({m_drive, {}});
    clear();
    for (const tonvola::Volume &volume : std::as_const(m_volumes))
        addItem(volume.displayName());
    setCurrentIndex(indexOfRoot(m_drive));
    m_filling = false;
}

int DriveListBox::indexOfRoot(const QString &root) const
{
    for (int i = 0; i < m_volumes.size(); ++i) {
        if (m_volumes.at(i).root == root)
            return i;
    }
    return -1;
}
