#include "TestSupport.h"

#include "app/Application.h"
#include "app/DirListBox.h"
#include "app/DriveListBox.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "config/frm_config.h"
#include "platform/Volumes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeBytes(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
}

template<typename T> T *child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

frm_config *openConfigWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *config = qobject_cast<frm_config *>(window))
            return config;
    }
    return nullptr;
}

enum class CloseWay { SaveButton, SaveMenu, CloseMenu, WindowSystem, Program };

} // namespace

Q_DECLARE_METATYPE(CloseWay)

class tst_ConfigWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void layoutIsAsDrawn_data();
    void layoutIsAsDrawn();
    void tabOrderFollowsTheLists();

    void opensWithoutConfigAndSavesTheFoldersShown();
    void opensWithStoredFolders();
    void storedRootFolderIsShown();
    void missingStoredFolderLeavesOnlyItsListAtTheStart();
    void savesFoldersAfterBrowsing_data();
    void savesFoldersAfterBrowsing();
    void choosingAnotherDriveMovesItsList();
    void driveNotReadyWarnsAndReturnsTheDriveList();
    void closeLeavesTheFileUnchanged();
    void mainWindowEnabledAfterEveryWayOfClosing_data();
    void mainWindowEnabledAfterEveryWayOfClosing();
    void failedSaveWarnsAndKeepsTheWindowOpen();
    void mainWindowOpensItOnceAndReadsConfigOnlyAtStart();

private:
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_previous;
    QString m_source;
    QString m_player;
};

void tst_ConfigWindow::initTestCase()
{
    tonvola::setupApplication(*qApp);
    m_previous = QDir::currentPath();
}

void tst_ConfigWindow::init()
{
    // config.dat lives in the working folder, so every test gets a fresh one.
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    QVERIFY(QDir::setCurrent(m_work->path()));
    QDir work(m_work->path());
    QVERIFY(work.mkpath(QStringLiteral("Sammlung/Rock, Pop")));
    QVERIFY(work.mkpath(QStringLiteral("Karte/Musik")));
    m_source = work.filePath(QStringLiteral("Sammlung"));
    m_player = work.filePath(QStringLiteral("Karte"));
}

void tst_ConfigWindow::cleanup()
{
    // Windows a failed test left open; menus and other popups go with their windows.
    QList<QPointer<QWidget>> windows;
    const QWidgetList topLevel = QApplication::topLevelWidgets();
    for (QWidget *window : topLevel) {
        if (!window->parentWidget())
            windows.append(window);
    }
    for (const QPointer<QWidget> &window : std::as_const(windows))
        delete window.data();
    QVERIFY(QDir::setCurrent(m_previous));
    m_work.reset();
}

void tst_ConfigWindow::layoutIsAsDrawn_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");

    QTest::newRow("Drive1") << "Drive1"
                            << "DriveListBox" << QRect(24, 80, 153, 21) << QString();
    QTest::newRow("Dir1") << "Dir1"
                          << "DirListBox" << QRect(24, 112, 153, 141) << QString();
    QTest::newRow("Drive2") << "Drive2"
                            << "DriveListBox" << QRect(192, 80, 153, 21) << QString();
    QTest::newRow("Dir2") << "Dir2"
                          << "DirListBox" << QRect(192, 112, 153, 141) << QString();
    QTest::newRow("cmd_save") << "cmd_save"
                              << "QPushButton" << QRect(272, 272, 113, 25) << "Speichern";
    QTest::newRow("Label1") << "Label1"
                            << "QLabel" << QRect(32, 16, 313, 41)
                            << "Bitte wählen Sie ihr Standart Verzeichnis für die Top MP3 Liste und das Verzeichnis "
                               "des MP3 Players.";
    QTest::newRow("Line1") << "Line1"
                           << "QFrame" << QRect(0, 0, 400, 1) << QString();
}

void tst_ConfigWindow::layoutIsAsDrawn()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    frm_config window;
    QCOMPARE(window.windowTitle(), QStringLiteral("Konfiguration"));
    QCOMPARE(window.centralWidget()->size(), QSize(396, 304));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    auto *widget = window.centralWidget()->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QPushButton *>(widget))
        QCOMPARE(button->text(), text);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QCOMPARE(label->text(), text);
    if (kind.endsWith(QLatin1String("ListBox")))
        QVERIFY(!widget->accessibleName().isEmpty());

    auto *file = child<QMenu>(&window, "mnuDatei");
    QVERIFY(file);
    QCOMPARE(file->title(), QStringLiteral("Datei"));
    const QList<QAction *> entries = file->actions();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0)->objectName(), QStringLiteral("mnuSave"));
    QCOMPARE(entries.at(0)->text(), QStringLiteral("Speichern"));
    QCOMPARE(entries.at(1)->objectName(), QStringLiteral("mnuClose"));
    QCOMPARE(entries.at(1)->text(), QStringLiteral("Schließen"));
}

void tst_ConfigWindow::tabOrderFollowsTheLists()
{
    frm_config window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QStringList order;
    QWidget *start = child<QWidget>(&window, "Drive1");
    QWidget *widget = start;
    do {
        if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisible() && widget->isEnabled())
            order.append(widget->objectName());
        widget = widget->nextInFocusChain();
    } while (widget != start);
    QCOMPARE(order, (QStringList{QStringLiteral("Drive1"), QStringLiteral("Dir1"), QStringLiteral("Drive2"),
                                 QStringLiteral("Dir2"), QStringLiteral("cmd_save")}));
}

void tst_ConfigWindow::opensWithoutConfigAndSavesTheFoldersShown()
{
    QWidget mainWindow;
    auto *window = new frm_config(&mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    QVERIFY(!mainWindow.isEnabled());

    const QString shown1 = child<DirListBox>(window, "Dir1")->path();
    const QString shown2 = child<DirListBox>(window, "Dir2")->path();
    QVERIFY(!shown1.isEmpty());
    QCOMPARE(child<DriveListBox>(window, "Drive1")->drive(), tonvola::volumes::rootOf(shown1));

    QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    // Never a lone separator: the folders on show are what a user expects to be stored.
    QCOMPARE(readAll(QStringLiteral("config.dat")), tonvola::config::serialize(shown1, shown2));
}

void tst_ConfigWindow::opensWithStoredFolders()
{
    QVERIFY(tonvola::config::save(m_source, m_player).ok());

    frm_config window;
    QCOMPARE(child<DirListBox>(&window, "Dir1")->path(), m_source);
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), m_player);
    QCOMPARE(child<DriveListBox>(&window, "Drive2")->drive(), tonvola::volumes::rootOf(m_player));

    // Saving at once stores exactly what was loaded.
    const QByteArray before = readAll(QStringLiteral("config.dat"));
    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(readAll(QStringLiteral("config.dat")), before);
}

void tst_ConfigWindow::storedRootFolderIsShown()
{
    const QString root = QDir::rootPath();
    QVERIFY(tonvola::config::save(m_source, root).ok());
    QCOMPARE(tonvola::config::load()->player, QDir::toNativeSeparators(root) + QDir::separator());

    frm_config window;
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), root);
    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(readAll(QStringLiteral("config.dat")), tonvola::config::serialize(m_source, root));
}

void tst_ConfigWindow::missingStoredFolderLeavesOnlyItsListAtTheStart()
{
    QVERIFY(tonvola::config::save(m_work->filePath(QStringLiteral("fehlt")), m_player).ok());
    const DirListBox fresh;

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    frm_config window;
    QCOMPARE(child<DirListBox>(&window, "Dir1")->path(), fresh.path());
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), m_player);
    QTest::qWait(50);
    QCOMPARE(answerer.count(), 0);
}

void tst_ConfigWindow::savesFoldersAfterBrowsing_data()
{
    QTest::addColumn<bool>("withConfig");
    QTest::newRow("without config.dat") << false;
    QTest::newRow("with config.dat") << true;
}

void tst_ConfigWindow::savesFoldersAfterBrowsing()
{
    QFETCH(bool, withConfig);
    if (withConfig)
        QVERIFY(tonvola::config::save(m_work->path(), m_work->path()).ok());

    frm_config window;
    const QString source = QDir(m_source).filePath(QStringLiteral("Rock, Pop"));
    const QString player = QDir(m_player).filePath(QStringLiteral("Musik"));
    QVERIFY(child<DirListBox>(&window, "Dir1")->setPath(m_source).ok());
    QVERIFY(child<DirListBox>(&window, "Dir1")->setPath(source).ok());
    QVERIFY(child<DirListBox>(&window, "Dir2")->setPath(player).ok());
    QCOMPARE(child<DriveListBox>(&window, "Drive1")->drive(), tonvola::volumes::rootOf(source));

    QTest::mouseClick(child<QPushButton>(&window, "cmd_save"), Qt::LeftButton);
    const std::optional<tonvola::StoredFolders> stored = tonvola::config::load();
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, QDir::toNativeSeparators(source) + QDir::separator());
    QCOMPARE(stored->player, QDir::toNativeSeparators(player) + QDir::separator());
}

void tst_ConfigWindow::choosingAnotherDriveMovesItsList()
{
    testsupport::TmpfsMount card(QStringLiteral("size=1m"));
    QVERIFY(card.valid());
    QVERIFY(tonvola::config::save(m_source, m_player).ok());

    frm_config window;
    auto *drive2 = child<DriveListBox>(&window, "Drive2");
    drive2->refresh();
    QTRY_VERIFY(drive2->findText(QDir::toNativeSeparators(card.path()), Qt::MatchStartsWith) >= 0);

    drive2->setCurrentIndex(drive2->findText(QDir::toNativeSeparators(card.path()), Qt::MatchStartsWith));
    QCOMPARE(drive2->drive(), card.path());
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), card.path());

    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(readAll(QStringLiteral("config.dat")), tonvola::config::serialize(m_source, card.path()));
}

void tst_ConfigWindow::driveNotReadyWarnsAndReturnsTheDriveList()
{
    // A card reader whose card was pulled: listed a moment ago, gone when chosen.
    QVERIFY(QDir(m_work->path()).mkdir(QStringLiteral("leser")));
    const QString reader = m_work->filePath(QStringLiteral("leser"));
    QCOMPARE(
        QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                    QStringLiteral("size=1m"), QStringLiteral("tmpfs"), reader}),
        0);
    QVERIFY(tonvola::config::save(m_source, m_player).ok());

    frm_config window;
    auto *drive2 = child<DriveListBox>(&window, "Drive2");
    drive2->refresh();
    const int index = drive2->findText(QDir::toNativeSeparators(reader), Qt::MatchStartsWith);
    QCOMPARE(QProcess::execute(QStringLiteral("umount"), {reader}), 0);
    QVERIFY(QDir(m_work->path()).rmdir(QStringLiteral("leser")));
    QVERIFY(index >= 0);

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    drive2->setCurrentIndex(index);
    QCOMPARE(answerer.count(), 1);
    QVERIFY2(answerer.texts().constFirst().startsWith(
                 QStringLiteral("Das Laufwerk %1 ist nicht bereit: ").arg(QDir::toNativeSeparators(reader))),
             qPrintable(answerer.texts().constFirst()));
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), m_player);
    QCOMPARE(drive2->drive(), tonvola::volumes::rootOf(m_player));
    QCOMPARE(drive2->currentText(),
             drive2->itemText(
                 drive2->findText(QDir::toNativeSeparators(tonvola::volumes::rootOf(m_player)), Qt::MatchStartsWith)));

    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(readAll(QStringLiteral("config.dat")), tonvola::config::serialize(m_source, m_player));
}

void tst_ConfigWindow::closeLeavesTheFileUnchanged()
{
    // An old file with a tail: a rewrite would show.
    QByteArray old = tonvola::config::serialize(m_source, m_player);
    old += "\"/alter/Rest/\"\r\n";
    QVERIFY(writeBytes(QStringLiteral("config.dat"), old));

    QWidget mainWindow;
    auto *window = new frm_config(&mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    QVERIFY(child<DirListBox>(window, "Dir1")->setPath(QDir(m_source).filePath(QStringLiteral("Rock, Pop"))).ok());
    QVERIFY(child<DirListBox>(window, "Dir2")->setPath(m_work->path()).ok());

    child<QAction>(window, "mnuClose")->trigger();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    QCOMPARE(readAll(QStringLiteral("config.dat")), old);
}

void tst_ConfigWindow::mainWindowEnabledAfterEveryWayOfClosing_data()
{
    QTest::addColumn<CloseWay>("way");
    QTest::addColumn<bool>("saves");
    QTest::newRow("button Speichern") << CloseWay::SaveButton << true;
    QTest::newRow("menu Speichern") << CloseWay::SaveMenu << true;
    QTest::newRow("menu Schließen") << CloseWay::CloseMenu << false;
    // The title bar's close button and Alt+F4 both arrive as the window system's close request.
    QTest::newRow("title bar or Alt+F4") << CloseWay::WindowSystem << false;
    QTest::newRow("destroyed by the program") << CloseWay::Program << false;
}

void tst_ConfigWindow::mainWindowEnabledAfterEveryWayOfClosing()
{
    QFETCH(CloseWay, way);
    QFETCH(bool, saves);

    QWidget mainWindow;
    mainWindow.show();
    auto *window = new frm_config(&mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY(!mainWindow.isEnabled());
    QVERIFY(window->isEnabled());

    switch (way) {
    case CloseWay::SaveButton:
        QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
        break;
    case CloseWay::SaveMenu:
        child<QAction>(window, "mnuSave")->trigger();
        break;
    case CloseWay::CloseMenu:
        child<QAction>(window, "mnuClose")->trigger();
        break;
    case CloseWay::WindowSystem:
        QVERIFY(window->windowHandle());
        window->windowHandle()->close();
        break;
    case CloseWay::Program:
        delete window;
        break;
    }
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    QCOMPARE(QFile::exists(QStringLiteral("config.dat")), saves);
}

void tst_ConfigWindow::failedSaveWarnsAndKeepsTheWindowOpen()
{
    const QByteArray old = tonvola::config::serialize(m_source, m_player);
    QVERIFY(writeBytes(QStringLiteral("config.dat"), old));

    QWidget mainWindow;
    auto *window = new frm_config(&mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    window->show();
    QVERIFY(child<DirListBox>(window, "Dir2")->setPath(m_work->path()).ok());

    {
        testsupport::ImmutableFile lockedFolder(m_work->path());
        QVERIFY(lockedFolder.valid());
        testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
        QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        const QString file = QDir::toNativeSeparators(m_work->filePath(QStringLiteral("config.dat")));
        QVERIFY2(answerer.texts().constFirst().startsWith(
                     QStringLiteral("Die Konfiguration konnte nicht in %1 gespeichert werden: ").arg(file)),
                 qPrintable(answerer.texts().constFirst()));
        QVERIFY(!guard.isNull());
        QVERIFY(window->isVisible());
        QVERIFY(!mainWindow.isEnabled());
        QCOMPARE(readAll(QStringLiteral("config.dat")), old);
    }

    // Once the folder takes files again, the same window saves.
    child<QAction>(window, "mnuSave")->trigger();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    QCOMPARE(readAll(QStringLiteral("config.dat")), tonvola::config::serialize(m_source, m_work->path()));
}

void tst_ConfigWindow::mainWindowOpensItOnceAndReadsConfigOnlyAtStart()
{
    QVERIFY(tonvola::config::save(m_source, m_player).ok());
    auto *main = new frm_Start;
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main));
    QCOMPARE(child<DirListBox>(main, "Dir2")->path(), m_player);

    child<QAction>(main, "mnuConfig")->trigger();
    QPointer<frm_config> window = openConfigWindow();
    QVERIFY(window);
    QVERIFY(!window->parent());
    QVERIFY(window->isVisible());
    QVERIFY(!main->isEnabled());
    child<QAction>(main, "mnuConfig")->trigger();
    QCOMPARE(openConfigWindow(), window.data());

    QVERIFY(child<DirListBox>(window, "Dir2")->setPath(QDir(m_player).filePath(QStringLiteral("Musik"))).ok());
    QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
    QVERIFY(main->isEnabled());
    QCOMPARE(tonvola::config::load()->player,
             QDir::toNativeSeparators(QDir(m_player).filePath(QStringLiteral("Musik"))) + QDir::separator());
    // The main window's panes keep their folders until the next start.
    QCOMPARE(child<DirListBox>(main, "Dir2")->path(), m_player);

    // A new opening starts afresh and loads the file again.
    child<QAction>(main, "mnuConfig")->trigger();
    window = openConfigWindow();
    QVERIFY(window);
    QCOMPARE(child<DirListBox>(window, "Dir2")->path(), QDir(m_player).filePath(QStringLiteral("Musik")));
    child<QAction>(window, "mnuClose")->trigger();
    QTRY_VERIFY(window.isNull());
    QVERIFY(main->isEnabled());
}

QTEST_MAIN(tst_ConfigWindow)
#include "tst_configwindow.moc"
