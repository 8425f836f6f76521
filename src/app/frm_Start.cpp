#include "app/frm_Start.h"

#include "app/Appearance.h"
#include "app/FolderPanes.h"
#include "app/Messages.h"
#include "config/ConfigFile.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"
#include "maintenance/Maintenance.h"
#include "platform/FileOps.h"
#include "playback/PreviewPlayer.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLocale>
#include <QScopedValueRollback>

namespace {

// Long enough to read a file name and a reason; the status bar's own panel returns afterwards.
constexpr int playbackNoteMs = 15000;

// Shows a window that exists at most once: created on first use, raised afterwards.
template<typename Window> void showSingle(QPointer<Window> &window)
{
    if (!window) {
        window = new Window;
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
}

// A stored folder that cannot be shown leaves its pane as it is. A value without a drive
// (a relative path, another system's network share) names no folder here.
bool applyStoredFolder(DriveListBox &drive, DirListBox &dir, const QString &folder)
{
    if (!QDir::isAbsolutePath(folder) || !tonvola::fs::checkFolder(folder).ok())
        return false;
    drive.setDrive(folder);
    return dir.setPath(folder).ok();
}

// Free space is read again this often even when nothing in the folder changes, since other
// programs may fill the medium.
constexpr int freeSpaceInterval = 5000;

} // namespace

frm_Start::frm_Start(QWidget *parent) : QMainWindow(parent)
{
    tonvola::appearance::initResources();
    ui.setupUi(this);
    tonvola::appearance::makeFixedDialogWindow(this);
    tonvola::appearance::applyBackground(this);
    setWindowIcon(QIcon(QStringLiteral(":/tonvola/tonvola.svg")));

    ui.Label2->setFont(tonvola::appearance::headingFont(21.75));
    QPalette titlePalette = ui.Label2->palette();
    titlePalette.setColor(QPalette::WindowText, tonvola::appearance::activeTitle);
    ui.Label2->setPalette(titlePalette);

    auto *panel = new QWidget(ui.StatusBar1);
    panel->setObjectName(QStringLiteral("StatusPanel1"));
    auto *panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(2, 0, 2, 0);
    panelLayout->setSpacing(4);
    auto *panelIcon = new QLabel(panel);
    panelIcon->setPixmap(QIcon(QStringLiteral(":/tonvola/tonvola.svg")).pixmap(16, 16));
    panelIcon->setAccessibleName(QStringLiteral("Tonvola-Symbol"));
    panelLayout->addWidget(panelIcon);
    panelLayout->addWidget(new QLabel(QStringLiteral("Tonvola 2004"), panel));
    ui.StatusBar1->addWidget(panel, 1);

    m_freeSpace = new QLabel(ui.StatusBar1);
    m_freeSpace->setObjectName(QStringLiteral("StatusPanelFree"));
    m_freeSpace->setToolTip(QStringLiteral("Freier Speicherplatz im Mp3 Player Verzeichnis"));
    m_freeSpace->setContentsMargins(4, 0, 4, 0);
    ui.StatusBar1->addPermanentWidget(m_freeSpace);
    connect(ui.File2, &FileListBox::listChanged, this, &frm_Start::showFreeSpace);
    connect(&m_freeSpaceTimer, &QTimer::timeout, this, &frm_Start::showFreeSpace);
    m_freeSpaceTimer.start(freeSpaceInterval);
    showFreeSpace();

    connect(ui.Drive1, &DriveListBox::driveChanged, this, &frm_Start::Drive1_Change);
    connect(ui.Drive2, &DriveListBox::driveChanged, this, &frm_Start::Drive2_Change);
    connect(ui.Dir1, &DirListBox::pathChanged, this, &frm_Start::Dir1_Change);
    connect(ui.Dir2, &DirListBox::pathChanged, this, &frm_Start::Dir2_Change);
    connect(ui.Dir1, &DirListBox::folderClicked, this, &frm_Start::Dir1_Click);
    connect(ui.Dir2, &DirListBox::folderClicked, this, &frm_Start::Dir2_Click);
    connect(ui.File1, &FileListBox::fileClicked, this, &frm_Start::File1_Click);
    connect(ui.File2, &FileListBox::fileClicked, this, &frm_Start::File2_Click);
    connect(ui.File1, &FileListBox::fileDoubleClicked, this, &frm_Start::File1_DblClick);
    connect(ui.File2, &FileListBox::fileDoubleClicked, this, &frm_Start::File2_DblClick);
    // Each drive list shows the volume of the folder its folder list shows.
    connect(ui.Dir1, &DirListBox::pathChanged, ui.Drive1, &DriveListBox::followFolder);
    connect(ui.Dir2, &DirListBox::pathChanged, ui.Drive2, &DriveListBox::followFolder);
    for (DirListBox *dir : {ui.Dir1, ui.Dir2}) {
        connect(dir, &DirListBox::openFailed, this, [this](const QString &folder, const tonvola::FileResult &result) {
            if (!m_silent)
                tonvola::panes::warnFolderNotShown(this, folder, result);
        });
        connect(dir, &DirListBox::folderVanished, this, [this](const QString &folder) {
            ui.StatusBar1->showMessage(
                QStringLiteral("Das Verzeichnis %1 ist nicht mehr vorhanden.").arg(QDir::toNativeSeparators(folder)),
                10000);
        });
    }

    connect(ui.cmd_mix, &QPushButton::clicked, this, &frm_Start::cmd_mix_Click);
    connect(ui.mnutonvola, &QAction::triggered, this, &frm_Start::mnutonvola_Click);
    connect(ui.mnuclear, &QAction::triggered, this, &frm_Start::mnuclear_Click);
    connect(ui.mnuDelete, &QAction::triggered, this, &frm_Start::mnuDelete_Click);
    connect(ui.mnuClose, &QAction::triggered, this, &frm_Start::mnuClose_Click);
    connect(ui.mnuPlay, &QAction::triggered, this, &frm_Start::mnuPlay_Click);
    connect(ui.mnuStop, &QAction::triggered, this, &frm_Start::mnuStop_Click);
    connect(ui.mnuConfig, &QAction::triggered, this, &frm_Start::mnuConfig_Click);
    connect(ui.mnuHelp, &QAction::triggered, this, &frm_Start::mnuHelp_Click);
    connect(ui.mnuInfoTonvola, &QAction::triggered, this, &frm_Start::mnuInfoTonvola_Click);

    setupPreview();

    setFixedSize(sizeHint());
    Form_Load();
}

frm_Start::~frm_Start() = default;

void frm_Start::Form_Load()
{
    GetConfig();
}

void frm_Start::GetConfig()
{
    const std::optional<tonvola::StoredFolders> stored = tonvola::config::load();
    if (!stored)
        return;
    const QScopedValueRollback silent(m_silent, true);
    // Each pane on its own: a player stick that is not plugged in must not keep the source
    // folder from showing.
    const bool sourceShown = applyStoredFolder(*ui.Drive1, *ui.Dir1, stored->source);
    const bool playerShown = applyStoredFolder(*ui.Drive2, *ui.Dir2, stored->player);
    ui.Drive1->refresh();
    ui.Drive2->refresh();
    ui.Dir1->refresh();
    ui.Dir2->refresh();
    ui.File1->refresh();
    ui.File2->refresh();
    if (sourceShown)
        ui.File1->setVisible(true);
    if (playerShown)
        ui.File2->setVisible(true);
}

void frm_Start::showFreeSpace()
{
    const std::optional<qint64> available = tonvola::fs::availableBytes(ui.File2->path());
    if (!available) {
        m_freeSpace->setText(QStringLiteral("Frei: unbekannt"));
        return;
    }
    const QLocale german(QLocale::German, QLocale::Germany);
    m_freeSpace->setText(
        QStringLiteral("Frei: %1").arg(german.formattedDataSize(*available, 1, QLocale::DataSizeTraditionalFormat)));
}

void frm_Start::Drive1_Change()
{
    tonvola::panes::showDriveFolder(this, *ui.Drive1, *ui.Dir1, m_silent);
}

void frm_Start::Drive2_Change()
{
    tonvola::panes::showDriveFolder(this, *ui.Drive2, *ui.Dir2, m_silent);
}

void frm_Start::Dir1_Change()
{
    ui.File1->setPath(ui.Dir1->path());
}

void frm_Start::Dir2_Change()
{
    ui.File2->setPath(ui.Dir2->path());
}

void frm_Start::Dir1_Click()
{
    ui.File1->setVisible(true);
}

void frm_Start::Dir2_Click()
{
    ui.File2->setVisible(true);
}

void frm_Start::File1_Click()
{
    m_selectedFile = ui.File1->selectedPath();
}

void frm_Start::File2_Click()
{
    m_selectedFile = ui.File2->selectedPath();
}

void frm_Start::File1_DblClick()
{
    OpenMediaPlayer();
}

void frm_Start::File2_DblClick()
{
    OpenMediaPlayer();
}

void frm_Start::cmd_mix_Click()
{}

void frm_Start::mnutonvola_Click()
{}

void frm_Start::mnuclear_Click()
{
    namespace maintenance = tonvola::maintenance;
    // A hidden list shows a folder the user never chose; its files are not the player's.
    if (ui.File2->isHidden()) {
        tonvola::messages::inform(this, QStringLiteral("Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus."));
        return;
    }
    if (tonvola::messages::askOkCancel(this, maintenance::clearQuestion())) {
        StopMediaPlayer();
        // Each entry is selected in turn, as a click would, so SelectedFile ends on the last one.
        QStringList listed;
        for (qsizetype i = 0; i < ui.File2->listCount(); ++i) {
            ui.File2->setListIndex(i);
            listed.append(ui.File2->selectedPath());
        }
        const maintenance::DeletionOutcome outcome = maintenance::deleteMp3s(listed);
        if (!outcome.ok())
            tonvola::messages::warn(this, maintenance::failureMessage(outcome));
    }
    ui.File1->refresh();
    ui.File2->refresh();
}

void frm_Start::mnuDelete_Click()
{
    namespace maintenance = tonvola::maintenance;
    const QString path = m_selectedFile;
    if (!tonvola::fs::isMp3(path))
        return;
    if (!maintenance::exists(path)) {
        tonvola::messages::warn(this, maintenance::goneMessage(path));
        ui.File1->refresh();
        ui.File2->refresh();
        return;
    }
    if (!tonvola::messages::askOkCancel(this, maintenance::deleteQuestion(path)))
        return;
    StopMediaPlayer();
    const maintenance::DeletionOutcome outcome = maintenance::deleteMp3s({path});
    if (!outcome.ok())
        tonvola::messages::warn(this, maintenance::failureMessage(outcome));
    ui.File1->refresh();
    ui.File2->refresh();
}

void frm_Start::mnuClose_Click()
{
    close();
}

void frm_Start::mnuPlay_Click()
{
    OpenMediaPlayer();
}

void frm_Start::mnuStop_Click()
{
    StopMediaPlayer();
}

void frm_Start::mnuConfig_Click()
{
    // No parent: the window disables this one while it is open and must stay usable itself.
    if (!m_config) {
        m_config = new frm_config(this);
        m_config->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_config->show();
    m_config->raise();
    m_config->activateWindow();
}

void frm_Start::mnuHelp_Click()
{
    showSingle(m_help);
}

void frm_Start::mnuInfoTonvola_Click()
{
    showSingle(m_info);
}

void frm_Start::setupPreview()
{
    m_preview = new PreviewPlayer(this);
    m_preview->setObjectName(QStringLiteral("PreviewPlayer"));
    MediaPlayerWidget *bar = ui.MediaPlayer1;
    connect(bar, &MediaPlayerWidget::playPauseRequested, m_preview, &PreviewPlayer::togglePause);
    connect(bar, &MediaPlayerWidget::stopRequested, m_preview, &PreviewPlayer::stop);
    connect(bar, &MediaPlayerWidget::seekRequested, m_preview, &PreviewPlayer::seek);
    connect(m_preview, &PreviewPlayer::stateChanged, bar, &MediaPlayerWidget::setState);
    connect(m_preview, &PreviewPlayer::positionChanged, bar, &MediaPlayerWidget::setPosition);
    connect(m_preview, &PreviewPlayer::durationChanged, bar, &MediaPlayerWidget::setDuration);
    connect(m_preview, &PreviewPlayer::seekableChanged, bar, &MediaPlayerWidget::setSeekable);
    // A file that cannot be played says so in the status bar; a dialog per attempt would pile up.
    connect(m_preview, &PreviewPlayer::failed, this, [this](const QString &path, const QString &reason) {
        ui.MediaPlayer1->setVisible(false);
        ui.StatusBar1->showMessage(
            QStringLiteral("Die Datei %1 kann nicht abgespielt werden: %2").arg(QFileInfo(path).fileName(), reason),
            playbackNoteMs);
    });
}

void frm_Start::OpenMediaPlayer()
{
    if (!tonvola::fs::isMp3(m_selectedFile))
        return;
    ui.MediaPlayer1->setFileName(QFileInfo(m_selectedFile).fileName());
    ui.MediaPlayer1->setVisible(true);
    m_preview->play(m_selectedFile);
}

void frm_Start::StopMediaPlayer()
{
    m_preview->stop();
    ui.MediaPlayer1->setVisible(false);
}

void frm_Start::Getmix()
{}
