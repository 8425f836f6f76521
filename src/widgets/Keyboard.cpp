#include "widgets/Keyboard.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QWidget>

namespace tonvola::keyboard {

namespace {

class EnterClicks : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        auto *button = qobject_cast<QAbstractButton *>(watched);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (!enter || !button || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier)
            return false;
        button->click();
        return true;
    }
};

} // namespace

void enterPressesFocusedButton(QWidget *window)
{
    EnterClicks *filter = nullptr;
    const QList<QAbstractButton *> buttons = window->findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        // A push button does it itself and shows with its frame that Enter will press it.
        if (auto *push = qobject_cast<QPushButton *>(button)) {
            push->setAutoDefault(true);
            continue;
        }
        if (!filter)
            filter = new EnterClicks(window);
        button->installEventFilter(filter);
    }
}

void escapeCloses(QWidget *window)
{
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
}

void menusByKeyboard(QMainWindow *window)
{
    QMenuBar *menus = window->menuBar();
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), window);
    QObject::connect(f10, &QShortcut::activated, menus, [menus] {
        if (!menus->actions().isEmpty())
            menus->setActiveAction(menus->actions().constFirst());
    });
}

} // namespace tonvola::keyboard
