#pragma once

#include "platform/FileName.h"
#include "ui_frm_Start.h"
#include "widgets/FolderPane.h"

#include <QMainWindow>
#include <QPointer>

#include <optional>

class FileListBox;
class FillController;
class PreviewPlayer;
class StatusPanels;
class frm_config;
class frm_Help;
class frm_Info;

namespace tonvola {
struct MixResult;
} // namespace tonvola
namespace tonvola::fs {
class Eject;
struct EjectResult;
} // namespace tonvola::fs

// The main window: two folder panes, the start button, the preview player and the menus.
class frm_Start : public QMainWindow
{
    Q_OBJECT
    Q_PROPERTY(QString SelectedFile READ selectedFile)

public:
    explicit frm_Start(QWidget *parent = nullptr);
    ~frm_Start() override;

    // Full path of the file last selected in either file list.
    [[nodiscard]] QString selectedFile() const { return m_selected.text(); }

private:
    enum class Side { Source, Player };

    void showTitle();
    void setupPanes();
    void setupFileMenus();
    void setupMenus();
    void setupFill();

    void Form_Load() { GetConfig(); }
    void GetConfig();

    [[nodiscard]] FolderPane &pane(Side side) const { return side == Side::Source ? *m_sourcePane : *m_playerPane; }
    [[nodiscard]] FileListBox &files(Side side) { return side == Side::Source ? *ui.File1 : *ui.File2; }
    // After a deletion the chosen file is the one its list shows chosen, or none.
    void selectionFollowsLists();
    // A pane's folder counts only where the user chose it (FolderPane::isChosen); says so where it
    // does not.
    [[nodiscard]] bool askForFolder(Side side);
    void followVolumes();
    // Something else is done now: the last fill's summary goes.
    void nextAction();

    void Drive1_Change() { m_sourcePane->showDriveFolder(); }
    void Drive2_Change() { m_playerPane->showDriveFolder(); }
    void Dir1_Change();
    void Dir2_Change();
    void Dir1_Click() { m_sourcePane->choose(); }
    void Dir2_Click() { m_playerPane->choose(); }
    void File1_Click();
    void File2_Click();
    void File1_DblClick() { OpenMediaPlayer(); }
    void File2_DblClick() { OpenMediaPlayer(); }

    void cmd_mix_Click();
    void mnutonvola_Click();
    void mnuclear_Click();
    void mnuDelete_Click();
    void mnuClose_Click() { close(); }
    void mnuPlay_Click() { OpenMediaPlayer(); }
    void mnuStop_Click() { StopMediaPlayer(); }
    void mnuConfig_Click();
    void mnuEject_Click();
    void mnuHelp_Click();
    void mnuInfoTonvola_Click();
    void mnuExchange_Click();
    void mnuSubfolders_Click(bool on);

    void OpenMediaPlayer();
    void StopMediaPlayer();
    void setupPreview();
    void Getmix();

    void endMix(const tonvola::MixResult &result);
    void endEject(const tonvola::fs::EjectResult &result);

    Ui::frm_Start ui;
    // Kept by its name's bytes, so that commands reach the file also where the name shows oddly.
    tonvola::fs::FilePath m_selected;
    std::optional<Side> m_selectedSide;
    FolderPane *m_sourcePane = nullptr;
    FolderPane *m_playerPane = nullptr;
    StatusPanels *m_status = nullptr;
    // Stop it (StopMediaPlayer) before deleting, moving or overwriting files.
    PreviewPlayer *m_preview = nullptr;
    QPointer<frm_config> m_config;
    QPointer<frm_Help> m_help;
    QPointer<frm_Info> m_info;
    FillController *m_fill = nullptr;
    tonvola::fs::Eject *m_eject = nullptr;
};
