#pragma once

#include "platform/Volumes.h"

#include <QComboBox>

// The drive list of a folder pane: the mounted volumes a user would choose from.
class DriveListBox : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveListBox(QWidget *parent = nullptr);

    // Root folder of the chosen volume.
    [[nodiscard]] QString drive() const;
    // Chooses the volume that holds the path; raises driveChanged when that is another volume.
    void setDrive(const QString &pathOnVolume);
    // Reads the mounted volumes again; keeps the chosen one.
    void refresh();

signals:
    void driveChanged(const QString &root);

private:
    void fill(const QList<tonvola::Volume> &volumes);
    int indexOfRoot(const QString &root) const;

    QList<tonvola::Volume> m_volumes;
    QString m_drive;
    bool m_filling = false;
};
