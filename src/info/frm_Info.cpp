#include "info/frm_Info.h"

#include "widgets/Appearance.h"
#include "widgets/Keyboard.h"

#include <QLabel>
#include <QVersionNumber>

frm_Info::frm_Info(QWidget *parent) : QDialog(parent)
{
    tonvola::appearance::initResources();
    ui.setupUi(this);
    tonvola::appearance::withoutIcon(this);
    tonvola::appearance::makeFixedDialogWindow(this);
    tonvola::appearance::applyBackground(this);

    // The two lines form one control array; both answer to its name.
    ui.Line1_1->setObjectName(QStringLiteral("Line1"));
    for (QFrame *line : {ui.Line1, ui.Line1_1}) {
        QPalette palette = line->palette();
        palette.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        line->setPalette(palette);
    }

    ui.Label1->setFont(tonvola::appearance::headingFont(20.25));
    ui.Label3->setFont(tonvola::appearance::contactFont());

    m_panel1 = new QLabel(ui.StatusBar1);
    m_panel1->setObjectName(QStringLiteral("StatusPanel1"));
    m_panel1->setIndent(2);
    ui.StatusBar1->addWidget(m_panel1, 1);

    connect(ui.cmd_close, &QPushButton::clicked, this, &frm_Info::cmd_close_Click);
    tonvola::keyboard::enterPressesFocusedButton(this);
    tonvola::keyboard::escapeCloses(this);

    tonvola::appearance::fitCaptions(this);
    setFixedSize(size());
}

QString frm_Info::versionLine(const QString &version)
{
    const QVersionNumber number = QVersionNumber::fromString(version);
    return QStringLiteral("Version %1.%2.%3")
        .arg(number.majorVersion())
        .arg(number.minorVersion())
        .arg(number.microVersion());
}

void frm_Info::setVisible(bool visible)
{
    if (visible)
        Form_Load();
    QDialog::setVisible(visible);
}

void frm_Info::Form_Load()
{
    m_panel1->setText(versionLine(QStringLiteral(TONVOLA_VERSION)));
}

void frm_Info::cmd_close_Click()
{
    close();
}
