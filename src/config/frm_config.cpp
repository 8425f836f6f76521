#include "config/frm_config.h"

#include "platform/Listing.h"
#include "platform/Path.h"
#include "text/WindowText.h"
#include "widgets/Appearance.h"
#include "widgets/DirListBox.h"
#include "widgets/FolderPane.h"
#include "widgets/Keyboard.h"
#include "widgets/Messages.h"

#include <QCloseEvent>
#include <QFileInfo>

namespace {

// config.dat is found in the working folder, which the user may not know: the menu entry
// starts Tonvola in its configuration folder.
QString configFile()
{
    return tonvola::config::shownPath();
}

} // namespace

frm_config::frm_config(QWidget *mainWindow, const tonvola::StoredFolders &shown, QWidget *parent)
    : QMainWindow(parent), m_mainWindow(mainWindow)
{
    ui.setupUi(this);
    tonvola::appearance::withoutIcon(this);
    ui.cmd_save->setToolTip(tonvola::windowtext::configSavesIn(configFile()));
    tonvola::appearance::makeFixedDialogWindow(this);
    tonvola::appearance::applyBackground(this);

    // As in the main window: a drive chosen moves its folder list to the drive's current folder,
    // which fills the field through the folder list's change.
    m_sourcePane = new FolderPane(ui.Drive1, ui.Dir1, nullptr, this);
    m_playerPane = new FolderPane(ui.Drive2, ui.Dir2, nullptr, this);
    FolderPane::warnOfWhatTheyCannotShow(
        this, {m_sourcePane, m_playerPane},
        {&tonvola::windowtext::driveNotReady, &tonvola::windowtext::folderNotShown, &tonvola::windowtext::lostFolder});
    connect(ui.Drive1, &DriveListBox::driveChanged, this, &frm_config::Drive1_Change);
    connect(ui.Drive2, &DriveListBox::driveChanged, this, &frm_config::Drive2_Change);
    connect(ui.Dir1, &DirListBox::pathChanged, this, &frm_config::Dir1_Change);
    connect(ui.Dir2, &DirListBox::pathChanged, this, &frm_config::Dir2_Change);
    connect(ui.cmd_save, &QPushButton::clicked, this, &frm_config::cmd_save_Click);
    connect(ui.mnuSave, &QAction::triggered, this, &frm_config::mnuSave_Click);
    connect(ui.mnuClose, &QAction::triggered, this, &frm_config::mnuClose_Click);
    tonvola::keyboard::enterPressesFocusedButton(this);
    tonvola::keyboard::escapeCloses(this);
    tonvola::keyboard::menusByKeyboard(this);
    FolderPane::offerPathEntry(this, {m_sourcePane, m_playerPane}, tonvola::windowtext::pathFieldName(),
                               tonvola::windowtext::pathFieldHint());

    tonvola::appearance::fitCaptions(this);
    setFixedSize(sizeHint());
    Form_Load(shown);
}

frm_config::~frm_config()
{
    releaseMainWindow();
}

void frm_config::closeEvent(QCloseEvent *event)
{
    releaseMainWindow();
    QMainWindow::closeEvent(event);
}

void frm_config::Form_Load(const tonvola::StoredFolders &shown)
{
    if (m_mainWindow)
        m_mainWindow->setEnabled(false);

    if (!shown.source.isEmpty())
        (void)ui.Dir1->setPath(shown.source);
    if (!shown.player.isEmpty())
        (void)ui.Dir2->setPath(shown.player);

    // A stored folder that cannot be shown (a card not inserted) leaves its list where it
    // starts; the other stored folder is still worth showing.
    if (const std::optional<tonvola::StoredFolders> stored = tonvola::config::load()) {
        (void)ui.Dir1->setPath(stored->source);
        (void)ui.Dir2->setPath(stored->player);
    }
    ui.Dir1->refresh();
    ui.Dir2->refresh();

    // Saving at once must store the folders the user sees, also where a list never changed.
    m_sourceFolder = ui.Dir1->path();
    m_playerFolder = ui.Dir2->path();
}

void frm_config::Drive1_Change()
{
    m_sourcePane->showDriveFolder();
}

void frm_config::Drive2_Change()
{
    m_playerPane->showDriveFolder();
}

void frm_config::Dir1_Change()
{
    m_sourceFolder = ui.Dir1->path();
}

void frm_config::Dir2_Change()
{
    m_playerFolder = ui.Dir2->path();
}

void frm_config::cmd_save_Click()
{
    MakeConfig();
}

void frm_config::mnuSave_Click()
{
    MakeConfig();
}

void frm_config::mnuClose_Click()
{
    close();
}

void frm_config::MakeConfig()
{
    if (tonvola::fs::isSameDirectory(m_sourceFolder, m_playerFolder)
        && !tonvola::messages::askOkCancel(this, tonvola::windowtext::saveSameFolderQuestion(m_sourceFolder)))
        return;
    const tonvola::fs::FileResult result = tonvola::config::save(m_sourceFolder, m_playerFolder);
    if (!result.ok()) {
        // The user may free the folder and try again, or close without saving.
        tonvola::messages::warn(this, tonvola::windowtext::configNotSaved(configFile(), result));
        return;
    }
    close();
}

void frm_config::releaseMainWindow()
{
    if (!m_mainWindow || m_mainWindow->isEnabled())
        return;
    m_mainWindow->setEnabled(true);
    m_mainWindow->activateWindow();
}
