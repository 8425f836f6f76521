#include "TestSupport.h"

#include "app/frm_Start.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace testsupport {

QString testDataDir()
{
    return QStringLiteral(TONVOLA_TEST_DATA);
}

bool writeFile(const QString &path, qint64 size, char fill)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(64 * 1024, fill);
    qint64 left = size;
    while (left > 0) {
        const qint64 n = std::min<qint64>(left, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return file.flush();
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

QStringList names(const char *list)
{
    return QString::fromUtf8(list).split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

QStringList entriesOf(const QListWidget *list)
{
    QStringList entries;
    for (int row = 0; row < list->count(); ++row)
        entries.append(list->item(row)->text());
    return entries;
}

bool clickEntry(QListWidget *list, const QString &name, bool doubleClick)
{
    const QList<QListWidgetItem *> items = list->findItems(name, Qt::MatchExactly);
    if (items.size() != 1)
        return false;
    list->scrollToItem(items.first());
    const QPoint at = list->visualItemRect(items.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (doubleClick) {
        // The window system's order: a click, then a press that arrives as a double-click.
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
    return true;
}

bool chooseWithKeys(QListWidget *list, const QString &name)
{
    QTest::keyClick(list, Qt::Key_Home);
    for (int step = 0; step < list->count(); ++step) {
        const QListWidgetItem *item = list->currentItem();
        if (item && item->text() == name) {
            // Home does not choose the entry that already has the focus; Space does.
            if (!item->isSelected())
                QTest::keyClick(list, Qt::Key_Space);
            return item->isSelected();
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

WorkFolder::WorkFolder() : m_previous(QDir::currentPath())
{
    m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

WorkFolder::~WorkFolder()
{
    QDir::setCurrent(m_previous);
}

std::unique_ptr<frm_Start> showStartWindow()
{
    auto window = std::make_unique<frm_Start>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

TmpfsMount::TmpfsMount(const QString &options)
{
    if (!m_dir.isValid())
        return;
    m_mounted = QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, options, u"tmpfs"_s, m_dir.path()}) == 0;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        QProcess::execute(u"umount"_s, {u"-l"_s, m_dir.path()});
}

ImmutableFile::ImmutableFile(QString path) : m_path(std::move(path))
{
    m_set = QProcess::execute(u"chattr"_s, {u"+i"_s, m_path}) == 0;
}

ImmutableFile::~ImmutableFile()
{
    if (m_set)
        QProcess::execute(u"chattr"_s, {u"-i"_s, m_path});
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
