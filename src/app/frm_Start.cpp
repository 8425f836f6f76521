#include "app/frm_Start.h"

#include "app/FillController.h"
#include "app/MainWindowPictures.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"
#include "maintenance/Maintenance.h"
#include "platform/Eject.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/Path.h"
#include "platform/VolumeWatcher.h"
#include "playback/PreviewPlayer.h"
#include "widgets/Appearance.h"
#include "widgets/ElidedLabel.h"
#include "widgets/FolderPane.h"
#include "widgets/Keyboard.h"
#include "widgets/Messages.h"

#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QToolButton>

#include <algorithm>

namespace {

// Long enough to read a file name and a reason; the status bar's own panel returns afterwards.
constexpr int noteMs = 15000;

// Shows a window that exists at most once: created on first use, raised afterwards.
template<typename Window, typename Make> void showSingle(QPointer<Window> &window, Make make)
{
    if (!window) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    window->raise();
    window->activateWindow();
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
    m_panelName = new QLabel(QStringLiteral("Tonvola 2004"), panel);
    panelLayout->addWidget(m_panelName);
    // A fill's summary stays in place of the program's name until the next action; cut to the
    // room there is, whole in its tooltip.
    auto *summary = new ElidedLabel(panel);
    summary->setObjectName(QStringLiteral("StatusSummary"));
    panelLayout->addWidget(summary, 2);
    auto *report = new QToolButton(panel);
    report->setObjectName(QStringLiteral("cmd_report"));
    report->setText(QStringLiteral("Einzelheiten …"));
    report->setToolTip(QStringLiteral("Zeigt, was der letzte Lauf mit welcher Datei getan hat und warum."));
    report->setAutoRaise(true);
    panelLayout->addWidget(report);
    // Beside the program's name for as long as a folder is missing; a long path is cut here and
    // shows whole in the tooltip.
    m_waiting = new QLabel(panel);
    m_waiting->setObjectName(QStringLiteral("StatusPanelWaiting"));
    m_waiting->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_waiting->setVisible(false);
    panelLayout->addWidget(m_waiting, 1);
    panelLayout->addStretch();
    ui.StatusBar1->addWidget(panel, 1);

    m_ejectOffer = new QToolButton(ui.StatusBar1);
    m_ejectOffer->setObjectName(QStringLiteral("cmd_eject"));
    m_ejectOffer->setDefaultAction(ui.mnuEject);
    m_ejectOffer->setAutoRaise(true);
    m_ejectOffer->setVisible(false);
    ui.StatusBar1->addPermanentWidget(m_ejectOffer);
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
    m_sourcePane = new FolderPane(ui.Drive1, ui.Dir1, ui.File1, this);
    m_playerPane = new FolderPane(ui.Drive2, ui.Dir2, ui.File2, this);
    for (FolderPane *pane : {m_sourcePane, m_playerPane}) {
        connect(pane, &FolderPane::waitingChanged, this, &frm_Start::showWaiting);
        connect(pane, &FolderPane::waitingChanged, this, &frm_Start::showFreeSpace);
        connect(pane, &FolderPane::folderVanished, this, [this](const QString &folder) {
            ui.StatusBar1->showMessage(QStringLiteral("Das Verzeichnis %1 ist nicht mehr vorhanden.")
                                           .arg(tonvola::fs::printableName(QDir::toNativeSeparators(folder))),
                                       10000);
        });
    }
    connect(tonvola::fs::VolumeWatcher::instance(), &tonvola::fs::VolumeWatcher::volumesChanged, this,
            &frm_Start::followVolumes);
    FolderPane::offerPathEntry(this, {m_sourcePane, m_playerPane});
    for (FileListBox *list : {ui.File1, ui.File2}) {
        // Entf deletes where a file list has the focus.
        list->addAction(ui.mnuDelete);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint &at) { showFileMenu(list, at); });
    }

    connect(ui.cmd_mix, &QPushButton::clicked, this, &frm_Start::cmd_mix_Click);
    connect(ui.mnutonvola, &QAction::triggered, this, &frm_Start::mnutonvola_Click);
    connect(ui.mnuclear, &QAction::triggered, this, &frm_Start::mnuclear_Click);
    connect(ui.mnuDelete, &QAction::triggered, this, &frm_Start::mnuDelete_Click);
    connect(ui.mnuClose, &QAction::triggered, this, &frm_Start::mnuClose_Click);
    connect(ui.mnuPlay, &QAction::triggered, this, &frm_Start::mnuPlay_Click);
    connect(ui.mnuStop, &QAction::triggered, this, &frm_Start::mnuStop_Click);
    connect(ui.mnuConfig, &QAction::triggered, this, &frm_Start::mnuConfig_Click);
    // Which config.dat is read depends on where Tonvola was started; the menu says which.
    ui.mnuConfig->setToolTip(QStringLiteral("Die beiden Verzeichnisse werden in %1 gelesen und gespeichert.")
                                 .arg(tonvola::config::shownPath()));
    ui.mnuExtras->setToolTipsVisible(true);
    connect(ui.mnuHelp, &QAction::triggered, this, &frm_Start::mnuHelp_Click);
    connect(ui.mnuInfoTonvola, &QAction::triggered, this, &frm_Start::mnuInfoTonvola_Click);
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

    setupPreview();
    tonvola::keyboard::enterPressesFocusedButton(this);
    tonvola::keyboard::menusByKeyboard(this);
    m_fill = new FillController(
        {this, m_sourcePane, m_playerPane, ui.Status1, ui.cmd_cancel, ui.cmd_mix, ui.StatusBar1, summary, report});
    connect(m_fill, &FillController::finished, this, &frm_Start::endMix);

    tonvola::appearance::fitCaptions(this);
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
    if (!stored) {
        // A first start, from the menu too, whose working folder is the configuration folder:
        // the panes open on the user's music, not on a hidden folder. Nothing counts as chosen.
        if (!QFileInfo::exists(tonvola::config::defaultPath())) {
            const FolderPane::Silence sourceSilence(*m_sourcePane);
            const FolderPane::Silence playerSilence(*m_playerPane);
            const QString music = tonvola::config::startFolder();
            (void)m_sourcePane->showFolder(music);
            (void)m_playerPane->showFolder(music);
        }
        return;
    }
    // Start-up says nothing about stored folders it cannot show.
    const FolderPane::Silence sourceSilence(*m_sourcePane);
    const FolderPane::Silence playerSilence(*m_playerPane);
    // Each pane on its own: a player stick that is not plugged in must not keep the source
    // folder from showing.
    const bool sourceShown = m_sourcePane->showFolder(stored->source);
    const bool playerShown = m_playerPane->showFolder(stored->player);
    // A stored folder on a medium that is not plugged in is shown once it is.
    if (!sourceShown && QDir::isAbsolutePath(stored->source))
        m_sourcePane->await(stored->source);
    if (!playerShown && QDir::isAbsolutePath(stored->player))
        m_playerPane->await(stored->player);
    m_sourcePane->refresh();
    m_playerPane->refresh();
    if (sourceShown)
        ui.File1->setVisible(true);
    if (playerShown)
        ui.File2->setVisible(true);
}

void frm_Start::showFreeSpace()
{
    // The room of whatever lies under a folder that is gone would be a false figure.
    if (m_playerPane && m_playerPane->folder().isWaiting()) {
        m_freeSpace->setText(QStringLiteral("nicht erreichbar"));
        return;
    }
    const std::optional<qint64> available = tonvola::fs::availableBytes(ui.File2->path());
    if (!available) {
        m_freeSpace->setText(QStringLiteral("Frei: unbekannt"));
        return;
    }
    const QLocale german(QLocale::German, QLocale::Germany);
    m_freeSpace->setText(
        QStringLiteral("Frei: %1").arg(german.formattedDataSize(*available, 1, QLocale::DataSizeTraditionalFormat)));
}

bool frm_Start::askForFolder(Side side)
{
    if (pane(side).isChosen())
        return false;
    tonvola::messages::inform(this, side == Side::Player
                                        ? QStringLiteral("Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus.")
                                        : QStringLiteral("Bitte wählen Sie zuerst das StammVerzeichnis aus."));
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

void frm_Start::showWaiting()
{
    QStringList notes;
    QStringList explained;
    if (m_sourcePane->folder().isWaiting()) {
        const QString folder = tonvola::fs::shownPath(m_sourcePane->folder().awaited());
        notes << QStringLiteral("StammVerzeichnis fehlt: %1").arg(folder);
        explained << QStringLiteral("Das StammVerzeichnis %1 ist nicht da. Tonvola zeigt es, sobald sein "
                                    "Laufwerk angeschlossen ist.")
                         .arg(folder);
    }
    if (m_playerPane->folder().isWaiting()) {
        const QString folder = tonvola::fs::shownPath(m_playerPane->folder().awaited());
        notes << QStringLiteral("Mp3 Player Verzeichnis fehlt: %1").arg(folder);
        explained << QStringLiteral("Das Mp3 Player Verzeichnis %1 ist nicht da. Schließen Sie den Player an; "
                                    "Tonvola zeigt das Verzeichnis, sobald es da ist.")
                         .arg(folder);
    }
    m_waiting->setText(notes.join(QStringLiteral("; ")));
    m_waiting->setToolTip(explained.join(QLatin1Char('\n')));
    m_waiting->setVisible(!notes.isEmpty());
}

void frm_Start::Drive1_Change()
{
    m_sourcePane->showDriveFolder();
}

void frm_Start::Drive2_Change()
{
    m_playerPane->showDriveFolder();
}

void frm_Start::nextAction()
{
    m_fill->clearSummary();
    m_panelName->setVisible(true);
}

void frm_Start::Dir1_Change()
{
    if (m_fill && !m_fill->isRunning())
        nextAction();
    ui.File1->setPath(ui.Dir1->path());
}

void frm_Start::Dir2_Change()
{
    if (m_fill && !m_fill->isRunning())
        nextAction();
    m_ejectOffer->setVisible(false);
    ui.File2->setPath(ui.Dir2->path());
}

void frm_Start::Dir1_Click()
{
    m_sourcePane->choose();
}

void frm_Start::Dir2_Click()
{
    m_playerPane->choose();
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

void frm_Start::showFileMenu(FileListBox *list, const QPoint &at)
{
    const QModelIndex entry = list->indexAt(at);
    if (!entry.isValid())
        return;
    // The menu acts on the file it was opened on, as a click on it would.
    list->setListIndex(entry.row());
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("FileMenu"));
    menu.setPalette(tonvola::appearance::windowPalette());
    menu.addAction(ui.mnuPlay);
    menu.addAction(ui.mnuDelete);
    menu.exec(list->viewport()->mapToGlobal(at));
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
    namespace maintenance = tonvola::maintenance;
    // A hidden list shows a folder the user never chose; its files are not the player's.
    if (askForFolder(Side::Player))
        return;
    if (tonvola::messages::askOkCancel(this, maintenance::clearQuestion())) {
        nextAction();
        StopMediaPlayer();
        // Each entry is selected in turn, as a click would, so SelectedFile ends on the last one.
        QList<tonvola::fs::FilePath> listed;
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
    selectionFollowsLists();
}

void frm_Start::mnuDelete_Click()
{
    namespace maintenance = tonvola::maintenance;
    const tonvola::fs::FilePath path = m_selected;
    if (!tonvola::fs::isMp3(path.name.text()))
        return;
    if (m_selectedSide && askForFolder(*m_selectedSide))
        return;
    if (!maintenance::exists(path)) {
        tonvola::messages::warn(this, maintenance::goneMessage(path.text()));
        ui.File1->refresh();
        ui.File2->refresh();
        selectionFollowsLists();
        return;
    }
    if (!tonvola::messages::askOkCancel(this, maintenance::deleteQuestion(path.text())))
        return;
    nextAction();
    StopMediaPlayer();
    FileListBox *list = m_selectedSide ? &files(*m_selectedSide) : nullptr;
    const qsizetype row = list ? list->listIndex() : -1;
    const maintenance::DeletionOutcome outcome = maintenance::deleteMp3s({path});
    if (!outcome.ok())
        tonvola::messages::warn(this, maintenance::failureMessage(outcome));
    ui.File1->refresh();
    ui.File2->refresh();
    // The entry that takes the deleted one's place is chosen, as a click on it would; so the
    // next "Löschen" names a file the list shows.
    if (list && row >= 0 && list->listIndex() < 0 && list->listCount() > 0)
        list->setListIndex(std::min(row, list->listCount() - 1));
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
        m_config = new frm_config(this, {ui.Dir1->path(), ui.Dir2->path()});
        m_config->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_config->show();
    m_config->raise();
    m_config->activateWindow();
}

void frm_Start::mnuEject_Click()
{
    if (ui.File2->isHidden()) {
        tonvola::messages::inform(this, QStringLiteral("Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus."));
        return;
    }
    // A file that plays is held open and keeps the medium busy.
    StopMediaPlayer();
    if (!m_eject->start(ui.File2->path()))
        return;
    nextAction();
    ui.mnuEject->setEnabled(false);
    ui.StatusBar1->showMessage(QStringLiteral("Der Player wird ausgeworfen …"));
}

void frm_Start::endEject(const tonvola::fs::EjectResult &result)
{
    ui.mnuEject->setEnabled(true);
    ui.StatusBar1->clearMessage();
    if (!result.ok()) {
        tonvola::messages::warn(this, result.message());
        return;
    }
    m_ejectOffer->setVisible(false);
    // Said in a box of its own: the status bar is busy telling that the player's folder is gone.
    tonvola::messages::inform(this, result.message());
}

void frm_Start::mnuHelp_Click()
{
    showSingle(m_help, [] { return new frm_Help(tonvola::help::renderPictures()); });
}

void frm_Start::mnuInfoTonvola_Click()
{
    showSingle(m_info, [] { return new frm_Info; });
}

void frm_Start::mnuExchange_Click()
{
    bool ok = false;
    const int percent =
        QInputDialog::getInt(this, QStringLiteral("Austausch je Lauf"),
                             QStringLiteral("Wie viel Prozent der Musik auf dem Player, nach Größe, soll jeder\n"
                                            "Lauf gegen neue Dateien aus dem StammVerzeichnis tauschen?\n"
                                            "Bei 0 füllt er nur den freien Platz, bei 100 tauscht er alles."),
                             tonvola::settings::exchangePercent(tonvola::defaultExchangePercent), 0, 100, 5, &ok);
    if (ok && !tonvola::settings::setExchangePercent(percent))
        tonvola::messages::warn(this, QStringLiteral("Die Einstellung konnte nicht gespeichert werden."));
}

void frm_Start::mnuSubfolders_Click(bool on)
{
    if (!tonvola::settings::setSubfolders(on))
        tonvola::messages::warn(this, QStringLiteral("Die Einstellung konnte nicht gespeichert werden."));
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
        ui.StatusBar1->showMessage(QStringLiteral("Die Datei %1 kann nicht abgespielt werden: %2")
                                       .arg(tonvola::fs::printableName(QFileInfo(path).fileName()), reason),
                                   noteMs);
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
    m_ejectOffer->setVisible(false);
    tonvola::MixOptions options;
    options.source = ui.File1->path();
    options.player = ui.File2->path();
    options.exchangePercent = tonvola::settings::exchangePercent(tonvola::defaultExchangePercent);
    options.subfolders = ui.mnuSubfolders->isChecked();
    m_fill->start(std::move(options));
}

void frm_Start::endMix(const tonvola::MixResult &result)
{
    m_panelName->setVisible(!result.walked());
    if (!result.lastSelected.isEmpty()) {
        m_selected = result.lastSelected;
        m_selectedSide = m_selected.folder == ui.File2->path() ? Side::Player : Side::Source;
    }
    followVolumes();
    // The end of a fill is when the stick gets pulled out: the offer to take it out safely.
    m_ejectOffer->setVisible(result.status == tonvola::MixResult::Status::Done);
}
