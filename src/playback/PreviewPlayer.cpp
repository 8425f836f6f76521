#include "playback/PreviewPlayer.h"

#include "platform/Folder.h"
#include "playback/MediaPlayerWidget.h"
#include "playback/MpegAudioProbe.h"
#include "text/PlaybackText.h"

#include <QAudioOutput>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QUrl>

#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcPlayback, "tonvola.playback")

// Opens the file and says why it cannot be played, or nothing when it may. The decoder would
// find most of these too, but Qt 6.4 then blocks the window for a second while it stops, and
// its messages are English and vague.
QString openForPlaying(const tonvola::fs::FilePath &path, QFile &file)
{
    const tonvola::fs::FileResult opened = tonvola::fs::openForReading(path, file);
    switch (opened.status) {
    case tonvola::fs::FileResult::Status::Ok:
        break;
    case tonvola::fs::FileResult::Status::NotFound:
        return tonvola::playbacktext::gone();
    case tonvola::fs::FileResult::Status::NotAFile:
        return tonvola::playbacktext::notAFile();
    default:
        return tonvola::playbacktext::unreadable(opened);
    }
    if (file.size() == 0)
        return tonvola::playbacktext::empty();
    if (!tonvola::playback::looksLikeMpegAudio(file) || !file.seek(0))
        return tonvola::playbacktext::noMp3Data();
    return {};
}

QString sameFileKey(const QString &path)
{
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

} // namespace

PreviewPlayer::PreviewPlayer(QObject *parent) : QObject(parent)
{}

PreviewPlayer::~PreviewPlayer()
{
    release();
}

void PreviewPlayer::showOn(MediaPlayerWidget *bar)
{
    connect(bar, &MediaPlayerWidget::playPauseRequested, this, &PreviewPlayer::togglePause);
    connect(bar, &MediaPlayerWidget::stopRequested, this, &PreviewPlayer::stop);
    connect(bar, &MediaPlayerWidget::seekRequested, this, &PreviewPlayer::seek);
    connect(this, &PreviewPlayer::stateChanged, bar, &MediaPlayerWidget::setState);
    connect(this, &PreviewPlayer::positionChanged, bar, &MediaPlayerWidget::setPosition);
    connect(this, &PreviewPlayer::durationChanged, bar, &MediaPlayerWidget::setDuration);
    connect(this, &PreviewPlayer::seekableChanged, bar, &MediaPlayerWidget::setSeekable);
}

bool PreviewPlayer::play(const QString &path)
{
    const QFileInfo info(path);
    return play(tonvola::fs::FilePath{info.path(), tonvola::fs::FileName::fromText(info.fileName())});
}

bool PreviewPlayer::play(const tonvola::fs::FilePath &file)
{
    ++m_attempt;
    release();
    m_lastFile = file;
    const QString path = file.text();

    auto source = std::make_unique<QFile>();
    QString reason = openForPlaying(file, *source);
    if (reason.isEmpty()) {
        createPlayer();
        if (!m_player->isAvailable())
            reason = tonvola::playbacktext::noPlaybackOnSystem();
    }
    if (!reason.isEmpty()) {
        qCWarning(lcPlayback) << "not playing" << path << ':' << reason;
        release();
        emit failed(path, reason);
        return false;
    }

    m_file = path;
    m_source = std::move(source);
    // The player reads from our open file rather than from its URL: given a URL, Qt 6.4's
    // GStreamer player can deadlock when its decoder thread attaches the sound output while
    // setSource() is still seeking to the start. From a device, data only flow once the event
    // loop runs again, after setSource() has returned.
    m_player->setSourceDevice(m_source.get(), QUrl::fromLocalFile(path));
    m_player->play();
    return true;
}

void PreviewPlayer::togglePause()
{
    switch (state()) {
    case QMediaPlayer::PlayingState:
        m_player->pause();
        break;
    case QMediaPlayer::PausedState:
        m_player->play();
        break;
    case QMediaPlayer::StoppedState:
        if (!m_lastFile.isEmpty())
            play(m_lastFile);
        break;
    }
}

void PreviewPlayer::stop()
{
    ++m_attempt;
    release();
}

void PreviewPlayer::seek(qint64 positionMs)
{
    if (m_player && m_player->isSeekable())
        m_player->setPosition(positionMs);
}

QMediaPlayer::PlaybackState PreviewPlayer::state() const
{
    return m_player ? m_player->playbackState() : QMediaPlayer::StoppedState;
}

qint64 PreviewPlayer::position() const
{
    return m_player ? m_player->position() : 0;
}

bool PreviewPlayer::isPlaying(const QString &path) const
{
    return !m_file.isEmpty() && sameFileKey(path) == sameFileKey(m_file);
}

// A fresh player for every file: Qt 6.4 reuses its device reader between sources, and calls
// still queued for the previous file then upset the next one.
void PreviewPlayer::createPlayer()
{
    m_player = new QMediaPlayer(this);
    m_player->setAudioOutput(new QAudioOutput(m_player));
    m_loaded = false;
    m_failing = false;
    connect(m_player, &QMediaPlayer::playbackStateChanged, this, &PreviewPlayer::stateChanged);
    connect(m_player, &QMediaPlayer::positionChanged, this, &PreviewPlayer::positionChanged);
    connect(m_player, &QMediaPlayer::seekableChanged, this, &PreviewPlayer::seekableChanged);
    connect(m_player, &QMediaPlayer::durationChanged, this, [this](qint64 duration) {
        if (!m_file.isEmpty())
            emit durationChanged(duration);
    });
    connect(m_player, &QMediaPlayer::errorOccurred, this, &PreviewPlayer::onErrorOccurred);
    connect(m_player, &QMediaPlayer::mediaStatusChanged, this, &PreviewPlayer::onMediaStatusChanged);
}

void PreviewPlayer::onMediaStatusChanged(QMediaPlayer::MediaStatus status)
{
    if (status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia) {
        m_loaded = true;
    } else if (status == QMediaPlayer::EndOfMedia) {
        // Let go of the file at the end as well; the bar can still start it again.
        later([this] { release(); });
    }
}

void PreviewPlayer::onErrorOccurred(QMediaPlayer::Error error, const QString &detail)
{
    // The player reports one failure several times; the first one counts.
    if (error == QMediaPlayer::NoError || m_file.isEmpty() || m_failing)
        return;
    m_failing = true;
    qCWarning(lcPlayback) << "playback of" << m_file << "failed:" << error << detail;

    QString reason;
    if (error == QMediaPlayer::AccessDeniedError)
        reason = tonvola::playbacktext::accessDenied();
    else if (!m_loaded)
        reason = tonvola::playbacktext::notPlayableAsMp3();
    else
        reason = tonvola::playbacktext::soundOutputFailed();

    // Qt 6.4 stays in PlayingState after an error, so the player must be stopped here.
    later([this, path = m_file, reason] {
        release();
        emit failed(path, reason);
    });
}

void PreviewPlayer::later(std::function<void()> action)
{
    QMetaObject::invokeMethod(
        this,
        [this, attempt = m_attempt, action = std::move(action)] {
            if (attempt == m_attempt)
                action();
        },
        Qt::QueuedConnection);
}

void PreviewPlayer::release()
{
    m_file.clear();
    if (!m_player) {
        m_source.reset();
        return;
    }
    QMediaPlayer *player = std::exchange(m_player, nullptr);
    player->stop();
    player->setSource(QUrl());
    // Whatever it still says concerns a file we no longer hold.
    player->disconnect(this);
    delete player;
    m_source.reset();
}
