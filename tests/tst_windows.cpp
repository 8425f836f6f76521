// The four windows as a user meets them: controls, captions, geometry, tab order, menus,
// window borders, the single instance of each secondary window, the version line, the help
// pictures, and the program's end when its last window closes.

#include "app/Appearance.h"
#include "app/frm_Start.h"
#include "config/frm_config.h"
#include "info/frm_Help.h"
#include "info/frm_Info.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <map>
#include <memory>

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

QString caption(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
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
        return std::make_unique<frm_Help>();
    return {};
}

// The client area: below the menu bar where the window has one.
QSize clientSize(QWidget *window)
{
    if (auto *main = qobject_cast<QMainWindow *>(window))
        return main->centralWidget()->size();
    QSize size = window->size();
    if (auto *menuBar = window->findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly))
        size.rheight() -= menuBar->height();
    return size;
}

// The menu bar as text, one line per menu and indented entries, with every deviation from
// a plain entry spelled out, so that one comparison shows the whole tree.
QStringList menuTree(QWidget *window)
{
    QStringList tree;
    const auto *menuBar = window->findChild<QMenuBar *>();
    if (!menuBar)
        return tree;
    const auto describe = [](const QAction *action, const QString &name) {
        QString text = name + QLatin1String(" \"") + action->text() + QLatin1Char('"');
        if (!action->isEnabled())
            text += QLatin1String(" disabled");
        if (!action->isVisible())
            text += QLatin1String(" invisible");
        if (action->isCheckable())
            text += QLatin1String(" checkable");
        if (!action->shortcut().isEmpty())
            text += QLatin1String(" shortcut ") + action->shortcut().toString();
        return text;
    };
    for (const QAction *top : menuBar->actions()) {
        const QMenu *menu = top->menu();
        tree << describe(top, menu ? menu->objectName() : top->objectName());
        if (!menu)
            continue;
        for (const QAction *entry : menu->actions())
            tree << (entry->isSeparator() ? QStringLiteral("  separator")
                                          : QLatin1String("  ") + describe(entry, entry->objectName()));
    }
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

QList<QWidget *> openWindowsOf(const char *className)
{
    QList<QWidget *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits(className) && widget->isVisible())
            found << widget;
    }
    return found;
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
    return window->findChild<QLabel *>(QStringLiteral("StatusPanel1"));
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
    void configControls_data();
    void configControls();
    void windows_data();
    void windows();
    void tabOrder_data();
    void tabOrder();
    void tabSkipsHiddenFileLists_data();
    void tabSkipsHiddenFileLists();
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
    void infoCloseButtonClosesWindow();
    void helpPicturesShowTheMainWindow_data();
    void helpPicturesShowTheMainWindow();
    void helpMenuClosesWindow();
    void artworkIsLinkedIn_data();
    void artworkIsLinkedIn();

private:
    QWidget *cached(const QString &name);
    void addControlColumns();
    void checkControl();

    // config.dat is read from the working folder; an empty one means no stored folders.
    QTemporaryDir m_workDir;
    QString m_previousDir;
    std::map<QString, std::unique_ptr<QWidget>> m_windows;
};

void tst_windows::initTestCase()
{
    QVERIFY(m_workDir.isValid());
    m_previousDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_workDir.path()));
}

void tst_windows::cleanupTestCase()
{
    m_windows.clear();
    QDir::setCurrent(m_previousDir);
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

void tst_windows::addControlColumns()
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
}

// Each control: its kind, caption and tooltip letter for letter, place in its container,
// visibility at start and colour; controls without text carry a name for screen readers.
void tst_windows::checkControl()
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

void tst_windows::controls_data()
{
    addControlColumns();
    const auto row = [](const char *window, const char *name, const char *kind, const QString &caption,
                        const QRect &twips, const char *container, const QString &toolTip = {}, bool hidden = false,
                        int count = 1) {
        QTest::addRow("%s/%s", window, name)
            << QString::fromLatin1(window) << QString::fromLatin1(name) << QByteArray(kind) << caption << twips
            << QString::fromLatin1(container) << toolTip << hidden << count;
    };
    const char *c = "centralwidget";

    row("frm_Start", "cmd_mix", "QPushButton", QStringLiteral(">> Tonvola >>"), {3360, 2040, 2535, 375}, c,
        QStringLiteral(
            "Kopiert Mp3s in Ihr Mp3 Player Verzeichnis.  Einfach auf Tonvola klicken und schon gehts los."));
    row("frm_Start", "Drive1", "DriveListBox", {}, {360, 1560, 2655, 315}, c);
    row("frm_Start", "Dir1", "DirListBox", {}, {360, 1920, 2655, 1665}, c);
    row("frm_Start", "Drive2", "DriveListBox", {}, {6240, 1560, 2655, 315}, c);
    row("frm_Start", "Dir2", "DirListBox", {}, {6240, 1920, 2655, 1665}, c,
        QStringLiteral("Verzeichnis des Mp3Players auswählen!"));
    row("frm_Start", "File1", "FileListBox", {}, {360, 3600, 2655, 1455}, c,
        QStringLiteral("Mit Doppelklick abspielen!"), true);
    row("frm_Start", "File2", "FileListBox", {}, {6240, 3600, 2655, 1455}, c,
        QStringLiteral("Mit Doppelklick abspielen"), true);
    row("frm_Start", "MediaPlayer1", "MediaPlayerWidget", {}, {240, 5400, 4455, 615}, c, {}, true);
    row("frm_Start", "MP", "QLabel", QStringLiteral("Mp3 Player Verzeichnis auswählen"), {6240, 1200, 2535, 255}, c);
    row("frm_Start", "Label1", "QLabel", QStringLiteral("Top MP3 StammVerzeichnis auswählen:"), {360, 1080, 2655, 375},
        c);
    row("frm_Start", "Label2", "QLabel", QStringLiteral("Tonvola 2004 für MP3-Player"), {840, 240, 7215, 615}, c);
    row("frm_Start", "Status1", "QProgressBar", {}, {3240, 4800, 2775, 255}, c, {}, true);
    row("frm_Start", "StatusBar1", "QStatusBar", {}, {0, 6360, 9315, 300}, c);
    row("frm_Start", "Picture1", "QLabel", {}, {3960, 2520, 1260, 1050}, c);
    row("frm_Start", "Line1", "QFrame", {}, line(0, 0, 9360), c);

    const char *i = "frm_Info";
    row(i, "Label1", "QLabel", QStringLiteral("Tonvola 2004"), {120, 120, 2895, 615}, i);
    row(i, "Picture1", "QLabel", {}, {360, 1200, 735, 735}, i);
    row(i, "Frame1", "QGroupBox", QStringLiteral("Entwicklung"), {1560, 1080, 3015, 1095}, i);
    row(i, "Label2", "QLabel", QStringLiteral("Dieses Progrmm wurde am 04.06.2004 von Ulmarin geschrieben."),
        {240, 360, 2655, 615}, "Frame1");
    row(i, "cmd_close", "QPushButton", QStringLiteral("Schließen"), {3840, 3120, 1335, 375}, i);
    row(i, "Picture2", "QLabel", {}, {120, 3120, 450, 360}, i);
    row(i, "Label3", "QLabel", QStringLiteral("tonvola@example.org"), {600, 3120, 2415, 375}, i);
    row(i, "StatusBar1", "QStatusBar", {}, {0, 3600, 5355, 255}, i);
    row(i, "Line1", "QFrame", {}, line(0, 0, 5564), i, {}, false, 2);

    const char *h = "frm_Help";
    const char *f = "Frame1";
    row(h, "Frame1", "QGroupBox", QStringLiteral("Aufbau"), {480, 120, 4815, 8415}, c);
    row(h, "Label4", "QLabel", QStringLiteral("(1)"), {240, 240, 375, 375}, f);
    row(h, "Label1", "QLabel",
        QStringLiteral("StammVerzeichnis = Verzeichnis wo sich Ihre MP3 befinden. Achtung unterverzeichnisse werden "
                       "nicht berücksichtigt."),
        {480, 720, 3975, 1095}, f);
    row(h, "Line1", "QFrame", {}, line(360, 3600, 4560), f);
    row(h, "Label5", "QLabel", QStringLiteral("(2)"), {240, 3720, 375, 255}, f);
    row(h, "Label2", "QLabel",
        QStringLiteral("MP3 Player Verzeichnis = Zielverzeichnis. Hier werden zufällig Mp3s aus ihrem "
                       "StammVerzeichnis hinkopiert. Dieses Verzeichnis ist oft ein Wechselmedium wie SD, CF-Karten "
                       "oder direkt ihr  USB Stick."),
        {480, 4080, 3735, 1215}, f);
    row(h, "Line2", "QFrame", {}, line(360, 6600, 4560), f);
    row(h, "Label6", "QLabel", QStringLiteral("(3)"), {240, 6720, 375, 255}, f);
    row(h, "Label3", "QLabel",
        QStringLiteral("Tonvola 2004 Button = Start. Achtung: Während des kopieren wird das Fenster gesperrt. Je "
                       "nach Größe des Speichermediums kann es zu Verzögerungen beim Kopieren kommen."),
        {480, 7080, 3855, 975}, f);
    row(h, "Line3", "QFrame", {}, line(360, 8280, 4560), f);
    row(h, "Line4", "QFrame", {}, line(0, 0, 9960), c);
    row(h, "Image1", "QLabel", {}, {5400, 240, 2220, 3420}, c);
    row(h, "Image2", "QLabel", {}, {5400, 3720, 2175, 3000}, c);
    row(h, "Image3", "QLabel", {}, {5400, 6720, 2160, 1755}, c);
}

void tst_windows::controls()
{
    checkControl();
}

// The configuration window comes from its own line of work; its rows run once its form exists.
void tst_windows::configControls_data()
{
    addControlColumns();
    const auto row = [](const char *name, const char *kind, const QString &caption, const QRect &twips) {
        QTest::addRow("frm_config/%s", name)
            << QStringLiteral("frm_config") << QString::fromLatin1(name) << QByteArray(kind) << caption << twips
            << QString() << QString() << false << 1;
    };
    row("Drive1", "DriveListBox", {}, {360, 1200, 2295, 315});
    row("Dir1", "DirListBox", {}, {360, 1680, 2295, 2115});
    row("Drive2", "DriveListBox", {}, {2880, 1200, 2295, 315});
    row("Dir2", "DirListBox", {}, {2880, 1680, 2295, 2115});
    row("cmd_save", "QPushButton", QStringLiteral("Speichern"), {4080, 4080, 1695, 375});
    row("Label1", "QLabel",
        QStringLiteral("Bitte wählen Sie ihr Standart Verzeichnis für die Top MP3 Liste und das Verzeichnis des MP3 "
                       "Players."),
        {480, 240, 4695, 615});
    row("Line1", "QFrame", {}, line(0, 0, 6000));
}

void tst_windows::configControls()
{
#if __has_include("ui_frm_config.h")
    checkControl();
#else
    QSKIP("the configuration window has no form on this branch yet");
#endif
}

// Title, client area and border of each window, as the user sees it once shown.
void tst_windows::windows_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QSize>("clientTwips");
    QTest::addColumn<bool>("resizable");

    QTest::newRow("frm_Start") << QStringLiteral("frm_Start") << QStringLiteral("Tonvola") << QSize(9315, 6660)
                               << false;
    QTest::newRow("frm_Info") << QStringLiteral("frm_Info") << QStringLiteral("Info zu Tonvola") << QSize(5355, 3855)
                              << false;
    QTest::newRow("frm_Help") << QStringLiteral("frm_Help") << QStringLiteral("Hilfe") << QSize(9975, 8835) << true;
#if __has_include("ui_frm_config.h")
    QTest::newRow("frm_config") << QStringLiteral("frm_config") << QStringLiteral("Konfiguration") << QSize(5940, 4560)
                                << false;
#endif
}

void tst_windows::windows()
{
    QFETCH(QString, window);
    QFETCH(QString, title);
    QFETCH(QSize, clientTwips);
    QFETCH(bool, resizable);

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
}

void tst_windows::tabOrder_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("frm_Start") << QStringLiteral(
        "frm_Start") << QStringList{QStringLiteral("cmd_mix"), QStringLiteral("Drive1"),      QStringLiteral("Dir1"),
                                    QStringLiteral("Drive2"),  QStringLiteral("Dir2"),        QStringLiteral("File1"),
                                    QStringLiteral("File2"),   QStringLiteral("MediaPlayer1")};
    QTest::newRow("frm_Info") << QStringLiteral(
        "frm_Info") << QStringList{QStringLiteral("Label1"), QStringLiteral("Picture1"),  QStringLiteral("Frame1"),
                                   QStringLiteral("Label2"), QStringLiteral("cmd_close"), QStringLiteral("Picture2"),
                                   QStringLiteral("Label3"), QStringLiteral("StatusBar1")};
    QTest::newRow("frm_Help") << QStringLiteral(
        "frm_Help") << QStringList{QStringLiteral("Frame1"), QStringLiteral("Label3"), QStringLiteral("Label2"),
                                   QStringLiteral("Label1"), QStringLiteral("Label4"), QStringLiteral("Label5"),
                                   QStringLiteral("Label6")};
#if __has_include("ui_frm_config.h")
    QTest::newRow("frm_config") << QStringLiteral(
        "frm_config") << QStringList{QStringLiteral("Drive1"), QStringLiteral("Dir1"),     QStringLiteral("Drive2"),
                                     QStringLiteral("Dir2"),   QStringLiteral("cmd_save"), QStringLiteral("Label1")};
#endif
}

// Controls follow each other in the focus chain in their tab order; Tab visits those that take
// focus, and assistive tools walk the chain with the labels and pictures in between.
void tst_windows::tabOrder()
{
    QFETCH(QString, window);
    QFETCH(QStringList, order);
    QCOMPARE(focusChainOrder(cached(window), order), order);
}

// Pressing Tab in the main window visits the visible controls only.
void tst_windows::tabSkipsHiddenFileLists_data()
{
    QTest::addColumn<bool>("fileListsShown");
    QTest::addColumn<QStringList>("visits");

    const QStringList panes{QStringLiteral("cmd_mix"), QStringLiteral("Drive1"), QStringLiteral("Dir1"),
                            QStringLiteral("Drive2"), QStringLiteral("Dir2")};
    QTest::newRow("at start") << false << (QStringList(panes) << QStringLiteral("cmd_mix"));
    QTest::newRow("file lists shown") << true
                                      << (QStringList(panes) << QStringLiteral("File1") << QStringLiteral("File2")
                                                             << QStringLiteral("cmd_mix"));
}

void tst_windows::tabSkipsHiddenFileLists()
{
    QFETCH(bool, fileListsShown);
    QFETCH(QStringList, visits);

    frm_Start window;
    if (fileListsShown) {
        window.findChild<QWidget *>(QStringLiteral("File1"))->show();
        window.findChild<QWidget *>(QStringLiteral("File2"))->show();
    }
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));

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

    QTest::newRow("frm_Start") << QStringLiteral("frm_Start")
                               << QStringList{QStringLiteral("mnuDatei \"Datei\""),
                                              QStringLiteral("  mnutonvola \"Tonvola starten\""),
                                              QStringLiteral("  mnuclear \"Clear PlayerVerzeichnis\""),
                                              QStringLiteral("  mnuDelete \"Löschen\""),
                                              QStringLiteral("  mnuClose \"Beenden\""),
                                              QStringLiteral("mnuWiedergabe \"Wiedergabe\""),
                                              QStringLiteral("  mnuPlay \"Play\""),
                                              QStringLiteral("  mnuStop \"Stop\""),
                                              QStringLiteral("mnuExtras \"Extras\""),
                                              QStringLiteral("  mnuConfig \"Konfiguration\""),
                                              QStringLiteral("mnuInfo \"?\""),
                                              QStringLiteral("  mnuHelp \"Hilfe\""),
                                              QStringLiteral("  mnuInfoTonvola \"Info zu Tonvola\"")};
    QTest::newRow("frm_Info") << QStringLiteral("frm_Info") << QStringList{};
    QTest::newRow("frm_Help") << QStringLiteral("frm_Help")
                              << QStringList{QStringLiteral("mnuFenster \"Fenster\""),
                                             QStringLiteral("  mnuClose \"Schließen\"")};
#if __has_include("ui_frm_config.h")
    QTest::newRow("frm_config") << QStringLiteral("frm_config")
                                << QStringList{QStringLiteral("mnuDatei \"Datei\""),
                                               QStringLiteral("  mnuSave \"Speichern\""),
                                               QStringLiteral("  mnuClose \"Schließen\"")};
#endif
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

    QTest::newRow("frm_Start/Label2") << QStringLiteral("frm_Start") << QStringLiteral("Label2") << 21.75;
    QTest::newRow("frm_Info/Label1") << QStringLiteral("frm_Info") << QStringLiteral("Label1") << 20.25;
    QTest::newRow("frm_Info/Label3") << QStringLiteral("frm_Info") << QStringLiteral("Label3") << 12.0;
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
    const QList<QFrame *> lines = cached(QStringLiteral("frm_Info"))->findChildren<QFrame *>(QStringLiteral("Line1"));
    QCOMPARE(lines.size(), 2);
    for (const QFrame *frame : lines)
        QCOMPARE(frame->palette().color(QPalette::WindowText), QColor(0x80, 0x80, 0x80));
}

void tst_windows::oneWindowPerOpening_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QByteArray>("windowClass");

    QTest::newRow("Hilfe") << QStringLiteral("mnuHelp") << QByteArray("frm_Help");
    QTest::newRow("Info zu Tonvola") << QStringLiteral("mnuInfoTonvola") << QByteArray("frm_Info");
    QTest::newRow("Konfiguration") << QStringLiteral("mnuConfig") << QByteArray("frm_config");
}

// A second opening brings the same window to the front instead of opening another one.
void tst_windows::oneWindowPerOpening()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, windowClass);

    auto *main = new frm_Start;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));

    QVERIFY(choose(main, action));
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

// "Beenden" closes the main window only; the program ends when the help window closes too.
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
        if (!choose(main, QStringLiteral("mnuHelp")))
            return;
        const QList<QWidget *> open = openWindowsOf("frm_Help");
        if (open.size() != 1)
            return;
        help = open.first();
        if (!choose(main, QStringLiteral("mnuClose")))
            return;
        QTimer::singleShot(0, this, [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            mainGoneAfterBeenden = main.isNull();
            helpOpenAfterBeenden = help && help->isVisible();
            if (help)
                (void)choose(help, QStringLiteral("mnuClose"));
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

    QTest::newRow("this build") << QStringLiteral(TONVOLA_VERSION) << QStringLiteral("Version 1.0.15");
    QTest::newRow("leading zeros") << QStringLiteral("1.00.0015") << QStringLiteral("Version 1.0.15");
    QTest::newRow("no revision") << QStringLiteral("2.3") << QStringLiteral("Version 2.3.0");
    QTest::newRow("large numbers") << QStringLiteral("10.20.300") << QStringLiteral("Version 10.20.300");
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
    QVERIFY(choose(&main, QStringLiteral("mnuInfoTonvola")));
    const QList<QWidget *> open = openWindowsOf("frm_Info");
    QCOMPARE(open.size(), 1);
    QLabel *panel = statusPanel(open.first());
    QVERIFY(panel);
    QVERIFY(panel->isVisible());
    QCOMPARE(panel->text(), QStringLiteral("Version 1.0.15"));

    panel->clear();
    QVERIFY(choose(&main, QStringLiteral("mnuInfoTonvola")));
    QCOMPARE(openWindowsOf("frm_Info"), open);
    QCOMPARE(panel->text(), QStringLiteral("Version 1.0.15"));
}

void tst_windows::infoCloseButtonClosesWindow()
{
    frm_Start main;
    main.show();
    QVERIFY(choose(&main, QStringLiteral("mnuInfoTonvola")));
    const QList<QWidget *> open = openWindowsOf("frm_Info");
    QCOMPARE(open.size(), 1);
    const QPointer<QWidget> info = open.first();
    QTest::mouseClick(info->findChild<QPushButton *>(QStringLiteral("cmd_close")), Qt::LeftButton);
    QVERIFY(!info->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(info.isNull());

    // Opening it again after closing makes a new window with its version line.
    QVERIFY(choose(&main, QStringLiteral("mnuInfoTonvola")));
    QCOMPARE(openWindowsOf("frm_Info").size(), 1);
    QCOMPARE(statusPanel(openWindowsOf("frm_Info").first())->text(), QStringLiteral("Version 1.0.15"));
}

void tst_windows::helpPicturesShowTheMainWindow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    QTest::newRow("source pane") << QStringLiteral("Image1") << QSize(196, 284);
    QTest::newRow("player pane") << QStringLiteral("Image2") << QSize(193, 280);
    QTest::newRow("start button") << QStringLiteral("Image3") << QSize(152, 133);
}

// Each picture has its own size, is stretched into its box and shows a piece of the main
// window: its blue and the lists' and button's own colours, not an empty area.
void tst_windows::helpPicturesShowTheMainWindow()
{
    QFETCH(QString, name);
    QFETCH(QSize, size);

    const auto *image = cached(QStringLiteral("frm_Help"))->findChild<QLabel *>(name);
    QVERIFY(image);
    QVERIFY(image->hasScaledContents());
    const QPixmap pixmap = image->pixmap();
    QCOMPARE(pixmap.size(), size);
    const QImage picture = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            colours.insert(picture.pixel(x, y));
    }
    QVERIFY(colours.contains(windowBlue.rgb()));
    QVERIFY2(colours.size() > 20, "the picture is nearly a single colour");
}

void tst_windows::helpMenuClosesWindow()
{
    frm_Start main;
    main.show();
    QVERIFY(choose(&main, QStringLiteral("mnuHelp")));
    const QList<QWidget *> open = openWindowsOf("frm_Help");
    QCOMPARE(open.size(), 1);
    QVERIFY(choose(open.first(), QStringLiteral("mnuClose")));
    QVERIFY(openWindowsOf("frm_Help").isEmpty());
    QVERIFY(main.isVisible());
}

void tst_windows::artworkIsLinkedIn_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    QTest::newRow("window icon") << QStringLiteral(":/tonvola/tonvola.svg") << QSize(32, 32);
    QTest::newRow("start picture") << QStringLiteral(":/tonvola/picture1.png") << QSize(80, 66);
    QTest::newRow("info picture") << QStringLiteral(":/tonvola/info-picture1.png") << QSize(48, 48);
    QTest::newRow("contact picture") << QStringLiteral(":/tonvola/info-picture2.png") << QSize(26, 20);
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
