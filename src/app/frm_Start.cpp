#include "app/frm_Start.h"

#include "app/Appearance.h"
#include "app/Messages.h"
#include "config/ConfigFile.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"
#include "mix/MixRunner.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QShortcut>

#include <algorithm>
#include <climits>

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

    m_mix = new tonvola::MixRunner(this);
    m_mix->setObjectName(QStringLiteral("MixRunner"));
    connect(m_mix, &tonvola::MixRunner::started, this, &frm_Start::showMixStart);
    connect(m_mix, &tonvola::MixRunner::progressed, this, &frm_Start::showMixProgress);
    connect(m_mix, &tonvola::MixRunner::finished, this, &frm_Start::endMix);
    connect(ui.cmd_cancel, &QPushButton::clicked, this, &frm_Start::cancelMix);
    m_cancelMix = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    m_cancelMix->setEnabled(false);
    connect(m_cancelMix, &QShortcut::activated, this, &frm_Start::cancelMix);
    // The window shows the hourglass while a fill runs, but cancelling stays plainly possible.
    ui.cmd_cancel->setCursor(Qt::ArrowCursor);

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
{
    if (m_mix->isRunning())
        return;
    setCursor(Qt::WaitCursor);
    m_mixResetsPointer = true;
    StopMediaPlayer();
    Getmix();
}

void frm_Start::mnutonvola_Click()
{
    StopMediaPlayer();
    Getmix();
}

void frm_Start::mnuclear_Click()
{}

void frm_Start::mnuDelete_Click()
{}

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
    showSingle(m_config);
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
{
    if (m_mix->isRunning())
        return;
    lockForMix(true);
    ui.Status1->setRange(0, static_cast<int>(std::clamp<qsizetype>(ui.File1->listCount(), 1, INT_MAX)));
    ui.Status1->setValue(0);
    ui.Status1->setVisible(true);
    ui.cmd_cancel->setEnabled(true);
    ui.cmd_cancel->setVisible(true);
    ui.cmd_cancel->setFocus();
    ui.StatusBar1->showMessage(QStringLiteral("Tonvola läuft …"));
    ui.StatusBar1->setToolTip(QString());

    tonvola::MixOptions options;
    options.source = ui.File1->path();
    options.player = ui.File2->path();
    m_mix->start(std::move(options));
}

void frm_Start::showMixStart(const QStringList &sourceNames, const QStringList &playerNames, qsizetype start)
{
    ui.File1->showNames(sourceNames);
    ui.File2->showNames(playerNames);
    ui.Status1->setRange(0, static_cast<int>(std::clamp<qsizetype>(sourceNames.size(), 1, INT_MAX)));
    ui.Status1->setValue(static_cast<int>(std::min<qsizetype>(start, INT_MAX)));
}

void frm_Start::showMixProgress(const tonvola::MixProgress &progress)
{
    if (progress.position >= 0 && progress.position < ui.File1->listCount()) {
        ui.Status1->setValue(static_cast<int>(std::min<qsizetype>(progress.position, INT_MAX)));
        ui.File1->setListIndex(progress.position);
    }
    if (progress.playerChanged)
        ui.File2->showNames(progress.playerNames);
    if (m_cancelMix->isEnabled() && ui.cmd_cancel->isEnabled() && !progress.copying.isEmpty()) {
        const QString text = progress.copyingAction == tonvola::MixAction::MovedBack
                                 ? QStringLiteral("Lege %1 zurück ins StammVerzeichnis …")
                                 : QStringLiteral("Kopiere %1 …");
        ui.StatusBar1->showMessage(text.arg(progress.copying));
    }
}

void frm_Start::endMix(const tonvola::MixResult &result, const QStringList &sourceNames, const QStringList &playerNames)
{
    using Status = tonvola::MixResult::Status;
    const bool walked = result.status != Status::SameFolder && result.status != Status::FolderMissing;
    if (walked) {
        if (result.visited > 0)
            ui.File1->setListIndex(result.start + result.visited - 1);
        ui.File1->showNames(sourceNames);
        ui.File2->showNames(playerNames);
    }
    if (result.status == Status::Done)
        ui.Status1->setValue(ui.Status1->maximum());
    ui.Status1->setVisible(false);
    ui.cmd_cancel->setVisible(false);
    lockForMix(false);
    ui.cmd_mix->setFocus();
    if (m_mixResetsPointer) {
        unsetCursor();
        m_mixResetsPointer = false;
    }
    if (!result.lastSelected.isEmpty())
        m_selectedFile = result.lastSelected;

    // Large counts can make the summary longer than the bar; the tooltip always shows all of it.
    const QString summary = walked ? result.summary() : QString();
    ui.StatusBar1->showMessage(summary);
    ui.StatusBar1->setToolTip(summary);
    if (result.status == Status::SameFolder)
        tonvola::messages::inform(this, result.problem());
    else if (result.status == Status::FolderMissing || result.status == Status::Failed)
        tonvola::messages::warn(this, result.problem());
}

void frm_Start::cancelMix()
{
    if (!m_mix->isRunning())
        return;
    m_mix->cancel();
    ui.cmd_cancel->setEnabled(false);
    ui.StatusBar1->showMessage(QStringLiteral("Wird abgebrochen …"));
}

void frm_Start::lockForMix(bool locked)
{
    if (!locked) {
        for (const QPointer<QWidget> &widget : std::as_const(m_lockedWidgets)) {
            if (widget)
                widget->setEnabled(true);
        }
        for (const QPointer<QAction> &action : std::as_const(m_lockedActions)) {
            if (action)
                action->setEnabled(true);
        }
        m_lockedWidgets.clear();
        m_lockedActions.clear();
        m_cancelMix->setEnabled(false);
        return;
    }

    // Every command is locked, so a second fill cannot start and nothing changes the folders
    // under the running one; the window still paints, and the cancel button stays usable.
    QList<QWidget *> widgets = ui.centralwidget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    widgets.append(menuBar());
    for (QWidget *widget : std::as_const(widgets)) {
        const bool passive = qobject_cast<QLabel *>(widget) || widget->metaObject() == &QFrame::staticMetaObject;
        if (passive || widget == ui.Status1 || widget == ui.cmd_cancel || widget == ui.StatusBar1
            || !widget->isEnabled())
            continue;
        widget->setEnabled(false);
        m_lockedWidgets.append(widget);
    }
    const QList<QAction *> actions = findChildren<QAction *>();
    for (QAction *action : actions) {
        if (!action->isEnabled())
            continue;
        action->setEnabled(false);
        m_lockedActions.append(action);
    }
    m_cancelMix->setEnabled(true);
}
