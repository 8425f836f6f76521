#pragma once

#include <QLabel>
#include <QString>

// A one-line label that never cuts its text off unseen: what does not fit ends in "…", and the
// tooltip holds all of it.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setFullText(const QString &text);
    [[nodiscard]] QString fullText() const { return m_fullText; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void elide();

    QString m_fullText;
};
