#pragma once

#include <QWidget>

// The compact preview player bar of the main window.
class MediaPlayerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MediaPlayerWidget(QWidget *parent = nullptr);
};
