#include "app/frm_Report.h"

#include "widgets/Appearance.h"
#include "widgets/Keyboard.h"

frm_Report::frm_Report(QWidget *parent) : QDialog(parent)
{
    ui.setupUi(this);
    tonvola::appearance::applyBackground(this);
    tonvola::appearance::withoutIcon(this);
    connect(ui.cmd_close, &QPushButton::clicked, this, &frm_Report::cmd_close_Click);
    tonvola::keyboard::escapeCloses(this);
}

void frm_Report::showReport(const QStringList &summary, const QStringList &lines)
{
    ui.Summary->setText(summary.join(QLatin1Char('\n')));
    ui.Lines->setPlainText(lines.join(QLatin1Char('\n')));
}

void frm_Report::cmd_close_Click()
{
    close();
}
