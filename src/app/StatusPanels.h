#pragma once

#include <QObject>
#include <QTimer>

class ElidedLabel;
class FolderPane;
class QAbstractButton;
class QAction;
class QLabel;
class QStatusBar;
class QToolButton;

// The main window's status bar, left to right: the program's name, or in its place the last
// fill's summary with the button to its report; the folders the panes wait for; then the offer
// to take the player out and the free room in the player folder. It follows both panes itself.
class StatusPanels : public QObject
{
    Q_OBJECT

public:
    StatusPanels(QStatusBar *bar, QAction *eject, FolderPane *source, FolderPane *player);

    // Where the fill puts its summary, and the button to its report.
    [[nodiscard]] ElidedLabel *summary() const { return m_summary; }
    [[nodiscard]] QAbstractButton *report() const;
    // "Tonvola 2004" shows where no fill's summary does.
    void showName(bool shown);
    void offerEject(bool offered);

private:
    void addNamePanel();
    void addRoomPanels(QAction *eject);
    void showWaiting();
    void showFreeSpace();
    void tellVanished(const QString &folder);

    QStatusBar *m_bar;
    FolderPane *m_source;
    FolderPane *m_player;
    QLabel *m_name = nullptr;
    ElidedLabel *m_summary = nullptr;
    QToolButton *m_report = nullptr;
    // Names the folders the panes wait for.
    QLabel *m_waiting = nullptr;
    // "Player auswerfen" beside the summary of a finished fill.
    QToolButton *m_ejectOffer = nullptr;
    QLabel *m_freeSpace = nullptr;
    QTimer m_freeSpaceTimer;
};
