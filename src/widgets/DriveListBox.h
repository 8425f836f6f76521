#pragma once

#include "platform/Volumes.h"

#include <QComboBox>

// The drive list of a folder pane: the mounted volumes a user would choose from, kept
// current while media come and go.
class DriveListBox : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveListBox(QWidget *parent = nullptr);

    // Root folder of the chosen volume.
    [[nodiscard]] QString drive() const;
    // Chooses the volume that holds the path; raises driveChanged when that is another volume.
    void setDrive(const QString &pathOnVolume);
    // Shows the volume that holds the folder its folder list shows, without raising
    // driveChanged. That volume stays listed for as long as the folder is shown.
    void followFolder(const QString &folder);
    // Reads the mounted volumes again; keeps the chosen one.
    void refresh();

signals:
    void driveChanged(const QString &root);

private:
    void onIndexChanged(int index);
    void fill(const QList<tonvola::fs::Volume> &volumes);
    void ensureListed(const QString &root);
    void selectDrive();
    void fitPopup();
    [[nodiscard]] int indexOfRoot(const QString &root) const;

    QList<tonvola::fs::Volume> m_volumes;
    QString m_drive;
    QString m_folder;
    bool m_filling = false;
    // While a change is being handled the items stay put; a new volume list waits for its end.
    bool m_changing = false;
    bool m_refillPending = false;
};
