#include "app/frm_Start.h"

#include "app/FillController.h"
#include "app/MainWindowPictures.h"
#include "app/StatusPanels.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"
#include "maintenance/Maintenance.h"
#include "platform/Eject.h"
#include "platform/Listing.h"
#include "platform/VolumeWatcher.h"
#include "playback/PreviewPlayer.h"
#include "text/EjectText.h"
#include "text/MaintenanceText.h"
#include "text/PlaybackText.h"
#include "text/WindowText.h"
#include "widgets/Appearance.h"
#include "widgets/FolderPane.h"
#include "widgets/Keyboard.h"
#include "widgets/Messages.h"
#include "widgets/SingleWindow.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QInputDialog>

namespace {

namespace maintenance = tonvola::maintenance;

// Long enough to read a file name and a reason; the status bar's own panel returns afterwards.
constexpr int noteMs = 15000;

} // namespace

frm_Start::frm_Start(QWidget *parent) : QMainWindow(parent)
{
    tonvola::appearance::initResources();
    ui.setupUi(this);
    tonvola::appearance::makeFixedDialogWindow(this);
    tonvola::appearance::applyBackground(this);
    setWindowIcon(QIcon(QStringLiteral(":/tonvola/tonvola.svg")));
    showTitle();
    setupPanes();
    m_status = new StatusPanels(ui.StatusBar1, ui.mnuEject, m_sourcePane, m_playerPane);
    setupFileMenus();
    setupMenus();
    setupPreview();
    tonvola::keyboard::enterPressesFocusedButton(this);
    tonvola::keyboard::menusByKeyboard(this);
    setupFill();

    tonvola::appearance::fitCaptions(this);
    setFixedSize(sizeHint());
    Form_Load();
}

frm_Start::~frm_Start() = default;

void frm_Start::showTitle()
{
    ui.Label2->setFont(tonvola::appearance::headingFont(21.75));
    QPalette titlePalette = ui.Label2->palette();
    titlePalette.setColor(QPalette::WindowText, tonvola::appearance::activeTitle);
    ui.Label2->setPalette(titlePalette);
}

void frm_Start::setupPanes()
{
    m_sourcePane = new FolderPane(ui.Drive1, ui.Dir1, ui.File1, this);
    m_playerPane = new FolderPane(ui.Drive2, ui.Dir2, ui.File2, this);
    connect(ui.Drive1, &DriveListBox::driveChanged, this, &frm_Start::Drive1_Change);
    connect(ui.Drive2, &DriveListBox::driveChanged, this, &frm_Start::Drive2_Change);
    connect(ui.Dir1, &DirListBox::folderClicked, this, &frm_Start::Dir1_Click);
    connect(ui.Dir2, &DirListBox::folderClicked, this, &frm_Start::Dir2_Click);
    connect(ui.Dir1, &DirListBox::pathChanged, this, &frm_Start::Dir1_Change);
    connect(ui.Dir2, &DirListBox::pathChanged, this, &frm_Start::Dir2_Change);
    connect(ui.File1, &FileListBox::fileClicked, this, &frm_Start::File1_Click);
    connect(ui.File2, &FileListBox::fileClicked, this, &frm_Start::File2_Click);
    connect(ui.File1, &FileListBox::fileDoubleClicked, this, &frm_Start::File1_DblClick);
    connect(ui.File2, &FileListBox::fileDoubleClicked, this, &frm_Start::File2_DblClick);
    connect(tonvola::fs::VolumeWatcher::instance(), &tonvola::fs::VolumeWatcher::volumesChanged, this,
            &frm_Start::followVolumes);
    FolderPane::offerPathEntry(this, {m_sourcePane, m_playerPane}, tonvola::windowtext::pathFieldName(),
                               tonvola::windowtext::pathFieldHint());
    FolderPane::warnOfWhatTheyCannotShow(
        this, {m_sourcePane, m_playerPane},
        {&tonvola::windowtext::driveNotReady, &tonvola::windowtext::folderNotShown, &tonvola::windowtext::lostFolder});
}

void frm_Start::setupFileMenus()
{
    for (FileListBox *list : {ui.File1, ui.File2}) {
        // Entf deletes where a file list has the focus.
        list->addAction(ui.mnuDelete);
        list->offerFileMenu({ui.mnuPlay, ui.mnuDelete});
    }
}

void frm_Start::setupMenus()
{
    connect(ui.cmd_mix, &QPushButton::clicked, this, &frm_Start::cmd_mix_Click);
    const std::pair<QAction *, void (frm_Start::*)()> handlers[] = {
        {ui.mnutonvola, &frm_Start::mnutonvola_Click},
        {ui.mnuclear, &frm_Start::mnuclear_Click},
        {ui.mnuDelete, &frm_Start::mnuDelete_Click},
        {ui.mnuClose, &frm_Start::mnuClose_Click},
        {ui.mnuPlay, &frm_Start::mnuPlay_Click},
        {ui.mnuStop, &frm_Start::mnuStop_Click},
        {ui.mnuConfig, &frm_Start::mnuConfig_Click},
        {ui.mnuHelp, &frm_Start::mnuHelp_Click},
        {ui.mnuInfoTonvola, &frm_Start::mnuInfoTonvola_Click}};
    for (const auto &[action, handler] : handlers)
        connect(action, &QAction::triggered, this, handler);
    // Which config.dat is read depends on where Tonvola was started; the menu says which.
    ui.mnuConfig->setToolTip(tonvola::windowtext::configKeptIn(tonvola::config::shownPath()));
    ui.mnuExtras->setToolTipsVisible(true);
    // Beside the entries the window always had, so their places stay.
    auto *exchange = new QAction(QStringLiteral("&Austausch je Lauf …"), this);
    exchange->setObjectName(QStringLiteral("mnuExchange"));
    ui.mnuExtras->insertAction(ui.mnuEject, exchange);
    connect(exchange, &QAction::triggered, this, &frm_Start::mnuExchange_Click);
    ui.mnuSubfolders->setChecked(tonvola::settings::subfolders());
    connect(ui.mnuSubfolders, &QAction::toggled, this, &frm_Start::mnuSubfolders_Click);
    connect(ui.mnuEject, &QAction::triggered, this, &frm_Start::mnuEject_Click);
    m_eject = new tonvola::fs::Eject(this);
    connect(m_eject, &tonvola::fs::Eject::finished, this, &frm_Start::endEject);
}

void frm_Start::setupFill()
{
    m_fill = new FillController({this, m_sourcePane, m_playerPane, ui.Status1, ui.cmd_cancel, ui.cmd_mix, ui.StatusBar1,
                                 m_status->summary(), m_status->report()});
    connect(m_fill, &FillController::finished, this, &frm_Start::endMix);
}

void frm_Start::GetConfig()
{
    // Each pane on its own: a player stick that is not plugged in must not keep the source
    // folder from showing.
    if (const std::optional<tonvola::StoredFolders> stored = tonvola::config::load()) {
        (void)m_sourcePane->openStored(stored->source);
        (void)m_playerPane->openStored(stored->player);
        return;
    }
    // A first start, from the menu too, whose working folder is the configuration folder: the
    // panes open on the user's music, not on a hidden folder. Nothing counts as chosen.
    if (QFileInfo::exists(tonvola::config::defaultPath()))
        return;
    const FolderPane::Silence sourceSilence(*m_sourcePane);
    const FolderPane::Silence playerSilence(*m_playerPane);
    const QString music = tonvola::config::startFolder();
    (void)m_sourcePane->showFolder(music);
    (void)m_playerPane->showFolder(music);
}

bool frm_Start::askForFolder(Side side)
{
    if (pane(side).isChosen())
        return false;
    tonvola::messages::inform(this, side == Side::Player ? tonvola::windowtext::choosePlayerFolderFirst()
                                                         : tonvola::windowtext::chooseSourceFolderFirst());
    return true;
}

void frm_Start::followVolumes()
{
    // A running fill holds both folders; the end of the run looks again.
    if (m_fill->isRunning())
        return;
    m_sourcePane->bringBack();
    m_playerPane->bringBack();
}

void frm_Start::nextAction()
{
    m_fill->clearSummary();
    m_status->showName(true);
}

void frm_Start::Dir1_Change()
{
    if (m_fill && !m_fill->isRunning())
        nextAction();
}

void frm_Start::Dir2_Change()
{
    if (m_fill && !m_fill->isRunning())
        nextAction();
    m_status->offerEject(false);
}

void frm_Start::File1_Click()
{
    m_selected = ui.File1->selectedPath();
    m_selectedSide = Side::Source;
}

void frm_Start::File2_Click()
{
    m_selected = ui.File2->selectedPath();
    m_selectedSide = Side::Player;
}

void frm_Start::cmd_mix_Click()
{
    if (m_fill->isRunning() || m_eject->isRunning() || askForFolder(Side::Player) || askForFolder(Side::Source))
        return;
    m_fill->showHourglassUntilEnd();
    StopMediaPlayer();
    Getmix();
}

void frm_Start::mnutonvola_Click()
{
    if (m_fill->isRunning() || askForFolder(Side::Player) || askForFolder(Side::Source))
        return;
    StopMediaPlayer();
    Getmix();
}

void frm_Start::mnuclear_Click()
{
    // A hidden list shows a folder the user never chose; its files are not the player's.
    if (askForFolder(Side::Player))
        return;
    if (tonvola::messages::askOkCancel(this, tonvola::maintenancetext::clearQuestion())) {
        nextAction();
        StopMediaPlayer();
        // Each entry is selected in turn, as a click would, so SelectedFile ends on the last one.
        const maintenance::DeletionOutcome outcome = maintenance::deleteMp3s(ui.File2->selectEachInTurn());
        if (!outcome.ok())
            tonvola::messages::warn(this, tonvola::maintenancetext::failure(outcome));
    }
    ui.File1->refresh();
    ui.File2->refresh();
    selectionFollowsLists();
}

void frm_Start::mnuDelete_Click()
{
    const tonvola::fs::FilePath path = m_selected;
    if (!tonvola::fs::isMp3(path.name.text()))
        return;
    if (m_selectedSide && askForFolder(*m_selectedSide))
        return;
    if (!maintenance::exists(path)) {
        tonvola::messages::warn(this, tonvola::maintenancetext::gone(path.text()));
        ui.File1->refresh();
        ui.File2->refresh();
        selectionFollowsLists();
        return;
    }
    if (!tonvola::messages::askOkCancel(this, tonvola::maintenancetext::deleteQuestion(path.text())))
        return;
    nextAction();
    StopMediaPlayer();
    FileListBox *list = m_selectedSide ? &files(*m_selectedSide) : nullptr;
    const qsizetype row = list ? list->listIndex() : -1;
    const maintenance::DeletionOutcome outcome = maintenance::deleteMp3s({path});
    if (!outcome.ok())
        tonvola::messages::warn(this, tonvola::maintenancetext::failure(outcome));
    ui.File1->refresh();
    ui.File2->refresh();
    if (list)
        list->selectInPlaceOf(row);
    selectionFollowsLists();
}

void frm_Start::selectionFollowsLists()
{
    if (!m_selectedSide)
        return;
    const tonvola::fs::FilePath shown = files(*m_selectedSide).selectedPath();
    if (shown == m_selected)
        return;
    m_selected = shown;
    if (m_selected.isEmpty())
        m_selectedSide.reset();
}

void frm_Start::mnuConfig_Click()
{
    // No parent: the window disables this one while it is open and must stay usable itself.
    tonvola::showSingle(m_config, [this] { return new frm_config(this, {ui.Dir1->path(), ui.Dir2->path()}); });
}

void frm_Start::mnuEject_Click()
{
    if (ui.File2->isHidden()) {
        tonvola::messages::inform(this, tonvola::windowtext::choosePlayerFolderFirst());
        return;
    }
    // A file that plays is held open and keeps the medium busy.
    StopMediaPlayer();
    if (!m_eject->start(ui.File2->path()))
        return;
    nextAction();
    ui.mnuEject->setEnabled(false);
    ui.StatusBar1->showMessage(tonvola::windowtext::ejecting());
}

void frm_Start::endEject(const tonvola::fs::EjectResult &result)
{
    ui.mnuEject->setEnabled(true);
    ui.StatusBar1->clearMessage();
    if (!result.ok()) {
        tonvola::messages::warn(this, tonvola::ejecttext::message(result));
        return;
    }
    m_status->offerEject(false);
    // Said in a box of its own: the status bar is busy telling that the player's folder is gone.
    tonvola::messages::inform(this, tonvola::ejecttext::message(result));
}

void frm_Start::mnuHelp_Click()
{
    tonvola::showSingle(m_help, [] { return new frm_Help(tonvola::help::renderPictures()); });
}

void frm_Start::mnuInfoTonvola_Click()
{
    tonvola::showSingle(m_info, [] { return new frm_Info; });
}

void frm_Start::mnuExchange_Click()
{
    bool ok = false;
    const int percent =
        QInputDialog::getInt(this, tonvola::windowtext::exchangeTitle(), tonvola::windowtext::exchangeQuestion(),
                             tonvola::settings::exchangePercent(tonvola::defaultExchangePercent), 0, 100, 5, &ok);
    if (ok && !tonvola::settings::setExchangePercent(percent))
        tonvola::messages::warn(this, tonvola::windowtext::settingNotSaved());
}

void frm_Start::mnuSubfolders_Click(bool on)
{
    if (!tonvola::settings::setSubfolders(on))
        tonvola::messages::warn(this, tonvola::windowtext::settingNotSaved());
}

void frm_Start::setupPreview()
{
    m_preview = new PreviewPlayer(this);
    m_preview->setObjectName(QStringLiteral("PreviewPlayer"));
    m_preview->showOn(ui.MediaPlayer1);
    // A file that cannot be played says so in the status bar; a dialog per attempt would pile up.
    connect(m_preview, &PreviewPlayer::failed, this, [this](const QString &path, const QString &reason) {
        ui.MediaPlayer1->setVisible(false);
        ui.StatusBar1->showMessage(
            tonvola::playbacktext::cannotPlay(tonvola::fs::printableName(QFileInfo(path).fileName()), reason), noteMs);
    });
}

void frm_Start::OpenMediaPlayer()
{
    if (!tonvola::fs::isMp3(m_selected.name.text()))
        return;
    ui.MediaPlayer1->setFileName(tonvola::fs::printableName(m_selected.name.text()));
    ui.MediaPlayer1->setVisible(true);
    m_preview->play(m_selected);
}

void frm_Start::StopMediaPlayer()
{
    m_preview->stop();
    ui.MediaPlayer1->setVisible(false);
}

void frm_Start::Getmix()
{
    if (m_fill->isRunning() || m_eject->isRunning())
        return;
    m_status->offerEject(false);
    tonvola::MixOptions options;
    options.source = ui.File1->path();
    options.player = ui.File2->path();
    options.exchangePercent = tonvola::settings::exchangePercent(tonvola::defaultExchangePercent);
    options.subfolders = ui.mnuSubfolders->isChecked();
    m_fill->start(std::move(options));
}

void frm_Start::endMix(const tonvola::MixResult &result)
{
    m_status->showName(!result.walked());
    if (!result.lastSelected.isEmpty()) {
        m_selected = result.lastSelected;
        m_selectedSide = m_selected.folder == ui.File2->path() ? Side::Player : Side::Source;
    }
    followVolumes();
    // The end of a fill is when the stick gets pulled out: the offer to take it out safely.
    m_status->offerEject(result.status == tonvola::MixResult::Status::Done);
}
