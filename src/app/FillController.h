#pragma once

#include "mix/MixEngine.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class ElidedLabel;
class FolderPane;
class frm_Report;
class QAbstractButton;
class QAction;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QShortcut;
class QStatusBar;

namespace tonvola {
class MixRunner;
struct MixProgress;
} // namespace tonvola

// Runs a fill from the main window and shows it there. While it runs, every command of the window
// is locked but the cancel button and Esc; the bar and the status bar follow the copying and both
// file lists show what the fill does to them. The end unlocks the window, selects the collection
// entry the walk visited last and tells how the run went: the summary in the status bar until
// the next action, a problem in a message box, both in a notification where the window is not
// in front. A run that met a problem offers its report, file by file, from the status bar.
class FillController : public QObject
{
    Q_OBJECT

public:
    // The main window's controls the fill uses; all of them belong to the window.
    struct Controls {
        QMainWindow *window = nullptr;
        FolderPane *source = nullptr;
        FolderPane *player = nullptr;
        QProgressBar *progress = nullptr;
        QPushButton *cancel = nullptr;
        // Takes the focus back at the end.
        QPushButton *start = nullptr;
        QStatusBar *statusBar = nullptr;
        // In the status bar's panel: the last run's summary, and the button to its report.
        ElidedLabel *summary = nullptr;
        QAbstractButton *report = nullptr;
    };

    explicit FillController(const Controls &controls);

    [[nodiscard]] bool isRunning() const;
    // The pointer shows the hourglass until the next fill ends.
    void showHourglassUntilEnd();
    // Starts a fill of the player folder; nothing when one runs.
    void start(tonvola::MixOptions options);
    // The running fill stops within the current file.
    void cancel();
    // The user does something else: the last run's summary has been read.
    void clearSummary();
    // The last run's report, in a window of its own.
    void showReport();

signals:
    // The fill has ended and the window is usable again; the summary shows. Told before any
    // message box about a problem, so that the window shows its state behind it.
    void finished(const tonvola::MixResult &result);

private:
    void showStart(const tonvola::fs::FileNames &sourceNames, const tonvola::fs::FileNames &playerNames);
    void showProgress(const tonvola::MixProgress &progress);
    void end(const tonvola::MixResult &result, const tonvola::fs::FileNames &sourceNames,
             const tonvola::fs::FileNames &playerNames);
    void lock(bool locked);

    Controls m_controls;
    tonvola::MixRunner *m_runner = nullptr;
    QShortcut *m_escape = nullptr;
    bool m_resetsPointer = false;
    QStringList m_reportSummary;
    QStringList m_reportLines;
    QPointer<frm_Report> m_report;
    QList<QPointer<QWidget>> m_lockedWidgets;
    QList<QPointer<QAction>> m_lockedActions;
};
