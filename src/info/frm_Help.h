#pragma once

#include "info/HelpPictures.h"
#include "ui_frm_Help.h"

#include <QMainWindow>

// The help window: three numbered notes on the main window, each beside a picture of it. Where
// the screen is too small for the laid-out page, the window fits the screen and the page scrolls.
class frm_Help : public QMainWindow
{
    Q_OBJECT

public:
    // The pictures come from the main window, which this window explains.
    explicit frm_Help(const tonvola::help::Pictures &pictures, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void mnuClose_Click();
    void fitScreen();

    Ui::frm_Help ui;
};
