#pragma once

#include "ui_frm_Help.h"

#include <QMainWindow>

// The help window: three numbered notes on the main window, each beside a picture of it.
class frm_Help : public QMainWindow
{
    Q_OBJECT

public:
    explicit frm_Help(QWidget *parent = nullptr);

private:
    void mnuClose_Click();

    Ui::frm_Help ui;
};
