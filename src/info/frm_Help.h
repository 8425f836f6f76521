#pragma once

#include <QWidget>

class frm_Help : public QWidget
{
    Q_OBJECT

public:
    explicit frm_Help(QWidget *parent = nullptr);
};
