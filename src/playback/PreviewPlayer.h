#pragma once

#include "platform/FileName.h"

#include <QMediaPlayer>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class MediaPlayerWidget;
class QFile;

// Plays one file at a time for a quick listen. It owns the media player; the player bar and
// the main window only ask it to act and show what it reports.
class PreviewPlayer : public QObject
{
    Q_OBJECT

public:
    explicit PreviewPlayer(QObject *parent = nullptr);
    ~PreviewPlayer() override;

    // The bar shows how this player plays, and its buttons and slider ask the player to pause,
    // stop and seek.
    void showOn(MediaPlayerWidget *bar);

    // Plays the file from its start. A file that cannot be played is reported through failed(),
    // at once when it is gone, empty or holds no MP3 data (then the result is false), or later
    // when the decoder or the sound output gives up.
    bool play(const tonvola::fs::FilePath &file);
    bool play(const QString &path);
    // Pauses or resumes; after a stop or at the end, plays the last file again.
    void togglePause();
    // Stops and lets go of the file, so that it can be deleted, moved or overwritten.
    void stop();
    void seek(qint64 positionMs);

    [[nodiscard]] QMediaPlayer::PlaybackState state() const;
    [[nodiscard]] qint64 position() const;
    // The file that is playing or paused; empty when nothing is held open.
    [[nodiscard]] QString currentFile() const { return m_file; }
    // True while this file is held open for playing or paused: a command about to delete or
    // overwrite it must stop the preview first.
    [[nodiscard]] bool isPlaying(const QString &path) const;

signals:
    void stateChanged(QMediaPlayer::PlaybackState state);
    void positionChanged(qint64 positionMs);
    // Kept at the last file's length after a stop, so the bar can still show it.
    void durationChanged(qint64 durationMs);
    void seekableChanged(bool seekable);
    // The reason is a German sentence that can follow "kann nicht abgespielt werden:".
    void failed(const QString &path, const QString &reason);

private:
    void createPlayer();
    void onErrorOccurred(QMediaPlayer::Error error, const QString &detail);
    void onMediaStatusChanged(QMediaPlayer::MediaStatus status);
    // Runs after the player has finished handling its own message.
    void later(std::function<void()> action);
    void release();

    // One player per file, gone when nothing is held.
    QMediaPlayer *m_player = nullptr;
    std::unique_ptr<QFile> m_source;
    QString m_file;
    tonvola::fs::FilePath m_lastFile;
    // Counts play() and stop() calls, so that a late report about an earlier file is ignored.
    quint64 m_attempt = 0;
    bool m_loaded = false;
    bool m_failing = false;
};
