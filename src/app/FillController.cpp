#include "app/FillController.h"

#include "app/frm_Report.h"

#include "mix/MixRunner.h"
#include "platform/Notification.h"
#include "platform/Process.h"
#include "text/MixText.h"
#include "text/WindowText.h"
#include "widgets/ElidedLabel.h"
#include "widgets/FileListBox.h"
#include "widgets/FolderPane.h"
#include "widgets/Messages.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>

#include <algorithm>
#include <climits>

FillController::FillController(const Controls &controls) : QObject(controls.window), m_controls(controls)
{
    m_runner = new tonvola::MixRunner(this);
    m_runner->setObjectName(QStringLiteral("MixRunner"));
    connect(m_runner, &tonvola::MixRunner::started, this, &FillController::showStart);
    connect(m_runner, &tonvola::MixRunner::progressed, this, &FillController::showProgress);
    connect(m_runner, &tonvola::MixRunner::finished, this, &FillController::end);

    connect(m_controls.cancel, &QPushButton::clicked, this, &FillController::cancel);
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_controls.window);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &FillController::cancel);
    // The window shows the hourglass while a fill runs, but cancelling stays plainly possible.
    m_controls.cancel->setCursor(Qt::ArrowCursor);

    connect(m_controls.report, &QAbstractButton::clicked, this, &FillController::showReport);
    clearSummary();
}

bool FillController::isRunning() const
{
    return m_runner->isRunning();
}

void FillController::showHourglassUntilEnd()
{
    m_controls.window->setCursor(Qt::WaitCursor);
    m_resetsPointer = true;
}

void FillController::start(tonvola::MixOptions options)
{
    if (isRunning())
        return;
    lock(true);
    QProgressBar *bar = m_controls.progress;
    bar->setRange(0, static_cast<int>(std::clamp<qsizetype>(m_controls.source->files()->listCount(), 1, INT_MAX)));
    bar->setValue(0);
    bar->setVisible(true);
    m_controls.cancel->setEnabled(true);
    m_controls.cancel->setVisible(true);
    m_controls.cancel->setFocus();
    clearSummary();
    m_controls.statusBar->showMessage(tonvola::windowtext::fillRunning());
    m_runner->start(std::move(options));
}

void FillController::cancel()
{
    if (!isRunning())
        return;
    m_runner->cancel();
    m_controls.cancel->setEnabled(false);
    m_controls.statusBar->showMessage(tonvola::windowtext::fillCancelling());
}

void FillController::clearSummary()
{
    m_controls.summary->setFullText(QString());
    m_controls.summary->setVisible(false);
    m_controls.report->setVisible(false);
    m_reportSummary.clear();
    m_reportLines.clear();
}

void FillController::showReport()
{
    if (m_reportSummary.isEmpty() && m_reportLines.isEmpty())
        return;
    if (!m_report) {
        m_report = new frm_Report(m_controls.window);
        m_report->setObjectName(QStringLiteral("frm_Report"));
        m_report->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_report->showReport(m_reportSummary, m_reportLines);
    m_report->show();
    m_report->raise();
    m_report->activateWindow();
}

void FillController::showStart(const tonvola::fs::FileNames &sourceNames, const tonvola::fs::FileNames &playerNames)
{
    m_controls.source->files()->showNames(sourceNames);
    m_controls.player->files()->showNames(playerNames);
    m_controls.progress->setRange(0, 1000);
    m_controls.progress->setValue(0);
}

void FillController::showProgress(const tonvola::MixProgress &progress)
{
    QProgressBar *bar = m_controls.progress;
    if (progress.playerChanged)
        m_controls.player->files()->showNames(progress.playerNames);
    if (progress.flushing) {
        bar->setValue(bar->maximum());
        m_controls.statusBar->showMessage(tonvola::mixtext::flushing());
        return;
    }
    if (progress.waitingFor > 0) {
        m_controls.statusBar->showMessage(tonvola::mixtext::waiting(progress.waitingFor));
        return;
    }
    if (progress.preparing) {
        const tonvola::MixPreparing &preparing = *progress.preparing;
        // Looking counts towards a known end; comparing does not, so the bar only says it is busy.
        if (preparing.stage == tonvola::MixPreparing::Stage::Looking && preparing.total > 0) {
            bar->setRange(0, 1000);
            bar->setValue(static_cast<int>(preparing.done * 1000 / preparing.total));
        } else {
            bar->setRange(0, 0);
        }
        m_controls.statusBar->showMessage(tonvola::mixtext::preparing(preparing));
        return;
    }
    if (bar->maximum() == 0)
        bar->setRange(0, 1000);
    if (!progress.transferring)
        return;
    // On a stick the copying takes the time, so the bar follows the bytes written.
    const tonvola::MixTransfer &transfer = progress.transfer;
    if (transfer.action == tonvola::MixAction::Copied && transfer.bytesPlanned > 0) {
        constexpr int steps = 1000;
        bar->setRange(0, steps);
        bar->setValue(static_cast<int>(std::min<qint64>(steps, transfer.bytesDone * steps / transfer.bytesPlanned)));
    }
    if (m_escape->isEnabled() && m_controls.cancel->isEnabled())
        m_controls.statusBar->showMessage(tonvola::mixtext::progress(transfer, progress.transferMs));
}

void FillController::end(const tonvola::MixResult &result, const tonvola::fs::FileNames &sourceNames,
                         const tonvola::fs::FileNames &playerNames)
{
    using Status = tonvola::MixResult::Status;
    FileListBox *sourceFiles = m_controls.source->files();
    const bool walked = result.walked();
    if (walked) {
        if (const std::optional<qsizetype> row = tonvola::lastVisitedRow(result))
            sourceFiles->setListIndex(*row);
        sourceFiles->showNames(sourceNames);
        m_controls.player->files()->showNames(playerNames);
    }
    if (result.status == Status::Done)
        m_controls.progress->setValue(m_controls.progress->maximum());
    if (result.status == Status::SameFolder) {
        // Said while the run still shows: bar up, window locked; only then the window returns.
        m_controls.cancel->setVisible(false);
        tonvola::messages::inform(m_controls.window, tonvola::mixtext::problem(result));
    }
    m_controls.progress->setVisible(false);
    m_controls.cancel->setVisible(false);
    lock(false);
    m_controls.start->setFocus();
    if (m_resetsPointer) {
        m_controls.window->unsetCursor();
        m_resetsPointer = false;
    }

    // Large counts can make the summary longer than the bar; the tooltip always shows all of it.
    const QString summary = walked ? tonvola::mixtext::summary(result) : QString();
    m_controls.statusBar->clearMessage();
    m_controls.summary->setFullText(summary);
    m_controls.summary->setVisible(!summary.isEmpty());
    if (walked && result.hadProblem()) {
        m_reportSummary = QStringList{tonvola::mixtext::problem(result), summary};
        m_reportSummary.removeAll(QString());
        m_reportLines = tonvola::mixtext::namedLines(result);
        m_controls.report->setVisible(true);
        if (m_report)
            m_report->showReport(m_reportSummary, m_reportLines);
    }
    emit finished(result);
    // The run's lists and plan are gone and the lists shown are the last ones; what the run
    // freed would otherwise stay with the window, and grow with every fill of a large
    // collection.
    tonvola::fs::process::returnFreeMemory();
    if (!m_controls.window->isActiveWindow())
        tonvola::fs::notification::show(
            QStringLiteral("Tonvola"),
            QStringList{summary, tonvola::mixtext::problem(result)}.join(QLatin1Char('\n')).trimmed());
    if (result.status != Status::SameFolder && !tonvola::mixtext::problem(result).isEmpty())
        tonvola::messages::warn(m_controls.window, tonvola::mixtext::problem(result));
}

void FillController::lock(bool locked)
{
    // The run reports both file lists as it changes them and makes no sub-folders; reading a
    // long folder again here at every change would stall the window.
    m_controls.source->setFollowsDisk(!locked);
    m_controls.player->setFollowsDisk(!locked);
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
        m_escape->setEnabled(false);
        return;
    }

    // Every command is locked, so a second fill cannot start and nothing changes the folders
    // under the running one; the window still paints, and the cancel button stays usable.
    QMainWindow *window = m_controls.window;
    QList<QWidget *> widgets = window->centralWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    widgets.append(window->menuBar());
    for (QWidget *widget : std::as_const(widgets)) {
        const bool passive = qobject_cast<QLabel *>(widget) || widget->metaObject() == &QFrame::staticMetaObject;
        if (passive || widget == m_controls.progress || widget == m_controls.cancel || widget == m_controls.statusBar
            || !widget->isEnabled())
            continue;
        widget->setEnabled(false);
        m_lockedWidgets.append(widget);
    }
    const QList<QAction *> actions = window->findChildren<QAction *>();
    for (QAction *action : actions) {
        if (!action->isEnabled())
            continue;
        action->setEnabled(false);
        m_lockedActions.append(action);
    }
    m_escape->setEnabled(true);
}
