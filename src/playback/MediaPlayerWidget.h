#pragma once

#include <QMediaPlayer>
#include <QWidget>

class QLabel;
class QSlider;
class QToolButton;

// The compact preview player bar of the main window: play/pause, stop, the position and the
// times. It only asks for actions; whoever owns the player decides and reports back.
class MediaPlayerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MediaPlayerWidget(QWidget *parent = nullptr);

    void setState(QMediaPlayer::PlaybackState state);
    void setDuration(qint64 durationMs);
    void setPosition(qint64 positionMs);
    void setSeekable(bool seekable);
    // Shown as the bar's tooltip, so the user can tell what is playing.
    void setFileName(const QString &name);

    // "m:ss", minutes not capped at 59.
    [[nodiscard]] static QString formatTime(qint64 ms);

signals:
    void playPauseRequested();
    void stopRequested();
    void seekRequested(qint64 positionMs);

private:
    void showElapsed(qint64 positionMs);
    void updateSliderEnabled();

    QToolButton *m_playPause = nullptr;
    QToolButton *m_stop = nullptr;
    QSlider *m_position = nullptr;
    QLabel *m_elapsed = nullptr;
    QLabel *m_total = nullptr;
    bool m_seekable = false;
};
