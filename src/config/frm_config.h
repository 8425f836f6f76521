#pragma once

#include "config/ConfigFile.h"
#include "ui_frm_config.h"

#include <QMainWindow>
#include <QPointer>

class FolderPane;

// Lets the user choose the two default folders and store them in config.dat. The main
// window stays disabled for as long as this window is open, however it is closed.
class frm_config : public QMainWindow
{
    Q_OBJECT

public:
    // The lists start on the folders the main window shows (shown), where given; the stored
    // folders then replace them where they can be shown.
    explicit frm_config(QWidget *mainWindow = nullptr, const tonvola::StoredFolders &shown = {},
                        QWidget *parent = nullptr);
    ~frm_config() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load(const tonvola::StoredFolders &shown);

    void Drive1_Change();
    void Drive2_Change();
    void Dir1_Change();
    void Dir2_Change();

    void cmd_save_Click();
    void mnuSave_Click();
    void mnuClose_Click();

    void MakeConfig();

    void releaseMainWindow();

    Ui::frm_config ui;
    QPointer<QWidget> m_mainWindow;
    FolderPane *m_sourcePane = nullptr;
    FolderPane *m_playerPane = nullptr;
    QString m_sourceFolder;
    QString m_playerFolder;
};
