#include "playback/MediaPlayerWidget.h"

#include "widgets/Appearance.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace {

QToolButton *makeButton(QWidget *parent, const QString &objectName, QStyle::StandardPixmap icon, const QString &text)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(objectName);
    button->setIcon(parent->style()->standardIcon(icon));
    button->setIconSize(QSize(16, 16));
    button->setFixedSize(28, 28);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolTip(text);
    button->setAccessibleName(text);
    return button;
}

QLabel *makeTimeLabel(QWidget *parent, const QString &objectName, const QString &meaning, Qt::Alignment alignment)
{
    auto *label = new QLabel(MediaPlayerWidget::formatTime(0), parent);
    label->setObjectName(objectName);
    label->setToolTip(meaning);
    label->setAccessibleName(meaning);
    label->setAlignment(alignment | Qt::AlignVCenter);
    // Wide enough for "59:59", so the slider does not jump while the time runs.
    label->setFixedWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("59:59")) + 2);
    return label;
}

int sliderValue(qint64 ms)
{
    return static_cast<int>(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max()));
}

} // namespace

MediaPlayerWidget::MediaPlayerWidget(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, tonvola::appearance::background);
    setPalette(palette);

    m_playPause = makeButton(this, QStringLiteral("PlayPause"), QStyle::SP_MediaPlay, QStringLiteral("Abspielen"));
    m_stop = makeButton(this, QStringLiteral("StopButton"), QStyle::SP_MediaStop, QStringLiteral("Stop"));
    m_elapsed = makeTimeLabel(this, QStringLiteral("Elapsed"), QStringLiteral("Gespielte Zeit"), Qt::AlignRight);
    m_total = makeTimeLabel(this, QStringLiteral("Total"), QStringLiteral("Gesamtdauer"), Qt::AlignLeft);

    m_position = new QSlider(Qt::Horizontal, this);
    m_position->setObjectName(QStringLiteral("Position"));
    m_position->setToolTip(QStringLiteral("Abspielposition"));
    m_position->setAccessibleName(QStringLiteral("Abspielposition"));
    m_position->setRange(0, 0);
    m_position->setSingleStep(1000);
    m_position->setPageStep(10000);
    m_position->setEnabled(false);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 6, 0);
    layout->setSpacing(4);
    layout->addWidget(m_playPause);
    layout->addWidget(m_stop);
    layout->addWidget(m_elapsed);
    layout->addWidget(m_position, 1);
    layout->addWidget(m_total);

    connect(m_playPause, &QToolButton::clicked, this, &MediaPlayerWidget::playPauseRequested);
    connect(m_stop, &QToolButton::clicked, this, &MediaPlayerWidget::stopRequested);
    // While the user drags, only the elapsed time follows the handle; the player seeks once,
    // on release. Keys and clicks beside the handle seek at once.
    connect(m_position, &QSlider::valueChanged, this, [this](int value) {
        if (m_position->isSliderDown())
            showElapsed(value);
        else
            emit seekRequested(value);
    });
    connect(m_position, &QSlider::sliderReleased, this, [this] { emit seekRequested(m_position->value()); });
}

void MediaPlayerWidget::setState(QMediaPlayer::PlaybackState state)
{
    const bool playing = state == QMediaPlayer::PlayingState;
    const QString text = playing ? QStringLiteral("Pause") : QStringLiteral("Abspielen");
    m_playPause->setIcon(style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    m_playPause->setToolTip(text);
    m_playPause->setAccessibleName(text);
}

void MediaPlayerWidget::setDuration(qint64 durationMs)
{
    const QSignalBlocker blocker(m_position);
    m_position->setMaximum(sliderValue(durationMs));
    updateSliderEnabled();
    // Rounded, so that a file of 2.99 seconds does not claim to last 0:02.
    m_total->setText(formatTime(durationMs + 500));
}

void MediaPlayerWidget::setPosition(qint64 positionMs)
{
    if (m_position->isSliderDown())
        return;
    const QSignalBlocker blocker(m_position);
    m_position->setValue(sliderValue(positionMs));
    showElapsed(positionMs);
}

void MediaPlayerWidget::setSeekable(bool seekable)
{
    m_seekable = seekable;
    updateSliderEnabled();
}

// Seeking needs both a player that can and a known length to map the slider onto.
void MediaPlayerWidget::updateSliderEnabled()
{
    m_position->setEnabled(m_seekable && m_position->maximum() > 0);
}

void MediaPlayerWidget::setFileName(const QString &name)
{
    setToolTip(name);
    setAccessibleDescription(name);
}

QString MediaPlayerWidget::formatTime(qint64 ms)
{
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void MediaPlayerWidget::showElapsed(qint64 positionMs)
{
    m_elapsed->setText(formatTime(positionMs));
}
