#pragma once

#include "ui_frm_Report.h"

#include <QDialog>
#include <QStringList>

// What the last fill did, file by file, for a run that met a problem: the summary on top and
// the run's lines below, as the command line prints them. Modeless, so the main window stays
// usable beside it.
class frm_Report : public QDialog
{
    Q_OBJECT

public:
    explicit frm_Report(QWidget *parent = nullptr);

    // The first line is the run's summary (with its problem before it, where there was one).
    void showReport(const QStringList &summary, const QStringList &lines);

private:
    void cmd_close_Click();

    Ui::frm_Report ui;
};
