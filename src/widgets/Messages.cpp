#include "widgets/Messages.h"

#include <QApplication>
#include <QMessageBox>

namespace tonvola::messages {

namespace {

QMessageBox::StandardButton run(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, QApplication::applicationName(), text, buttons, parent);
    box.setObjectName(QStringLiteral("TonvolaMessage"));
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::Ok);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

bool askOkCancel(QWidget *parent, const QString &question)
{
    return run(parent, QMessageBox::NoIcon, question, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
           == QMessageBox::Ok;
}

void inform(QWidget *parent, const QString &text)
{
    run(parent, QMessageBox::NoIcon, text, QMessageBox::Ok, QMessageBox::Ok);
}

void warn(QWidget *parent, const QString &text)
{
    run(parent, QMessageBox::Warning, text, QMessageBox::Ok, QMessageBox::Ok);
}

} // namespace tonvola::messages
