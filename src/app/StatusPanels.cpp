#include "app/StatusPanels.h"

#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/Path.h"
#include "text/WindowText.h"
#include "widgets/ElidedLabel.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderPane.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

namespace {

// Free space is read again this often even when nothing in the folder changes, since other
// programs may fill the medium.
constexpr int freeSpaceInterval = 5000;

// Long enough to see that the folder went; the panels return afterwards.
constexpr int vanishedMs = 10000;

} // namespace

StatusPanels::StatusPanels(QStatusBar *bar, QAction *eject, FolderPane *source, FolderPane *player)
    : QObject(bar), m_bar(bar), m_source(source), m_player(player)
{
    addNamePanel();
    addRoomPanels(eject);
    connect(m_player->files(), &FileListBox::listChanged, this, &StatusPanels::showFreeSpace);
    connect(&m_freeSpaceTimer, &QTimer::timeout, this, &StatusPanels::showFreeSpace);
    m_freeSpaceTimer.start(freeSpaceInterval);
    showFreeSpace();
    for (FolderPane *pane : {m_source, m_player}) {
        connect(pane, &FolderPane::waitingChanged, this, &StatusPanels::showWaiting);
        connect(pane, &FolderPane::waitingChanged, this, &StatusPanels::showFreeSpace);
        connect(pane, &FolderPane::folderVanished, this, &StatusPanels::tellVanished);
    }
}

QAbstractButton *StatusPanels::report() const
{
    return m_report;
}

void StatusPanels::showName(bool shown)
{
    m_name->setVisible(shown);
}

void StatusPanels::offerEject(bool offered)
{
    m_ejectOffer->setVisible(offered);
}

void StatusPanels::addNamePanel()
{
    auto *panel = new QWidget(m_bar);
    panel->setObjectName(QStringLiteral("StatusPanel1"));
    auto *panelLayout = new QHBoxLayout(panel);
    panelLayout->setContentsMargins(2, 0, 2, 0);
    panelLayout->setSpacing(4);
    auto *panelIcon = new QLabel(panel);
    panelIcon->setPixmap(QIcon(QStringLiteral(":/tonvola/tonvola.svg")).pixmap(16, 16));
    panelIcon->setAccessibleName(QStringLiteral("Tonvola-Symbol"));
    panelLayout->addWidget(panelIcon);
    m_name = new QLabel(QStringLiteral("Tonvola 2004"), panel);
    panelLayout->addWidget(m_name);
    // A fill's summary stays in place of the program's name until the next action; cut to the
    // room there is, whole in its tooltip.
    m_summary = new ElidedLabel(panel);
    m_summary->setObjectName(QStringLiteral("StatusSummary"));
    panelLayout->addWidget(m_summary, 2);
    m_report = new QToolButton(panel);
    m_report->setObjectName(QStringLiteral("cmd_report"));
    m_report->setText(QStringLiteral("Einzelheiten …"));
    m_report->setToolTip(QStringLiteral("Zeigt, was der letzte Lauf mit welcher Datei getan hat und warum."));
    m_report->setAutoRaise(true);
    panelLayout->addWidget(m_report);
    // Beside the program's name for as long as a folder is missing; a long path is cut here and
    // shows whole in the tooltip.
    m_waiting = new QLabel(panel);
    m_waiting->setObjectName(QStringLiteral("StatusPanelWaiting"));
    m_waiting->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_waiting->setVisible(false);
    panelLayout->addWidget(m_waiting, 1);
    panelLayout->addStretch();
    m_bar->addWidget(panel, 1);
}

void StatusPanels::addRoomPanels(QAction *eject)
{
    m_ejectOffer = new QToolButton(m_bar);
    m_ejectOffer->setObjectName(QStringLiteral("cmd_eject"));
    m_ejectOffer->setDefaultAction(eject);
    m_ejectOffer->setAutoRaise(true);
    m_ejectOffer->setVisible(false);
    m_bar->addPermanentWidget(m_ejectOffer);
    m_freeSpace = new QLabel(m_bar);
    m_freeSpace->setObjectName(QStringLiteral("StatusPanelFree"));
    m_freeSpace->setToolTip(QStringLiteral("Freier Speicherplatz im Mp3 Player Verzeichnis"));
    m_freeSpace->setContentsMargins(4, 0, 4, 0);
    m_bar->addPermanentWidget(m_freeSpace);
}

void StatusPanels::showFreeSpace()
{
    // The room of whatever lies under a folder that is gone would be a false figure.
    if (m_player->presence().isWaiting()) {
        m_freeSpace->setText(tonvola::windowtext::freeRoomUnreachable());
        return;
    }
    const std::optional<qint64> available = tonvola::fs::availableBytes(m_player->files()->path());
    if (!available) {
        m_freeSpace->setText(tonvola::windowtext::freeRoomUnknown());
        return;
    }
    m_freeSpace->setText(tonvola::windowtext::freeRoom(*available));
}

void StatusPanels::showWaiting()
{
    QStringList notes;
    QStringList explained;
    if (m_source->presence().isWaiting()) {
        const QString folder = tonvola::fs::shownPath(m_source->presence().awaited());
        notes << tonvola::windowtext::sourceMissing(folder);
        explained << tonvola::windowtext::sourceMissingExplained(folder);
    }
    if (m_player->presence().isWaiting()) {
        const QString folder = tonvola::fs::shownPath(m_player->presence().awaited());
        notes << tonvola::windowtext::playerMissing(folder);
        explained << tonvola::windowtext::playerMissingExplained(folder);
    }
    m_waiting->setText(notes.join(QStringLiteral("; ")));
    m_waiting->setToolTip(explained.join(QLatin1Char('\n')));
    m_waiting->setVisible(!notes.isEmpty());
}

void StatusPanels::tellVanished(const QString &folder)
{
    m_bar->showMessage(tonvola::windowtext::folderGone(folder), vanishedMs);
}
