#include "widgets/ElidedLabel.h"

#include <QFontMetrics>
#include <QResizeEvent>

#include <algorithm>

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent)
{
    // It takes the room it is given, not the room its text would like.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void ElidedLabel::setFullText(const QString &text)
{
    m_fullText = text;
    setToolTip(text);
    elide();
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::elide()
{
    const int room = contentsRect().width() - 2 * std::max(indent(), 0);
    setText(fontMetrics().elidedText(m_fullText, Qt::ElideRight, std::max(room, 0)));
}
