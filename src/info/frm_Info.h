#pragma once

#include <QWidget>

class frm_Info : public QWidget
{
    Q_OBJECT

public:
    explicit frm_Info(QWidget *parent = nullptr);
};
