#include "playback/MediaPlayerWidget.h"

MediaPlayerWidget::MediaPlayerWidget(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
}
