// The four windows as a user meets them, how they open and close, and the program's end.

#include "TestSupport.h"

#include "app/MainWindowPictures.h"
#include "app/frm_Start.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"
#include "widgets/Appearance.h"
#include "widgets/DirListBox.h"
#include "widgets/DriveListBox.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QStatusBar>
#include <QStyle>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <functional>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

using testsupport::names;

namespace {

const QColor windowBlue(0x80, 0x80, 0xFF);

// Layout values are in twips, 15 to a pixel.
QRect pixels(const QRect &twips)
{
    return {qRound(twips.x() / 15.0), qRound(twips.y() / 15.0), qRound(twips.width() / 15.0),
            qRound(twips.height() / 15.0)};
}

// A horizontal line from (x1, y) to (x2, y), one pixel high.
QRect line(int x1, int y, int x2)
{
    return {x1, y, x2 - x1, 15};
}

// The words a caption shows: its mnemonic's marker is no letter of it.
QString visible(QString text)
{
    static const QRegularExpression marker(u"&(.)"_s);
    return text.replace(marker, u"\\1"_s);
}

QString caption(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return visible(button->text());
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return visible(label->text());
    if (const auto *frame = qobject_cast<const QGroupBox *>(widget))
        return visible(frame->title());
    return {};
}

bool isLine(const QWidget *widget)
{
    const auto *frame = qobject_cast<const QFrame *>(widget);
    return frame && frame->frameShape() == QFrame::HLine;
}

std::unique_ptr<QWidget> makeWindow(const QString &name)
{
    if (name == QLatin1String("frm_Start"))
        return std::make_unique<frm_Start>();
    if (name == QLatin1String("frm_config"))
        return std::make_unique<frm_config>();
    if (name == QLatin1String("frm_Info"))
        return std::make_unique<frm_Info>();
    if (name == QLatin1String("frm_Help"))
        return std::make_unique<frm_Help>(tonvola::help::renderPictures());
    return {};
}

// The client area: below the menu bar where the window has one; a page that scrolls where the
// screen is small keeps its laid-out size.
QSize clientSize(QWidget *window)
{
    if (auto *main = qobject_cast<QMainWindow *>(window)) {
        if (const auto *page = qobject_cast<QScrollArea *>(main->centralWidget()))
            return page->widget()->size();
        return main->centralWidget()->size();
    }
    QSize size = window->size();
    if (auto *menuBar = window->findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly))
        size.rheight() -= menuBar->height();
    return size;
}

// The menu bar as a screen reader reaches it, one line per menu and indented entries: the words
// read out and the keys announced for each, with every deviation from a plain entry spelled out,
// so that one comparison shows the whole tree.
QStringList menuTree(QWidget *window)
{
    QStringList tree;
    auto *menuBar = window->findChild<QMenuBar *>();
    if (!menuBar)
        return tree;
    const std::function<void(QAccessibleInterface *, const QString &)> walk = [&](QAccessibleInterface *menu,
                                                                                  const QString &indent) {
        for (int i = 0; i < menu->childCount(); ++i) {
            QAccessibleInterface *item = menu->child(i);
            const auto *action = qobject_cast<const QAction *>(item->object());
            if (!action || action->isSeparator()) {
                tree << indent + u"separator"_s;
                continue;
            }
            QString text = (action->menu() ? action->menu()->objectName() : action->objectName()) + u" \""_s
                           + item->text(QAccessible::Name) + u"\" "_s + item->text(QAccessible::Accelerator);
            if (item->state().disabled)
                text += u" disabled"_s;
            if (item->state().checkable)
                text += u" checkable"_s;
            tree << indent + text;
            if (item->childCount() == 1)
                walk(item->child(0), indent + u"  "_s);
        }
    };
    walk(QAccessible::queryAccessibleInterface(menuBar), QString());
    return tree;
}

// The named controls in the order the keyboard's Tab visits them.
QStringList focusChainOrder(QWidget *window, const QStringList &names)
{
    QStringList order;
    QWidget *widget = window;
    do {
        if (names.contains(widget->objectName()) && !order.contains(widget->objectName()))
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget && widget != window);
    return order;
}

// The named controls in the order a screen reader walks the window's accessible tree.
QStringList accessibleOrder(QWidget *window, const QStringList &names)
{
    QStringList order;
    const std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
        if (node->object() && names.contains(node->object()->objectName()))
            order << node->object()->objectName();
        for (int i = 0; i < node->childCount(); ++i) {
            if (QAccessibleInterface *child = node->child(i);
                child && child->object() && child->object()->isWidgetType())
                walk(child);
        }
    };
    walk(QAccessible::queryAccessibleInterface(window));
    return order;
}

QList<QWidget *> openWindowsOf(const char *className)
{
    QList<QWidget *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits(className) && widget->isVisible())
            found << widget;
    }
    return found;
}

// Presses keys as a user would, each where the keyboard's input goes at that moment: an open menu,
// else the focus. "Alt" is a tap on Alt alone.
void press(QWidget *window, const QStringList &keys)
{
    for (const QString &key : keys) {
        QWidget *target = QApplication::activePopupWidget();
        if (!target)
            target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        if (key == "Alt"_L1) {
            QTest::keyPress(target, Qt::Key_Alt, Qt::AltModifier);
            QTest::keyRelease(target, Qt::Key_Alt, Qt::AltModifier);
        } else {
            QTest::keySequence(target, QKeySequence(key));
        }
    }
}

[[nodiscard]] bool choose(QWidget *window, const QString &actionName)
{
    auto *action = window->findChild<QAction *>(actionName);
    if (!action)
        return false;
    action->trigger();
    return true;
}

QLabel *statusPanel(QWidget *window)
{
    return window->findChild<QLabel *>(u"StatusPanel1"_s);
}

// What a screen reader says for a control: the labels that name it, then its own name, value and
// description.
QString announced(QWidget *control)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
    if (!iface)
        return {};
    QStringList parts;
    const auto labels = iface->relations(QAccessible::Label);
    for (const auto &[label, relation] : labels)
        parts << label->text(QAccessible::Name);
    const QString name = iface->text(QAccessible::Name);
    const QString value = iface->text(QAccessible::Value);
    parts << name << (value == name ? QString() : value) << iface->text(QAccessible::Description);
    parts.removeAll(QString());
    return parts.join(QLatin1String(" | "));
}

qreal luminance(const QColor &colour)
{
    const auto channel = [](qreal c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

qreal contrast(const QColor &a, const QColor &b)
{
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The text and background roles the style paints a control's text with.
QList<std::pair<QPalette::ColorRole, QPalette::ColorRole>> textRoles(const QWidget *widget)
{
    using P = QPalette;
    if (qobject_cast<const QAbstractItemView *>(widget) || qobject_cast<const QMenu *>(widget))
        return {{P::Text, P::Base}, {P::HighlightedText, P::Highlight}};
    if (qobject_cast<const QMenuBar *>(widget))
        return {{P::ButtonText, P::Window}, {P::HighlightedText, P::Highlight}};
    if (qobject_cast<const QPushButton *>(widget) || qobject_cast<const QComboBox *>(widget))
        return {{P::ButtonText, P::Button}};
    if (qobject_cast<const QLabel *>(widget) || qobject_cast<const QGroupBox *>(widget)
        || qobject_cast<const QStatusBar *>(widget))
        return {{P::WindowText, P::Window}};
    return {};
}

// The room a label's text covers with ink, drawn in its font at the screen's pixel ratio
// without the label's edges to cut it.
QSize inkSize(const QLabel *label, const QSize &room)
{
    const qreal ratio = label->devicePixelRatioF();
    const QSize canvas(room.width() * 3, room.height() * 3);
    QImage image(canvas * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setFont(label->font());
        const int width = label->wordWrap() ? room.width() : canvas.width();
        painter.drawText(QRect(0, 0, width, canvas.height()),
                         Qt::AlignLeft | Qt::AlignTop | (label->wordWrap() ? Qt::TextWordWrap : 0),
                         visible(label->text()));
    }
    QRect ink;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 0)
                ink |= QRect(x, y, 1, 1);
        }
    }
    return {qCeil((ink.right() + 1) / ratio), qCeil((ink.bottom() + 1) / ratio)};
}

// Why a label's or button's caption does not show whole in its box; empty when it does.
QString cutCaption(QWidget *widget)
{
    QString text;
    bool whole = true;
    if (auto *label = qobject_cast<QLabel *>(widget); label && label->pixmap().isNull()) {
        text = visible(label->text());
        const QSize room = label->contentsRect().size() - QSize(std::max(label->indent(), 0), 0);
        const QSize ink = inkSize(label, room);
        whole = ink.width() <= room.width() && ink.height() <= room.height();
    } else if (auto *button = qobject_cast<QPushButton *>(widget)) {
        text = visible(button->text());
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        whole = button->fontMetrics().horizontalAdvance(text) + 2 * margin <= button->width();
    }
    return whole ? QString() : text;
}

} // namespace

class tst_windows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void controls_data();
    void controls();
    void windows_data();
    void windows();
    void tabOrder_data();
    void tabOrder();
    void tabVisitsVisibleControls_data();
    void tabVisitsVisibleControls();
    void menus_data();
    void menus();
    void fonts_data();
    void fonts();
    void infoLinesAreGrey();

    void oneWindowPerOpening_data();
    void oneWindowPerOpening();
    void beendenLeavesHelpOpenUntilItCloses();
    void versionLine_data();
    void versionLine();
    void infoWindowShowsVersionAgainOnEveryOpening();
    void ownCloseControlEndsTheWindow_data();
    void ownCloseControlEndsTheWindow();
    void helpPicturesShowTheMainWindow_data();
    void helpPicturesShowTheMainWindow();
    void screenReaderNames_data();
    void screenReaderNames();
    void readableUnderAnyPalette_data();
    void readableUnderAnyPalette();
    void wholeAndSharpAtEveryScale_data();
    void wholeAndSharpAtEveryScale();
    void artworkIsLinkedIn_data();
    void artworkIsLinkedIn();

private:
    QWidget *cached(const QString &name);

    // config.dat is read from the working folder; an empty one means no stored folders.
    testsupport::WorkFolder m_workDir;
    std::map<QString, std::unique_ptr<QWidget>> m_windows;
};

void tst_windows::initTestCase()
{
    QVERIFY(m_workDir.valid());
}

void tst_windows::cleanupTestCase()
{
    m_windows.clear();
}

void tst_windows::cleanup()
{
    QSet<QWidget *> keep;
    for (const auto &[name, window] : m_windows)
        keep.insert(window.get());
    // Deleting a window deletes its menus, which are top-level widgets too: collect first.
    QList<QPointer<QWidget>> windows;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (keep.contains(widget))
            continue;
        if (widget->inherits("frm_Start") || widget->inherits("frm_config") || widget->inherits("frm_Info")
            || widget->inherits("frm_Help"))
            windows << widget;
    }
    for (const QPointer<QWidget> &window : std::as_const(windows))
        delete window.data();
}

QWidget *tst_windows::cached(const QString &name)
{
    std::unique_ptr<QWidget> &window = m_windows[name];
    if (!window)
        window = makeWindow(name);
    return window.get();
}

void tst_windows::controls_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("count");
    const auto row = [](const char *window, const char *name, const char *kind, const QString &caption,
                        const QRect &twips, const char *container, const QString &toolTip = {}, bool hidden = false,
                        int count = 1) {
        QTest::addRow("%s/%s", window, name)
            << QString::fromLatin1(window) << QString::fromLatin1(name) << QByteArray(kind) << caption << twips
            << QString::fromLatin1(container) << toolTip << hidden << count;
    };
    const char *c = "centralwidget";

    row("frm_Start", "cmd_mix", "QPushButton", u">> Tonvola >>"_s, {3360, 2040, 2535, 375}, c,
        QStringLiteral(
            "Kopiert Mp3s in Ihr Mp3 Player Verzeichnis.  Einfach auf Tonvola klicken und schon gehts los."));
    row("frm_Start", "Drive1", "DriveListBox", {}, {360, 1560, 2655, 315}, c);
    row("frm_Start", "Dir1", "DirListBox", {}, {360, 1920, 2655, 1665}, c);
    row("frm_Start", "Drive2", "DriveListBox", {}, {6240, 1560, 2655, 315}, c);
    row("frm_Start", "Dir2", "DirListBox", {}, {6240, 1920, 2655, 1665}, c, u"Verzeichnis des Mp3Players auswählen!"_s);
    row("frm_Start", "File1", "FileListBox", {}, {360, 3600, 2655, 1455}, c, u"Mit Doppelklick abspielen!"_s, true);
    row("frm_Start", "File2", "FileListBox", {}, {6240, 3600, 2655, 1455}, c, u"Mit Doppelklick abspielen"_s, true);
    row("frm_Start", "MediaPlayer1", "MediaPlayerWidget", {}, {240, 5400, 4455, 615}, c, {}, true);
    row("frm_Start", "MP", "QLabel", u"Mp3 Player Verzeichnis auswählen"_s, {6240, 1200, 2535, 255}, c);
    row("frm_Start", "Label1", "QLabel", u"Top MP3 StammVerzeichnis auswählen:"_s, {360, 1080, 2655, 375}, c);
    row("frm_Start", "Label2", "QLabel", u"Tonvola 2004 für MP3-Player"_s, {840, 240, 7215, 615}, c);
    row("frm_Start", "Status1", "QProgressBar", {}, {3240, 4800, 2775, 255}, c, {}, true);
    row("frm_Start", "StatusBar1", "QStatusBar", {}, {0, 6360, 9315, 300}, c);
    row("frm_Start", "Picture1", "QLabel", {}, {3960, 2520, 1260, 1050}, c);
    row("frm_Start", "Line1", "QFrame", {}, line(0, 0, 9360), c);

    const char *i = "frm_Info";
    row(i, "Label1", "QLabel", u"Tonvola 2004"_s, {120, 120, 2895, 615}, i);
    row(i, "Picture1", "QLabel", {}, {360, 1200, 735, 735}, i);
    row(i, "Frame1", "QGroupBox", u"Entwicklung"_s, {1560, 1080, 3015, 1095}, i);
    row(i, "Label2", "QLabel", u"Dieses Progrmm wurde am 04.06.2004 von Ulmarin geschrieben."_s, {240, 360, 2655, 615},
        "Frame1");
    row(i, "cmd_close", "QPushButton", u"Schließen"_s, {3840, 3120, 1335, 375}, i);
    row(i, "Picture2", "QLabel", {}, {120, 3120, 450, 360}, i);
    row(i, "Label3", "QLabel", u"tonvola@example.org"_s, {600, 3120, 2415, 375}, i);
    row(i, "StatusBar1", "QStatusBar", {}, {0, 3600, 5355, 255}, i);
    row(i, "Line1", "QFrame", {}, line(0, 0, 5564), i, {}, false, 2);

    const char *h = "frm_Help";
    const char *f = "Frame1";
    row(h, "Frame1", "QGroupBox", u"Aufbau"_s, {480, 120, 4815, 8415}, c);
    row(h, "Label4", "QLabel", u"(1)"_s, {240, 240, 375, 375}, f);
    row(h, "Label1", "QLabel",
        QStringLiteral("StammVerzeichnis = Verzeichnis wo sich Ihre MP3 befinden. Achtung unterverzeichnisse werden "
                       "nicht berücksichtigt."),
        {480, 720, 3975, 1095}, f);
    row(h, "Line1", "QFrame", {}, line(360, 3600, 4560), f);
    row(h, "Label5", "QLabel", u"(2)"_s, {240, 3720, 375, 255}, f);
    row(h, "Label2", "QLabel",
        QStringLiteral("MP3 Player Verzeichnis = Zielverzeichnis. Hier werden zufällig Mp3s aus ihrem "
                       "StammVerzeichnis hinkopiert. Dieses Verzeichnis ist oft ein Wechselmedium wie SD, CF-Karten "
                       "oder direkt ihr  USB Stick."),
        {480, 4080, 3735, 1215}, f);
    row(h, "Line2", "QFrame", {}, line(360, 6600, 4560), f);
    row(h, "Label6", "QLabel", u"(3)"_s, {240, 6720, 375, 255}, f);
    row(h, "Label3", "QLabel",
        QStringLiteral("Tonvola 2004 Button = Start. Achtung: Während des kopieren wird das Fenster gesperrt. Je "
                       "nach Größe des Speichermediums kann es zu Verzögerungen beim Kopieren kommen."),
        {480, 7080, 3855, 975}, f);
    row(h, "Line3", "QFrame", {}, line(360, 8280, 4560), f);
    row(h, "Line4", "QFrame", {}, line(0, 0, 9960), c);
    row(h, "Image1", "QLabel", {}, {5400, 240, 2220, 3420}, c);
    row(h, "Image2", "QLabel", {}, {5400, 3720, 2175, 3000}, c);
    row(h, "Image3", "QLabel", {}, {5400, 6720, 2160, 1755}, c);

    const char *k = "frm_config";
    row(k, "Drive1", "DriveListBox", {}, {360, 1200, 2295, 315}, c);
    row(k, "Dir1", "DirListBox", {}, {360, 1680, 2295, 2115}, c);
    row(k, "Drive2", "DriveListBox", {}, {2880, 1200, 2295, 315}, c);
    row(k, "Dir2", "DirListBox", {}, {2880, 1680, 2295, 2115}, c);
    // Where the file goes depends on the folder Tonvola was started in.
    row(k, "cmd_save", "QPushButton", u"Speichern"_s, {4080, 4080, 1695, 375}, c,
        u"Speichert die beiden Verzeichnisse in %1"_s.arg(
            QDir::toNativeSeparators(m_workDir.filePath(u"config.dat"_s))));
    row(k, "Label1", "QLabel",
        QStringLiteral("Bitte wählen Sie ihr Standart Verzeichnis für die Top MP3 Liste und das Verzeichnis des MP3 "
                       "Players."),
        {480, 240, 4695, 615}, c);
    row(k, "Line1", "QFrame", {}, line(0, 0, 6000), c);
}

// Each control: its kind, caption and tooltip letter for letter, place in its container,
// visibility at start and colour; controls without text carry a name for screen readers.
void tst_windows::controls()
{
    QFETCH(QString, window);
    QFETCH(QString, name);
    QFETCH(QByteArray, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QString, container);
    QFETCH(QString, toolTip);
    QFETCH(bool, hidden);
    QFETCH(int, count);

    QWidget *form = cached(window);
    QVERIFY(form);
    const QList<QWidget *> controls = form->findChildren<QWidget *>(name);
    QCOMPARE(controls.size(), count);
    for (const QWidget *control : controls) {
        QVERIFY2(control->inherits(kind.constData()), control->metaObject()->className());
        QCOMPARE(::caption(control), caption);
        QCOMPARE(control->toolTip(), toolTip);
        QCOMPARE(control->geometry(), pixels(twips));
        if (!container.isEmpty())
            QCOMPARE(control->parentWidget()->objectName(), container);
        QCOMPARE(control->isHidden(), hidden);
        if (qobject_cast<const QLabel *>(control) || qobject_cast<const QGroupBox *>(control))
            QCOMPARE(control->palette().color(QPalette::Window), windowBlue);
        if (caption.isEmpty() && !isLine(control))
            QVERIFY2(!control->accessibleName().isEmpty(), "a control without text needs an accessible name");
    }
}

// Title, client area and border of each window, as the user sees it once shown.
void tst_windows::windows_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("clientTwips");
    QTest::addColumn<bool>("resizable");
    QTest::addColumn<bool>("icon"); // only the main window carries the program's icon

    QTest::newRow("frm_Start") << u"frm_Start"_s << u"Tonvola"_s << QSize(9315, 6660) << false << true;
    QTest::newRow("frm_Info") << u"frm_Info"_s << u"Info zu Tonvola"_s << QSize(5355, 3855) << false << false;
    QTest::newRow("frm_Help") << u"frm_Help"_s << u"Hilfe"_s << QSize(9975, 8835) << true << false;
    QTest::newRow("frm_config") << u"frm_config"_s << u"Konfiguration"_s << QSize(5940, 4560) << false << false;
}

void tst_windows::windows()
{
    QFETCH(QString, window);
    QFETCH(QString, title);
    QFETCH(QSize, clientTwips);
    QFETCH(bool, resizable);
    QFETCH(bool, icon);

    const std::unique_ptr<QWidget> form = makeWindow(window);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    QCOMPARE(form->windowTitle(), title);
    QCOMPARE(clientSize(form.get()), QSize(clientTwips.width() / 15, clientTwips.height() / 15));
    QCOMPARE(form->palette().color(QPalette::Window), windowBlue);
    const Qt::WindowFlags flags = form->windowFlags();
    QCOMPARE(bool(flags & Qt::WindowMinimizeButtonHint), resizable);
    QCOMPARE(bool(flags & Qt::WindowMaximizeButtonHint), resizable);
    QCOMPARE(form->minimumSize() != form->maximumSize(), resizable);
    QCOMPARE(!form->windowIcon().isNull(), icon);
    QCOMPARE(!form->windowHandle()->icon().isNull(), icon);
    // Which config.dat the menu reads and writes depends on where Tonvola was started.
    if (window == u"frm_Start"_s)
        QCOMPARE(form->findChild<QAction *>(u"mnuConfig"_s)->toolTip(),
                 u"Die beiden Verzeichnisse werden in %1 gelesen und gespeichert."_s.arg(
                     QDir::toNativeSeparators(m_workDir.filePath(u"config.dat"_s))));
}

void tst_windows::tabOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("frm_Start") << u"frm_Start"_s << names("cmd_mix|Drive1|Dir1|Drive2|Dir2|File1|File2|MediaPlayer1");
    QTest::newRow("frm_Info") << u"frm_Info"_s
                              << names("Label1|Picture1|Frame1|Label2|cmd_close|Picture2|Label3|StatusBar1");
    QTest::newRow("frm_Help") << u"frm_Help"_s << names("Frame1|Label4|Label1|Label5|Label2|Label6|Label3");
    QTest::newRow("frm_config") << u"frm_config"_s << names("Drive1|Dir1|Drive2|Dir2|cmd_save|Label1");
}

// Controls follow each other in the focus chain in their tab order; Tab visits those that take
// focus, and screen readers present the labels and pictures in between in the same order, so that
// the help reads (1), (2), (3).
void tst_windows::tabOrder()
{
    QFETCH(QString, window);
    QFETCH(QStringList, order);
    QCOMPARE(focusChainOrder(cached(window), order), order);
    QCOMPARE(accessibleOrder(cached(window), order), order);
}

// Pressing Tab in the main window visits the visible controls only.
// Pressing Tab visits the visible controls only, in their order, and comes round again.
void tst_windows::tabVisitsVisibleControls_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<bool>("fileListsShown");
    QTest::addColumn<QStringList>("visits");

    const QString start = u"frm_Start"_s;
    QTest::newRow("frm_Start at start") << start << false << names("cmd_mix|Drive1|Dir1|Drive2|Dir2|cmd_mix");
    QTest::newRow("frm_Start, file lists shown")
        << start << true << names("cmd_mix|Drive1|Dir1|Drive2|Dir2|File1|File2|cmd_mix");
    QTest::newRow("frm_config") << u"frm_config"_s << false << names("Drive1|Dir1|Drive2|Dir2|cmd_save|Drive1");
}

void tst_windows::tabVisitsVisibleControls()
{
    QFETCH(QString, window);
    QFETCH(bool, fileListsShown);
    QFETCH(QStringList, visits);

    const std::unique_ptr<QWidget> form = makeWindow(window);
    if (fileListsShown) {
        form->findChild<QWidget *>(u"File1"_s)->show();
        form->findChild<QWidget *>(u"File2"_s)->show();
    }
    form->show();
    QApplication::setActiveWindow(form.get());
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    QStringList visited{QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString()};
    while (visited.size() < visits.size()) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    QCOMPARE(visited, visits);
}

void tst_windows::menus_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("tree");

    // Each menu and entry has a letter of its own; the commands used most have keys besides.
    QTest::newRow("frm_Start")
        << u"frm_Start"_s
        << names("mnuDatei \"Datei\" Alt+D|  mnutonvola \"Tonvola starten\" Alt+T|"
                 "  mnuclear \"Clear PlayerVerzeichnis\" Alt+C|  mnuDelete \"Löschen\" Del|"
                 "  mnuClose \"Beenden\" Ctrl+Q|mnuWiedergabe \"Wiedergabe\" Alt+W|"
                 "  mnuPlay \"Play\" Alt+P|  mnuStop \"Stop\" Alt+S|mnuExtras \"Extras\" Alt+E|"
                 "  mnuConfig \"Konfiguration\" Alt+K|  mnuSubfolders \"Unterordner einbeziehen\" Alt+U checkable|"
                 "  mnuExchange \"Austausch je Lauf …\" "
                 "Alt+A|  mnuEject \"Player auswerfen\" Alt+P|mnuInfo \"?\" Alt+?|  mnuHelp \"Hilfe\" F1|"
                 "  mnuInfoTonvola \"Info zu Tonvola\" Alt+I");
    QTest::newRow("frm_Info") << u"frm_Info"_s << QStringList{};
    QTest::newRow("frm_Help") << u"frm_Help"_s << names("mnuFenster \"Fenster\" Alt+F|  mnuClose \"Schließen\" Alt+S");
    QTest::newRow("frm_config") << u"frm_config"_s
                                << names("mnuDatei \"Datei\" Alt+D|  mnuSave \"Speichern\" Alt+S|"
                                         "  mnuClose \"Schließen\" Alt+c");
}

void tst_windows::menus()
{
    QFETCH(QString, window);
    QFETCH(QStringList, tree);
    QCOMPARE(menuTree(cached(window)), tree);
}

void tst_windows::fonts_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("pointSize");

    QTest::newRow("frm_Start/Label2") << u"frm_Start"_s << u"Label2"_s << 21.75;
    QTest::newRow("frm_Info/Label1") << u"frm_Info"_s << u"Label1"_s << 20.25;
    QTest::newRow("frm_Info/Label3") << u"frm_Info"_s << u"Label3"_s << 12.0;
}

// The headings and the contact line stand out: large, bold and underlined.
void tst_windows::fonts()
{
    QFETCH(QString, window);
    QFETCH(QString, name);
    QFETCH(qreal, pointSize);

    const auto *label = cached(window)->findChild<QLabel *>(name);
    QVERIFY(label);
    QCOMPARE(label->font().pointSizeF(), pointSize);
    QVERIFY(label->font().bold());
    QVERIFY(label->font().underline());
}

void tst_windows::infoLinesAreGrey()
{
    const QList<QFrame *> lines = cached(u"frm_Info"_s)->findChildren<QFrame *>(u"Line1"_s);
    QCOMPARE(lines.size(), 2);
    for (const QFrame *frame : lines)
        QCOMPARE(frame->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
}

void tst_windows::oneWindowPerOpening_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("windowClass");
    // Keys that open it the first time; none: the menu entry is chosen.
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("Hilfe") << u"mnuHelp"_s << QByteArray("frm_Help") << QStringList();
    QTest::newRow("Hilfe, F1") << u"mnuHelp"_s << QByteArray("frm_Help") << names("F1");
    QTest::newRow("Info zu Tonvola") << u"mnuInfoTonvola"_s << QByteArray("frm_Info") << QStringList();
    QTest::newRow("Info zu Tonvola, Alt+? and I") << u"mnuInfoTonvola"_s << QByteArray("frm_Info") << names("Alt+?|I");
    QTest::newRow("Info zu Tonvola, a tap on Alt and the arrows")
        << u"mnuInfoTonvola"_s << QByteArray("frm_Info") << names("Alt|Right|Right|Right|Down|Down|Return");
    QTest::newRow("Konfiguration") << u"mnuConfig"_s << QByteArray("frm_config") << QStringList();
    QTest::newRow("Konfiguration, F10 and the arrows")
        << u"mnuConfig"_s << QByteArray("frm_config") << names("F10|Right|Right|Return");
    QTest::newRow("Konfiguration, Alt+E and K") << u"mnuConfig"_s << QByteArray("frm_config") << names("Alt+E|K");
}

// The menus' commands are reached by mouse and by keyboard. A second opening brings the same
// window to the front instead of opening another one.
void tst_windows::oneWindowPerOpening()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, windowClass);
    QFETCH(QStringList, keys);

    auto *main = new frm_Start;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));

    if (keys.isEmpty()) {
        QVERIFY(choose(main, action));
    } else {
        QVERIFY(QTest::qWaitForWindowActive(main));
        press(main, keys);
    }
    const QList<QWidget *> first = openWindowsOf(windowClass.constData());
    QCOMPARE(first.size(), 1);
    QTRY_COMPARE(QApplication::activeWindow(), first.first());

    // The configuration window locks the main window, so its menu cannot open a second one.
    if (windowClass == "frm_config") {
        QVERIFY(!main->isEnabled());
        first.first()->close();
        QTRY_VERIFY(main->isEnabled());
        main->close();
        return;
    }

    // Another window comes to the front; opening again brings ours back.
    QApplication::setActiveWindow(main);
    QTRY_COMPARE(QApplication::activeWindow(), main);
    QVERIFY(choose(main, action));
    QCOMPARE(openWindowsOf(windowClass.constData()), first);
    QTRY_COMPARE(QApplication::activeWindow(), first.first());
    QVERIFY(main->isVisible());
}

// "Beenden" (Ctrl+Q) closes the main window only; the program ends when the help window closes too.
void tst_windows::beendenLeavesHelpOpenUntilItCloses()
{
    QVERIFY(QApplication::quitOnLastWindowClosed());
    QPointer<frm_Start> main = new frm_Start;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));

    QPointer<QWidget> help;
    bool helpOpenAfterBeenden = false;
    bool mainGoneAfterBeenden = false;
    QTimer::singleShot(0, this, [&] {
        if (!choose(main, u"mnuHelp"_s))
            return;
        const QList<QWidget *> open = openWindowsOf("frm_Help");
        if (open.size() != 1)
            return;
        help = open.first();
        QApplication::setActiveWindow(main);
        press(main, {u"Ctrl+Q"_s});
        QTimer::singleShot(0, this, [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            mainGoneAfterBeenden = main.isNull();
            helpOpenAfterBeenden = help && help->isVisible();
            if (help)
                (void)choose(help, u"mnuClose"_s);
        });
    });
    // Only a program that would never end meets this guard.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
    guard.start(20000);
    QSignalSpy lastWindowClosed(qApp, &QGuiApplication::lastWindowClosed);

    const int exitCode = QApplication::exec();

    QVERIFY(mainGoneAfterBeenden);
    QVERIFY(helpOpenAfterBeenden);
    QCOMPARE(exitCode, 0);
    QCOMPARE(lastWindowClosed.count(), 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(help.isNull());
}

void tst_windows::versionLine_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("line");

    QTest::newRow("this build") << QStringLiteral(TONVOLA_VERSION) << u"Version 1.0.15"_s;
    QTest::newRow("leading zeros") << u"1.00.0015"_s << u"Version 1.0.15"_s;
    QTest::newRow("no revision") << u"2.3"_s << u"Version 2.3.0"_s;
    QTest::newRow("large numbers") << u"10.20.300"_s << u"Version 10.20.300"_s;
}

void tst_windows::versionLine()
{
    QFETCH(QString, version);
    QFETCH(QString, line);
    QCOMPARE(frm_Info::versionLine(version), line);
}

void tst_windows::infoWindowShowsVersionAgainOnEveryOpening()
{
    frm_Start main;
    main.show();
    QVERIFY(choose(&main, u"mnuInfoTonvola"_s));
    const QList<QWidget *> open = openWindowsOf("frm_Info");
    QCOMPARE(open.size(), 1);
    QLabel *panel = statusPanel(open.first());
    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->text(), u"Version 1.0.15"_s);

    panel->clear();
    QVERIFY(choose(&main, u"mnuInfoTonvola"_s));
    QCOMPARE(openWindowsOf("frm_Info"), open);
    QCOMPARE(panel->text(), u"Version 1.0.15"_s);
}

void tst_windows::ownCloseControlEndsTheWindow_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("windowClass");
    QTest::addColumn<QString>("closer");

    QTest::newRow("Info: Schließen button") << u"mnuInfoTonvola"_s << QByteArray("frm_Info") << u"cmd_close"_s;
    QTest::newRow("Info: Enter on Schließen") << u"mnuInfoTonvola"_s << QByteArray("frm_Info") << u"Enter"_s;
    QTest::newRow("Info: Esc") << u"mnuInfoTonvola"_s << QByteArray("frm_Info") << u"Esc"_s;
    QTest::newRow("Hilfe: Fenster/Schließen") << u"mnuHelp"_s << QByteArray("frm_Help") << u"mnuClose"_s;
    QTest::newRow("Hilfe: Esc") << u"mnuHelp"_s << QByteArray("frm_Help") << u"Esc"_s;
}

// The window's own close control, or Esc, ends it, the main window stays, and the next opening
// makes a new one. Esc in the main window, with no fill running, does nothing.
void tst_windows::ownCloseControlEndsTheWindow()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, windowClass);
    QFETCH(QString, closer);

    frm_Start main;
    main.show();
    QVERIFY(choose(&main, action));
    const QList<QWidget *> open = openWindowsOf(windowClass.constData());
    QCOMPARE(open.size(), 1);
    const QPointer<QWidget> window = open.first();
    if (closer == "Esc"_L1) {
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Escape);
    } else if (closer == "Enter"_L1) {
        auto *button = window->findChild<QPushButton *>(u"cmd_close"_s);
        QVERIFY(testsupport::tabTo(button));
        QTest::keyClick(button, Qt::Key_Return);
    } else if (auto *button = window->findChild<QPushButton *>(closer)) {
        QTest::mouseClick(button, Qt::LeftButton);
    } else {
        QVERIFY(choose(window, closer));
    }
    QVERIFY(openWindowsOf(windowClass.constData()).isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
    QVERIFY(main.isVisible());
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    QTest::keyClick(&main, Qt::Key_Escape);
    QVERIFY(main.isVisible());

    QVERIFY(choose(&main, action));
    QCOMPARE(openWindowsOf(windowClass.constData()).size(), 1);
}

void tst_windows::helpPicturesShowTheMainWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    QTest::newRow("source pane") << u"Image1"_s << QSize(196, 284);
    QTest::newRow("player pane") << u"Image2"_s << QSize(193, 280);
    QTest::newRow("start button") << u"Image3"_s << QSize(152, 133);
}

// Each picture has its own size, is stretched into its box and shows a piece of the main
// window: its blue and the lists' and button's own colours, not an empty area.
void tst_windows::helpPicturesShowTheMainWindow()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);

    const auto *image = cached(u"frm_Help"_s)->findChild<QLabel *>(name);
    QVERIFY(image);
    QVERIFY(image->hasScaledContents());
    const QPixmap pixmap = image->pixmap();
    QCOMPARE(pixmap.deviceIndependentSize().toSize(), size);
    const QImage picture = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            colours.insert(picture.pixel(x, y));
    }
    QVERIFY(colours.contains(windowBlue.rgb()));
    QVERIFY2(colours.size() > 20, "the picture is nearly a single colour");
}

void tst_windows::screenReaderNames_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("announced");
    QTest::addColumn<QAccessible::Role>("role");

    const auto row = [](const char *window, const char *name, const QString &announced) {
        const QByteArray kind = QByteArray(name).left(3);
        const QAccessible::Role role = kind == "Dri"   ? QAccessible::ComboBox
                                       : kind == "Dir" ? QAccessible::Tree
                                                       : QAccessible::List;
        QTest::addRow("%s/%s", window, name)
            << QString::fromLatin1(window) << QString::fromLatin1(name) << announced << role;
    };
    // A drive list says what it is for, then the drive it shows.
    row("frm_Start", "Drive1", u"Top MP3 StammVerzeichnis auswählen: | Laufwerk StammVerzeichnis | /"_s);
    row("frm_Start", "Drive2", u"Mp3 Player Verzeichnis auswählen | Laufwerk Mp3 Player | /"_s);
    row("frm_Start", "Dir1", u"Ordner des StammVerzeichnisses"_s);
    row("frm_Start", "Dir2", u"Ordner des Mp3 Player Verzeichnisses"_s);
    row("frm_Start", "File1", u"MP3-Dateien des StammVerzeichnisses"_s);
    row("frm_Start", "File2", u"MP3-Dateien des Mp3 Player Verzeichnisses"_s);
    row("frm_config", "Drive1",
        QStringLiteral("Bitte wählen Sie ihr Standart Verzeichnis für die Top MP3 Liste und das Verzeichnis des MP3 "
                       "Players. | Laufwerk des Standard-StammVerzeichnisses | /"));
    row("frm_config", "Drive2", u"Laufwerk des Standard-Mp3-Player-Verzeichnisses | /"_s);
    row("frm_config", "Dir1", u"Standard-StammVerzeichnis"_s);
    row("frm_config", "Dir2", u"Standard-Mp3-Player-Verzeichnis"_s);
    // Screen readers present a window by its role: the info window is a dialog.
    QTest::addRow("frm_Info") << u"frm_Info"_s << QString() << u"Info zu Tonvola"_s << QAccessible::Dialog;
}

void tst_windows::screenReaderNames()
{
    QFETCH(QString, window);
    QFETCH(QString, name);
    QFETCH(QString, announced);
    QFETCH(QAccessible::Role, role);

    auto *control = name.isEmpty() ? cached(window) : cached(window)->findChild<QWidget *>(name);
    QVERIFY(control);
    // The lists show the root folder here, so the drive lists read the same on every machine.
    if (auto *dir = qobject_cast<DirListBox *>(control))
        QVERIFY(dir->setPath(QDir::rootPath()).ok());
    if (auto *drive = qobject_cast<DriveListBox *>(control))
        drive->followFolder(QDir::rootPath());
    QCOMPARE(::announced(control), announced);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(control);
    QCOMPARE(iface->role(), role);
    // A header the list does not show is still read out; it says what the column holds.
    for (int i = 0; i < iface->childCount(); ++i) {
        if (QAccessibleInterface *cell = iface->child(i); cell->role() == QAccessible::ColumnHeader)
            QCOMPARE(cell->text(QAccessible::Name), u"Ordner"_s);
    }
}

void tst_windows::readableUnderAnyPalette_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QPalette>("system");

    const QPalette light = QApplication::style()->standardPalette();
    const QPalette dark(QColor(0x31, 0x36, 0x3B), QColor(0x31, 0x36, 0x3B));
    for (const char *window : {"frm_Start", "frm_config", "frm_Info", "frm_Help"}) {
        QTest::addRow("%s, light desktop", window) << QString::fromLatin1(window) << light;
        QTest::addRow("%s, dark desktop", window) << QString::fromLatin1(window) << dark;
    }
}

// The blue is the program's own, so is the text on it: every text reads at a contrast of at
// least 4.5 : 1, whatever colours the desktop gives, menus and status bar included.
void tst_windows::readableUnderAnyPalette()
{
    QFETCH(QString, window);
    QFETCH(QPalette, system);

    const QPalette before = QApplication::palette();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(before); });
    QApplication::setPalette(system);
    const std::unique_ptr<QWidget> form = makeWindow(window);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    QList<QWidget *> widgets = form->findChildren<QWidget *>();
    widgets.prepend(form.get());
    for (const QWidget *widget : std::as_const(widgets)) {
        for (const auto &[text, background] : textRoles(widget)) {
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                const QColor fore = widget->palette().color(group, text);
                const QColor back = widget->palette().color(group, background);
                const QString why = u"%1 (%2): %3 on %4 is %5 : 1"_s.arg(
                    widget->objectName(), QString::fromLatin1(widget->metaObject()->className()), fore.name(),
                    back.name(), QString::number(contrast(fore, back), 'f', 1));
                QVERIFY2(contrast(fore, back) >= 4.5, qPrintable(why));
            }
        }
    }
}

void tst_windows::wholeAndSharpAtEveryScale_data()
{
    QTest::addColumn<QByteArray>("scale");
    QTest::newRow("1") << QByteArray("1");
    QTest::newRow("1.5") << QByteArray("1.5");
    QTest::newRow("2") << QByteArray("2");
}

// Every caption shows whole in its box, and the help pictures are drawn for the screen's pixels,
// whatever the scale. On a screen 1000 pixels high every window fits the screen; the help's page
// scrolls where it does not. The scale is set when the program starts, so each runs in a program
// of its own.
void tst_windows::wholeAndSharpAtEveryScale()
{
    QFETCH(QByteArray, scale);
    if (qgetenv("QT_SCALE_FACTOR") != scale) {
        QTemporaryDir screens;
        QVERIFY(screens.isValid());
        const QString screen = screens.filePath(u"screen.json"_s);
        QVERIFY(testsupport::writeBytes(screen, R"({"screens": [{"name": "Bildschirm", "x": 0, "y": 0,
            "width": 1600, "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"));
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_SCALE_FACTOR"_s, QString::fromLatin1(scale));
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen:configfile="_s + screen);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {u"wholeAndSharpAtEveryScale:"_s + QString::fromLatin1(QTest::currentDataTag())});
        QVERIFY(child.waitForFinished(120000));
        const QByteArray output = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
        return;
    }

    QStringList cut;
    for (const char *name : {"frm_Start", "frm_config", "frm_Info", "frm_Help"}) {
        const std::unique_ptr<QWidget> form = makeWindow(QString::fromLatin1(name));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QList<QWidget *> widgets = form->findChildren<QWidget *>();
        for (QWidget *widget : widgets) {
            if (!widget->isVisibleTo(form.get()))
                continue;
            if (const QString text = cutCaption(widget); !text.isEmpty())
                cut << QString::fromLatin1(name) + u"/"_s + widget->objectName() + u": "_s + text;
        }
        const QRect available = form->screen()->availableGeometry();
        QVERIFY2(available.contains(form->frameGeometry()), name);
        if (const auto *page = form->findChild<QScrollArea *>()) {
            const QSize shown = page->viewport()->size();
            const QSize laidOut = page->widget()->size();
            QCOMPARE(shown.height() + page->verticalScrollBar()->maximum(), laidOut.height());
            QCOMPARE(shown.width() + page->horizontalScrollBar()->maximum(), laidOut.width());
            QCOMPARE(page->verticalScrollBar()->maximum() > 0, scale == "2");
        }
        const std::pair<const char *, QSize> pictures[] = {
            {"Image1", {196, 284}}, {"Image2", {193, 280}}, {"Image3", {152, 133}}};
        for (const auto &[image, size] : pictures) {
            if (const auto *picture = form->findChild<QLabel *>(QLatin1StringView(image))) {
                QCOMPARE(picture->pixmap().devicePixelRatio(), picture->devicePixelRatioF());
                QCOMPARE(picture->pixmap().deviceIndependentSize().toSize(), size);
            }
        }
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u'\n')));
    QCOMPARE(QApplication::primaryScreen()->devicePixelRatio(), scale.toDouble());
}

void tst_windows::artworkIsLinkedIn_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QTest::newRow("window icon") << u":/tonvola/tonvola.svg"_s << QSize(32, 32);
    QTest::newRow("start picture") << u":/tonvola/picture1.png"_s << QSize(80, 66);
    QTest::newRow("info picture") << u":/tonvola/info-picture1.png"_s << QSize(48, 48);
    QTest::newRow("contact picture") << u":/tonvola/info-picture2.png"_s << QSize(26, 20);
}

// The artwork is compiled into the library; without its explicit initialisation the linker
// would drop it and every window would show empty pictures.
void tst_windows::artworkIsLinkedIn()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    tonvola::appearance::initResources();
    QVERIFY2(QFile::exists(path), qPrintable(path));
    if (path.endsWith(QLatin1String(".svg"))) {
        const QSvgRenderer icon(path);
        QVERIFY(icon.isValid());
        QCOMPARE(icon.defaultSize(), size);
        return;
    }
    const QImage image(path);
    QCOMPARE(image.size(), size);
    QVERIFY2(!image.hasAlphaChannel(), "the bitmaps are opaque 24-bit pictures");
}

QTEST_MAIN(tst_windows)
#include "tst_windows.moc"
