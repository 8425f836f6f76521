#include "app/frm_Start.h"

#include "app/Appearance.h"
#include "app/Messages.h"
#include "config/ConfigFile.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"
#include "maintenance/Maintenance.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>

namespace {

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
    ui.Drive1->setDrive(stored->source);
    ui.Drive2->setDrive(stored->player);
    if (!ui.Dir1->setPath(stored->source).ok())
        return;
    if (!ui.Dir2->setPath(stored->player).ok())
        return;
    ui.Drive1->refresh();
    ui.Drive2->refresh();
    ui.Dir1->refresh();
    ui.Dir2->refresh();
    ui.File1->refresh();
    ui.File2->refresh();
    ui.File1->setVisible(true);
    ui.File2->setVisible(true);
}

void frm_Start::Drive1_Change()
{
    (void)ui.Dir1->setPath(ui.Drive1->drive());
}

void frm_Start::Drive2_Change()
{
    (void)ui.Dir2->setPath(ui.Drive2->drive());
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

void frm_Start::OpenMediaPlayer()
{}

void frm_Start::StopMediaPlayer()
{}

void frm_Start::Getmix()
{}
