#include "widgets/DriveListBox.h"

#include "platform/VolumeWatcher.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QDir>
#include <QScopedValueRollback>
#include <QStorageInfo>

#include <algorithm>

namespace {

// What a screen reader says of a drive list: its own name ("Laufwerk StammVerzeichnis"), then the
// drive it shows. Qt's own combo box gives the drive as its name on Linux, so that both lists of a
// window would read alike, as "/".
class DriveListAccessible : public QAccessibleWidget
{
public:
    explicit DriveListAccessible(QWidget *widget) : QAccessibleWidget(widget, QAccessible::ComboBox) {}

    [[nodiscard]] QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return comboBox()->currentText();
        if (kind == QAccessible::Accelerator)
            return QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(kind);
    }

    // The drop-down list, as in Qt's own combo box.
    [[nodiscard]] int childCount() const override { return 1; }
    [[nodiscard]] QAccessibleInterface *child(int index) const override
    {
        return index == 0 ? QAccessible::queryAccessibleInterface(comboBox()->view()) : nullptr;
    }
    [[nodiscard]] int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() == comboBox()->view() ? 0 : -1;
    }

    [[nodiscard]] QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action != showMenuAction() && action != pressAction())
            return;
        if (comboBox()->view()->isVisible())
            comboBox()->hidePopup();
        else
            comboBox()->showPopup();
    }
    [[nodiscard]] QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    [[nodiscard]] QComboBox *comboBox() const { return static_cast<QComboBox *>(widget()); }
};

QAccessibleInterface *driveListAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("DriveListBox") && object && object->isWidgetType())
        return new DriveListAccessible(static_cast<QWidget *>(object));
    return nullptr;
}

} // namespace

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent)
{
    static const bool accessible = [] {
        QAccessible::installFactory(driveListAccessible);
        return true;
    }();
    Q_UNUSED(accessible);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_folder = QDir::currentPath();
    m_drive = tonvola::fs::volumes::rootOf(m_folder);
    tonvola::fs::VolumeWatcher *watcher = tonvola::fs::VolumeWatcher::instance();
    fill(watcher->volumes());
    connect(watcher, &tonvola::fs::VolumeWatcher::volumesChanged, this, [this, watcher] { fill(watcher->volumes()); });
    connect(this, &QComboBox::currentIndexChanged, this, &DriveListBox::onIndexChanged);
}

QString DriveListBox::drive() const
{
    return m_drive;
}

void DriveListBox::setDrive(const QString &pathOnVolume)
{
    const QString root = tonvola::fs::volumes::rootOf(pathOnVolume);
    ensureListed(root);
    setCurrentIndex(indexOfRoot(root));
}

void DriveListBox::followFolder(const QString &folder)
{
    m_folder = folder;
    m_drive = tonvola::fs::volumes::rootOf(folder);
    ensureListed(m_drive);
    selectDrive();
}

void DriveListBox::refresh()
{
    tonvola::fs::VolumeWatcher *watcher = tonvola::fs::VolumeWatcher::instance();
    watcher->refresh();
    fill(watcher->volumes());
}

void DriveListBox::onIndexChanged(int index)
{
    if (m_filling || index < 0 || index >= m_volumes.size())
        return;
    const QString root = m_volumes.at(index).root;
    if (root == m_drive)
        return;
    m_drive = root;
    {
        const QScopedValueRollback changing(m_changing, true);
        emit driveChanged(root);
    }
    if (m_refillPending) {
        m_refillPending = false;
        fill(tonvola::fs::VolumeWatcher::instance()->volumes());
    }
}

void DriveListBox::fill(const QList<tonvola::fs::Volume> &volumes)
{
    if (m_changing) {
        m_refillPending = true;
        return;
    }
    // A medium pulled out while shown: the folder now lies on the volume that held its mount point.
    if (!tonvola::fs::volumes::isVolumeRoot(m_drive))
        m_drive = tonvola::fs::volumes::rootOf(m_folder);
    if (volumes != m_volumes) {
        const QScopedValueRollback filling(m_filling, true);
        m_volumes = volumes;
        clear();
        for (const tonvola::fs::Volume &volume : std::as_const(m_volumes))
            addItem(volume.displayName());
    }
    ensureListed(m_drive);
    selectDrive();
    fitPopup();
}

void DriveListBox::ensureListed(const QString &root)
{
    if (indexOfRoot(root) >= 0)
        return;
    const tonvola::fs::Volume volume{root, QStorageInfo(root).name()};
    const auto at =
        std::lower_bound(m_volumes.cbegin(), m_volumes.cend(), volume,
                         [](const tonvola::fs::Volume &a, const tonvola::fs::Volume &b) { return a.root < b.root; });
    const auto index = static_cast<int>(at - m_volumes.cbegin());
    const QScopedValueRollback filling(m_filling, true);
    m_volumes.insert(index, volume);
    insertItem(index, volume.displayName());
    fitPopup();
}

void DriveListBox::selectDrive()
{
    const QScopedValueRollback filling(m_filling, true);
    setCurrentIndex(indexOfRoot(m_drive));
}

void DriveListBox::fitPopup()
{
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    view()->setMinimumWidth(widest + 2 * fontMetrics().averageCharWidth() + 16);
}

int DriveListBox::indexOfRoot(const QString &root) const
{
    for (int i = 0; i < m_volumes.size(); ++i) {
        if (m_volumes.at(i).root == root)
            return i;
    }
    return -1;
}
