#pragma once

#include <QWidget>

class frm_config : public QWidget
{
    Q_OBJECT

public:
    explicit frm_config(QWidget *parent = nullptr);
};
