#include "TestSupport.h"

#include "app/Application.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "config/frm_config.h"
#include "platform/Volumes.h"
#include "widgets/DirListBox.h"
#include "widgets/DriveListBox.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QUrl>
#include <QWindow>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

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

enum class CloseWay { SaveButton, SaveMenu, CloseMenu, WindowSystem, Program, EnterOnSave, Escape };

} // namespace

Q_DECLARE_METATYPE(CloseWay)

class tst_ConfigWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opensWithoutConfigAndSavesTheFoldersShown_data();
    void opensWithoutConfigAndSavesTheFoldersShown();
    void opensWithStoredFolders_data();
    void opensWithStoredFolders();
    void missingStoredFolderLeavesOnlyItsListAtTheStart_data();
    void missingStoredFolderLeavesOnlyItsListAtTheStart();
    void savesFoldersAfterBrowsing_data();
    void savesFoldersAfterBrowsing();
    void choosingAnotherDriveMovesItsList();
    void driveNotReadyWarnsAndReturnsTheDriveList();
    void closeLeavesTheFileUnchanged();
    void mainWindowEnabledAfterEveryWayOfClosing_data();
    void mainWindowEnabledAfterEveryWayOfClosing();
    void failedSaveWarnsAndKeepsTheWindowOpen_data();
    void failedSaveWarnsAndKeepsTheWindowOpen();
    void mainWindowOpensItOnceAndReadsConfigOnlyAtStart();

private:
    std::unique_ptr<testsupport::WorkFolder> m_work;
    QString m_source;
    QString m_player;
};

void tst_ConfigWindow::initTestCase()
{
    tonvola::setupApplication(*qApp);
}

void tst_ConfigWindow::init()
{
    m_work = std::make_unique<testsupport::WorkFolder>();
    QVERIFY(m_work->valid());
    QDir work(m_work->path());
    QVERIFY(work.mkpath(u"Sammlung/Rock, Pop"_s));
    QVERIFY(work.mkpath(u"Karte/Musik"_s));
    m_source = work.filePath(u"Sammlung"_s);
    m_player = work.filePath(u"Karte"_s);
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
    m_work.reset();
}

void tst_ConfigWindow::opensWithoutConfigAndSavesTheFoldersShown_data()
{
    QTest::addColumn<bool>("fromMainWindow");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::newRow("on the main window's folders") << true << QMessageBox::NoButton;
    QTest::newRow("same folder twice, OK") << false << QMessageBox::Ok;
    QTest::newRow("same folder twice, Abbrechen") << false << QMessageBox::Cancel;
}

// The lists start on the folders the main window shows. Saving one folder for both sides asks
// first, and saves only on OK.
void tst_ConfigWindow::opensWithoutConfigAndSavesTheFoldersShown()
{
    QFETCH(bool, fromMainWindow);
    QFETCH(QMessageBox::StandardButton, answer);

    QWidget mainWindow;
    auto *window = new frm_config(&mainWindow, fromMainWindow ? tonvola::StoredFolders{m_source, m_player}
                                                              : tonvola::StoredFolders{});
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    QVERIFY(!mainWindow.isEnabled());

    const QString shown1 = child<DirListBox>(window, "Dir1")->path();
    const QString shown2 = child<DirListBox>(window, "Dir2")->path();
    QCOMPARE(shown1, fromMainWindow ? m_source : m_work->path());
    QCOMPARE(shown2, fromMainWindow ? m_player : m_work->path());
    QCOMPARE(child<DriveListBox>(window, "Drive1")->drive(), tonvola::fs::volumes::rootOf(shown1));

    testsupport::MessageBoxAnswerer answerer(answer);
    QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
    if (fromMainWindow) {
        QCOMPARE(answerer.count(), 0);
    } else {
        QCOMPARE(answerer.texts(),
                 QStringList{u"StammVerzeichnis und Mp3 Player Verzeichnis sind dasselbe "
                             "Verzeichnis: %1\nDamit kann Tonvola nicht füllen. Trotzdem speichern?"_s.arg(
                                 QDir::toNativeSeparators(m_work->path()))});
        QCOMPARE(answerer.boxes().constFirst().defaultButton, u"Abbrechen"_s);
    }
    if (answer == QMessageBox::Cancel) {
        QTest::qWait(50);
        QVERIFY(!guard.isNull());
        QVERIFY(!mainWindow.isEnabled());
        QVERIFY(!QFile::exists(u"config.dat"_s));
        return;
    }
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    // Never a lone separator: the folders on show are what a user expects to be stored.
    QCOMPARE(testsupport::readBytes(u"config.dat"_s), tonvola::config::serialize(shown1, shown2));
}

void tst_ConfigWindow::opensWithStoredFolders_data()
{
    QTest::addColumn<bool>("rootFolder");
    QTest::newRow("folders") << false;
    QTest::newRow("root folder") << true;
}

void tst_ConfigWindow::opensWithStoredFolders()
{
    QFETCH(bool, rootFolder);
    const QString player = rootFolder ? QDir::rootPath() : m_player;
    QVERIFY(tonvola::config::save(m_source, player).ok());

    frm_config window;
    QCOMPARE(child<DirListBox>(&window, "Dir1")->path(), m_source);
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), player);
    QCOMPARE(child<DriveListBox>(&window, "Drive2")->drive(), tonvola::fs::volumes::rootOf(player));

    // Saving at once stores exactly what was loaded.
    const QByteArray before = testsupport::readBytes(u"config.dat"_s);
    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(testsupport::readBytes(u"config.dat"_s), before);
}

void tst_ConfigWindow::missingStoredFolderLeavesOnlyItsListAtTheStart_data()
{
    QTest::addColumn<bool>("fromMainWindow");
    QTest::newRow("opened alone") << false;
    QTest::newRow("opened on the main window's folders") << true;
}

// A stored folder that cannot be shown leaves its list on the folder it starts on: the main
// window's where it gave them. The stored folder that can be shown replaces the main window's.
void tst_ConfigWindow::missingStoredFolderLeavesOnlyItsListAtTheStart()
{
    QFETCH(bool, fromMainWindow);
    QVERIFY(tonvola::config::save(m_work->filePath(u"fehlt"_s), m_player).ok());
    const DirListBox fresh;
    const QString shownSource = QDir(m_source).filePath(u"Rock, Pop"_s);

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    frm_config window(nullptr,
                      fromMainWindow ? tonvola::StoredFolders{shownSource, m_source} : tonvola::StoredFolders{});
    QCOMPARE(child<DirListBox>(&window, "Dir1")->path(), fromMainWindow ? shownSource : fresh.path());
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), m_player);
    QTest::qWait(50);
    QCOMPARE(answerer.count(), 0);
}

void tst_ConfigWindow::savesFoldersAfterBrowsing_data()
{
    QTest::addColumn<bool>("withConfig");
    // The source folder typed after Ctrl+L, the player folder dropped from a file manager.
    QTest::addColumn<bool>("named");
    QTest::newRow("without config.dat") << false << false;
    QTest::newRow("with config.dat") << true << false;
    QTest::newRow("typed and dropped") << true << true;
}

void tst_ConfigWindow::savesFoldersAfterBrowsing()
{
    QFETCH(bool, withConfig);
    QFETCH(bool, named);
    if (withConfig)
        QVERIFY(tonvola::config::save(m_work->path(), m_work->path()).ok());

    frm_config window;
    const QString source = QDir(m_source).filePath(u"Rock, Pop"_s);
    const QString player = QDir(m_player).filePath(u"Musik"_s);
    if (named) {
        window.show();
        QVERIFY(testsupport::tabTo(child<DirListBox>(&window, "Dir1")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
        auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(field);
        field->clear();
        QTest::keyClicks(field, QDir::toNativeSeparators(source));
        QTest::keyClick(field, Qt::Key_Return);
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(player)});
        QDragEnterEvent enter({5, 5}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(child<DriveListBox>(&window, "Drive2"), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop({5, 5}, Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(child<DriveListBox>(&window, "Drive2"), &drop);
        QTRY_COMPARE(child<DirListBox>(&window, "Dir2")->path(), player);
    } else {
        QVERIFY(child<DirListBox>(&window, "Dir1")->setPath(m_source).ok());
        QVERIFY(child<DirListBox>(&window, "Dir1")->setPath(source).ok());
        QVERIFY(child<DirListBox>(&window, "Dir2")->setPath(player).ok());
    }
    QCOMPARE(child<DriveListBox>(&window, "Drive1")->drive(), tonvola::fs::volumes::rootOf(source));

    QTest::mouseClick(child<QPushButton>(&window, "cmd_save"), Qt::LeftButton);
    const std::optional<tonvola::StoredFolders> stored = tonvola::config::load();
    QVERIFY(stored.has_value());
    QCOMPARE(stored->source, QDir::toNativeSeparators(source) + QDir::separator());
    QCOMPARE(stored->player, QDir::toNativeSeparators(player) + QDir::separator());
}

void tst_ConfigWindow::choosingAnotherDriveMovesItsList()
{
    testsupport::TmpfsMount card(u"size=1m"_s);
    REQUIRE_FIXTURE(card);
    QVERIFY(tonvola::config::save(m_source, m_player).ok());

    QVERIFY(QDir(card.path()).mkdir(u"Alben"_s));
    const QString album = QDir(card.path()).filePath(u"Alben"_s);

    frm_config window;
    auto *drive2 = child<DriveListBox>(&window, "Drive2");
    auto *dir2 = child<DirListBox>(&window, "Dir2");
    const auto choose = [drive2](const QString &root) {
        const int index = drive2->findText(QDir::toNativeSeparators(root), Qt::MatchStartsWith);
        drive2->setCurrentIndex(index);
        return index >= 0;
    };
    QTRY_VERIFY(drive2->findText(QDir::toNativeSeparators(card.path()), Qt::MatchStartsWith) >= 0);

    // A drive not shown before opens at its root.
    QVERIFY(choose(card.path()));
    QCOMPARE(drive2->drive(), card.path());
    QCOMPARE(dir2->path(), card.path());
    QVERIFY(dir2->setPath(album).ok());

    // Each drive then opens at the folder shown on it last, as in the main window.
    QVERIFY(choose(tonvola::fs::volumes::rootOf(m_player)));
    QCOMPARE(dir2->path(), m_player);
    QVERIFY(choose(card.path()));
    QCOMPARE(dir2->path(), album);

    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(testsupport::readBytes(u"config.dat"_s), tonvola::config::serialize(m_source, album));
}

void tst_ConfigWindow::driveNotReadyWarnsAndReturnsTheDriveList()
{
    // A card reader whose card was pulled: listed a moment ago, gone when chosen.
    if (!testsupport::runningAsRoot())
        QSKIP("needs root to mount and unmount a card (tmpfs); run the tests as root");
    QVERIFY(QDir(m_work->path()).mkdir(u"leser"_s));
    const QString reader = m_work->filePath(u"leser"_s);
    QCOMPARE(QProcess::execute(u"mount"_s, {u"-t"_s, u"tmpfs"_s, u"-o"_s, u"size=1m"_s, u"tmpfs"_s, reader}), 0);
    QVERIFY(tonvola::config::save(m_source, m_player).ok());

    frm_config window;
    auto *drive2 = child<DriveListBox>(&window, "Drive2");
    drive2->refresh();
    const int index = drive2->findText(QDir::toNativeSeparators(reader), Qt::MatchStartsWith);
    QCOMPARE(QProcess::execute(u"umount"_s, {reader}), 0);
    QVERIFY(QDir(m_work->path()).rmdir(u"leser"_s));
    QVERIFY(index >= 0);

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    drive2->setCurrentIndex(index);
    QCOMPARE(answerer.count(), 1);
    QVERIFY2(answerer.texts().constFirst().startsWith(
                 u"Das Laufwerk %1 ist nicht bereit: "_s.arg(QDir::toNativeSeparators(reader))),
             qPrintable(answerer.texts().constFirst()));
    QCOMPARE(child<DirListBox>(&window, "Dir2")->path(), m_player);
    QCOMPARE(drive2->drive(), tonvola::fs::volumes::rootOf(m_player));
    QCOMPARE(drive2->currentText(),
             drive2->itemText(drive2->findText(QDir::toNativeSeparators(tonvola::fs::volumes::rootOf(m_player)),
                                               Qt::MatchStartsWith)));

    child<QAction>(&window, "mnuSave")->trigger();
    QCOMPARE(testsupport::readBytes(u"config.dat"_s), tonvola::config::serialize(m_source, m_player));
}

void tst_ConfigWindow::closeLeavesTheFileUnchanged()
{
    // An old file with a tail: a rewrite would show.
    QByteArray old = tonvola::config::serialize(m_source, m_player);
    old += "\"/alter/Rest/\"\r\n";
    QVERIFY(testsupport::writeBytes(u"config.dat"_s, old));

    QWidget mainWindow;
    auto *window = new frm_config(&mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    QVERIFY(child<DirListBox>(window, "Dir1")->setPath(QDir(m_source).filePath(u"Rock, Pop"_s)).ok());
    QVERIFY(child<DirListBox>(window, "Dir2")->setPath(m_work->path()).ok());

    child<QAction>(window, "mnuClose")->trigger();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    QCOMPARE(testsupport::readBytes(u"config.dat"_s), old);
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
    QTest::newRow("Enter on Speichern") << CloseWay::EnterOnSave << true;
    QTest::newRow("Enter on the lists, then Esc") << CloseWay::Escape << false;
}

void tst_ConfigWindow::mainWindowEnabledAfterEveryWayOfClosing()
{
    QFETCH(CloseWay, way);
    QFETCH(bool, saves);

    QWidget mainWindow;
    mainWindow.show();
    auto *window = new frm_config(&mainWindow, {m_source, m_player});
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
    case CloseWay::EnterOnSave:
        QVERIFY(testsupport::tabTo(child<QPushButton>(window, "cmd_save")));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        break;
    case CloseWay::Escape:
        // Enter on a list opens or chooses there; it never saves by surprise.
        for (const char *name : {"Drive1", "Dir1", "Drive2", "Dir2"}) {
            QVERIFY(testsupport::tabTo(child<QWidget>(window, name)));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
        QTest::qWait(50);
        QVERIFY(!guard.isNull());
        QVERIFY(!QFile::exists(u"config.dat"_s));
        QTest::keyClick(window, Qt::Key_Escape);
        break;
    }
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    QCOMPARE(QFile::exists(u"config.dat"_s), saves);
}

void tst_ConfigWindow::failedSaveWarnsAndKeepsTheWindowOpen_data()
{
    QTest::addColumn<bool>("readOnlyMedium");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder protected") << false << u"Der Vorgang ist nicht zulässig (die Datei ist geschützt)"_s;
    QTest::newRow("read-only medium") << true << u"Der Datenträger ist schreibgeschützt"_s;
}

// The message names the file and the reason, in German; the window stays open to try again.
void tst_ConfigWindow::failedSaveWarnsAndKeepsTheWindowOpen()
{
    QFETCH(bool, readOnlyMedium);
    QFETCH(QString, reason);

    // The medium Tonvola was started on, with config.dat on it.
    std::optional<testsupport::TmpfsMount> medium;
    if (readOnlyMedium) {
        medium.emplace(u"size=1m"_s);
        REQUIRE_FIXTURE(*medium);
        QVERIFY(QDir::setCurrent(medium->path()));
    }
    const auto leave = qScopeGuard([&] { QDir::setCurrent(m_work->path()); });
    const QString work = QDir::currentPath();
    const QByteArray old = tonvola::config::serialize(m_source, m_player);
    QVERIFY(testsupport::writeBytes(u"config.dat"_s, old));

    QWidget mainWindow;
    auto *window = new frm_config(&mainWindow);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<frm_config> guard(window);
    window->show();
    QVERIFY(child<DirListBox>(window, "Dir2")->setPath(m_work->path()).ok());

    {
        std::optional<testsupport::ImmutableFile> lockedFolder;
        if (readOnlyMedium) {
            QCOMPARE(QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, work}), 0);
        } else {
            lockedFolder.emplace(work);
            REQUIRE_FIXTURE(*lockedFolder);
        }
        const auto writable = qScopeGuard([&] {
            if (readOnlyMedium)
                QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,rw"_s, work});
        });
        testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
        QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
        const QString file = QDir::toNativeSeparators(QDir(work).filePath(u"config.dat"_s));
        QCOMPARE(answerer.texts(),
                 QStringList{u"Die Konfiguration konnte nicht in %1 gespeichert werden: %2"_s.arg(file, reason)});
        QVERIFY(!guard.isNull());
        QVERIFY(window->isVisible());
        QVERIFY(!mainWindow.isEnabled());
        QCOMPARE(testsupport::readBytes(u"config.dat"_s), old);
    }

    // Once the folder takes files again, the same window saves.
    child<QAction>(window, "mnuSave")->trigger();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(mainWindow.isEnabled());
    QCOMPARE(testsupport::readBytes(u"config.dat"_s), tonvola::config::serialize(m_source, m_work->path()));
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

    QVERIFY(child<DirListBox>(window, "Dir2")->setPath(QDir(m_player).filePath(u"Musik"_s)).ok());
    QTest::mouseClick(child<QPushButton>(window, "cmd_save"), Qt::LeftButton);
    QTRY_VERIFY(window.isNull());
    QVERIFY(main->isEnabled());
    QCOMPARE(tonvola::config::load()->player,
             QDir::toNativeSeparators(QDir(m_player).filePath(u"Musik"_s)) + QDir::separator());
    // The main window's panes keep their folders until the next start.
    QCOMPARE(child<DirListBox>(main, "Dir2")->path(), m_player);

    // A new opening starts afresh and loads the file again.
    child<QAction>(main, "mnuConfig")->trigger();
    window = openConfigWindow();
    QVERIFY(window);
    QCOMPARE(child<DirListBox>(window, "Dir2")->path(), QDir(m_player).filePath(u"Musik"_s));
    child<QAction>(window, "mnuClose")->trigger();
    QTRY_VERIFY(window.isNull());
    QVERIFY(main->isEnabled());
}

QTEST_MAIN(tst_ConfigWindow)
#include "tst_configwindow.moc"
