// The helpers of TestSupport.h that work the program's windows.
#include "TestSupport.h"

#include "app/frm_Start.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QTest>
#include <QTimer>

namespace testsupport {

QStringList entriesOf(const QAbstractItemView *list)
{
    QStringList entries;
    const QAbstractItemModel *model = list->model();
    for (int row = 0; model && row < model->rowCount(); ++row)
        entries.append(model->index(row, 0).data().toString());
    return entries;
}

namespace {

QModelIndex entryNamed(const QAbstractItemView *list, const QString &name)
{
    const QAbstractItemModel *model = list->model();
    if (!model)
        return {};
    const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, name, 2, Qt::MatchExactly);
    return found.size() == 1 ? found.first() : QModelIndex();
}

} // namespace

bool clickEntry(QAbstractItemView *list, const QString &name, bool doubleClick)
{
    const QModelIndex entry = entryNamed(list, name);
    if (!entry.isValid())
        return false;
    list->scrollTo(entry);
    const QPoint at = list->visualRect(entry).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (doubleClick) {
        // The window system's order: a click, then a press that arrives as a double-click.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
    return true;
}

bool chooseWithKeys(QAbstractItemView *list, const QString &name)
{
    QTest::keyClick(list, Qt::Key_Home);
    const int rows = list->model() ? list->model()->rowCount() : 0;
    for (int step = 0; step < rows; ++step) {
        const QModelIndex current = list->currentIndex();
        if (current.isValid() && current.data().toString() == name) {
            // Home does not choose the entry that already has the focus; Space does.
            if (!list->selectionModel()->isSelected(current))
                QTest::keyClick(list, Qt::Key_Space);
            return list->selectionModel()->isSelected(current);
        }
        QTest::keyClick(list, Qt::Key_Down);
    }
    return false;
}

bool tabTo(QWidget *control)
{
    QWidget *window = control->window();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window))
        return false;
    for (int presses = 0; presses < 30 && QApplication::focusWidget() != control; ++presses)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, Qt::Key_Tab);
    return QApplication::focusWidget() == control;
}

std::unique_ptr<frm_Start> showStartWindow()
{
    auto window = std::make_unique<frm_Start>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

MessageBoxAnswerer::MessageBoxAnswerer(QMessageBox::StandardButton answer, std::function<void()> whileShown)
{
    auto *timer = new QTimer(qApp);
    timer->setInterval(20);
    std::weak_ptr<bool> alive = m_alive;
    std::shared_ptr<QList<Box>> boxes = m_boxes;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, alive, boxes, answer, whileShown] {
        if (alive.expired()) {
            timer->deleteLater();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("answered").toBool())
            return;
        box->setProperty("answered", true);
        Box seen{box->text(), {}, box->defaultButton() ? box->defaultButton()->text() : QString()};
        for (const QAbstractButton *button : box->buttons())
            seen.buttons.append(button->text());
        seen.buttons.sort();
        boxes->append(seen);
        if (whileShown)
            whileShown();
        if (answer == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Return);
        else if (QAbstractButton *button = box->button(answer))
            button->click();
        else
            box->reject();
    });
    timer->start();
}

MessageBoxAnswerer::~MessageBoxAnswerer() = default;

QStringList MessageBoxAnswerer::texts() const
{
    QStringList result;
    for (const Box &box : std::as_const(*m_boxes))
        result.append(box.text);
    return result;
}

} // namespace testsupport
