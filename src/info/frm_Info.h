#pragma once

#include "ui_frm_Info.h"

#include <QDialog>
#include <QString>

class QLabel;

// The info window: heading, author, contact line and the program's version in the status bar.
// A dialog, so that screen readers present it as one.
class frm_Info : public QDialog
{
    Q_OBJECT

public:
    explicit frm_Info(QWidget *parent = nullptr);

    // "Version " and major.minor.revision of a dotted version, each without leading zeros.
    [[nodiscard]] static QString versionLine(const QString &version);

    // Every showing, also of a window already open, writes the version line again.
    void setVisible(bool visible) override;

private:
    void Form_Load();
    void cmd_close_Click();

    Ui::frm_Info ui;
    QLabel *m_panel1 = nullptr;
};
