#include "TestSupport.h"

#include "app/DirListBox.h"
#include "app/DriveListBox.h"
#include "app/FileListBox.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "platform/FileOps.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace {

constexpr int mediaTimeout = 10000;

QStringList entriesOf(const FileListBox *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names.append(list->item(i)->text());
    return names;
}

bool writeConfig(const QByteArray &content)
{
    QFile file(QStringLiteral("config.dat"));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

bool unmount(const QString &path, bool lazy = false)
{
    QStringList arguments;
    if (lazy)
        arguments.append(QStringLiteral("-l"));
    arguments.append(path);
    return QProcess::execute(QStringLiteral("umount"), arguments) == 0;
}

// The main window as the user meets it, with its controls found by name.
struct Window {
    std::unique_ptr<frm_Start> form = std::make_unique<frm_Start>();
    DriveListBox *drive1 = form->findChild<DriveListBox *>(QStringLiteral("Drive1"));
    DriveListBox *drive2 = form->findChild<DriveListBox *>(QStringLiteral("Drive2"));
    DirListBox *dir1 = form->findChild<DirListBox *>(QStringLiteral("Dir1"));
    DirListBox *dir2 = form->findChild<DirListBox *>(QStringLiteral("Dir2"));
    FileListBox *file1 = form->findChild<FileListBox *>(QStringLiteral("File1"));
    FileListBox *file2 = form->findChild<FileListBox *>(QStringLiteral("File2"));
    QStatusBar *statusBar = form->findChild<QStatusBar *>(QStringLiteral("StatusBar1"));
    QLabel *freeSpace = form->findChild<QLabel *>(QStringLiteral("StatusPanelFree"));

    [[nodiscard]] bool complete() const
    {
        return drive1 && drive2 && dir1 && dir2 && file1 && file2 && statusBar && freeSpace;
    }
    [[nodiscard]] bool shown()
    {
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    [[nodiscard]] QString selectedFile() const { return form->property("SelectedFile").toString(); }
};

bool clickFile(FileListBox *list, const QString &name)
{
    const QList<QListWidgetItem *> items = list->findItems(name, Qt::MatchExactly);
    if (items.size() != 1)
        return false;
    list->scrollToItem(items.first());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(items.first()).center());
    return true;
}

QTreeWidgetItem *folderItem(DirListBox *dir, const QString &name)
{
    const QList<QTreeWidgetItem *> items = dir->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return items.size() == 1 ? items.first() : nullptr;
}

bool clickFolder(DirListBox *dir, const QString &name)
{
    QTreeWidgetItem *item = folderItem(dir, name);
    if (!item)
        return false;
    dir->scrollToItem(item);
    QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, dir->visualItemRect(item).center());
    return true;
}

bool openFolder(DirListBox *dir, const QString &name)
{
    QTreeWidgetItem *item = folderItem(dir, name);
    if (!item)
        return false;
    dir->scrollToItem(item);
    // A double-click reaches the list as a click followed by the double-click itself.
    const QPoint at = dir->visualItemRect(item).center();
    QTest::mouseClick(dir->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(dir->viewport(), Qt::LeftButton, {}, at);
    return true;
}

// Chooses a volume in a drive list as a user picks it from the list.
bool chooseDrive(DriveListBox *drive, const QString &root)
{
    const int index = drive->findText(QDir::toNativeSeparators(root), Qt::MatchStartsWith);
    if (index < 0)
        return false;
    drive->setCurrentIndex(index);
    return true;
}

} // namespace

class PanesTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startUpShowsEachStoredFolderItCan_data();
    void startUpShowsEachStoredFolderItCan();
    void driveChoiceMovesFolderAndFileList();
    void lastClickWinsWhicheverList();
    void folderClickShowsFileList();
    void fileListFollowsTheFolderOnDisk();
    void folderRemovedWhileShown();
    void mediumPulledOutWhileShown();
    void driveThatIsNotReadyIsExplained();
    void folderGoneWhenOpenedIsExplained();
    void mountedMediumAppearsInBothDriveLists();
    void freeSpaceOfThePlayerFolderIsShown();

private:
    QString folder(const QString &name) const { return QDir(m_home->path()).filePath(name); }

    std::unique_ptr<QTemporaryDir> m_home;
    QString m_previousFolder;
};

void PanesTest::init()
{
    // config.dat is read from the working folder, so every test gets its own.
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    m_previousFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_home->path()));
    QDir home(m_home->path());
    QVERIFY(home.mkpath(QStringLiteral("Musik/Rock")));
    QVERIFY(home.mkpath(QStringLiteral("Player")));
    for (const QString &name :
         {QStringLiteral("Musik/b.mp3"), QStringLiteral("Musik/A.MP3"), QStringLiteral("Musik/Lied.Mp3"),
          QStringLiteral("Musik/notiz.txt"), QStringLiteral("Musik/Rock/r.mp3"), QStringLiteral("Player/z.mp3")})
        QVERIFY(testsupport::writeFile(home.filePath(name), 100));
}

void PanesTest::cleanup()
{
    QDir::setCurrent(m_previousFolder);
    m_home.reset();
}

void PanesTest::startUpShowsEachStoredFolderItCan_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("player");
    QTest::addColumn<bool>("sourceVisible");
    QTest::addColumn<bool>("playerVisible");

    // Folders are given relative to the test's home and made absolute in the test.
    QTest::newRow("two folders") << QByteArray("\"@/Musik/\"\r\n\"@/Player/\"\r\n") << QStringLiteral("Musik")
                                 << QStringLiteral("Player") << true << true;
    QTest::newRow("source folder missing")
        << QByteArray("\"@/Fehlt/\"\r\n\"@/Player/\"\r\n") << QString() << QStringLiteral("Player") << false << true;
    QTest::newRow("player medium missing") << QByteArray("\"@/Musik/\"\r\n\"/media/fehlt/Stick/\"\r\n")
                                           << QStringLiteral("Musik") << QString() << true << false;
    QTest::newRow("one line only") << QByteArray("\"@/Musik/\"\r\n") << QString() << QString() << false << false;
    QTest::newRow("value without a drive")
        << QByteArray("\"Musik/\"\r\n\"@/Player/\"\r\n") << QString() << QStringLiteral("Player") << false << true;
    QTest::newRow("other system's drive")
        << QByteArray("\"D:\\Musik\\\"\r\n\"\\\\server\\mp3\\\"\r\n") << QString() << QString() << false << false;
    QTest::newRow("empty file") << QByteArray() << QString() << QString() << false << false;
}

void PanesTest::startUpShowsEachStoredFolderItCan()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, source);
    QFETCH(QString, player);
    QFETCH(bool, sourceVisible);
    QFETCH(bool, playerVisible);
    QVERIFY(writeConfig(config.replace('@', m_home->path().toLocal8Bit())));

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());

    // A pane whose stored folder cannot be shown stays on the working folder.
    const QString sourceShown = source.isEmpty() ? m_home->path() : folder(source);
    const QString playerShown = player.isEmpty() ? m_home->path() : folder(player);
    QCOMPARE(window.dir1->path(), sourceShown);
    QCOMPARE(window.file1->path(), sourceShown);
    QCOMPARE(window.drive1->drive(), tonvola::volumes::rootOf(sourceShown));
    QCOMPARE(window.dir2->path(), playerShown);
    QCOMPARE(window.file2->path(), playerShown);
    QCOMPARE(window.drive2->drive(), tonvola::volumes::rootOf(playerShown));
    QCOMPARE(window.file1->isVisible(), sourceVisible);
    QCOMPARE(window.file2->isVisible(), playerVisible);
    if (sourceVisible) {
        const QStringList expected = {QStringLiteral("A.MP3"), QStringLiteral("b.mp3"), QStringLiteral("Lied.Mp3")};
        QCOMPARE(entriesOf(window.file1), expected);
    }
    if (playerVisible)
        QCOMPARE(entriesOf(window.file2), QStringList{QStringLiteral("z.mp3")});
    QVERIFY(window.selectedFile().isEmpty());
    QTest::qWait(100);
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::driveChoiceMovesFolderAndFileList()
{
    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    QDir stick(medium.path());
    QVERIFY(stick.mkdir(QStringLiteral("Alben")));
    QVERIFY(testsupport::writeFile(stick.filePath(QStringLiteral("X.MP3")), 100));
    QVERIFY(testsupport::writeFile(stick.filePath(QStringLiteral("Alben/y.mp3")), 100));
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), folder(QStringLiteral("Player")))));

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    const QString homeVolume = tonvola::volumes::rootOf(m_home->path());

    QTRY_VERIFY_WITH_TIMEOUT(chooseDrive(window.drive2, medium.path()), mediaTimeout);
    QCOMPARE(window.drive2->drive(), medium.path());
    QCOMPARE(window.dir2->path(), medium.path());
    QCOMPARE(window.file2->path(), medium.path());
    QCOMPARE(entriesOf(window.file2), QStringList{QStringLiteral("X.MP3")});

    QVERIFY(openFolder(window.dir2, QStringLiteral("Alben")));
    QTRY_COMPARE(window.dir2->path(), stick.filePath(QStringLiteral("Alben")));
    QCOMPARE(entriesOf(window.file2), QStringList{QStringLiteral("y.mp3")});
    QCOMPARE(window.drive2->drive(), medium.path());

    // Back on the home volume: its current folder is the one shown there last.
    QVERIFY(chooseDrive(window.drive2, homeVolume));
    QCOMPARE(window.dir2->path(), folder(QStringLiteral("Player")));
    QCOMPARE(window.file2->path(), folder(QStringLiteral("Player")));
    QCOMPARE(entriesOf(window.file2), QStringList{QStringLiteral("z.mp3")});

    QVERIFY(chooseDrive(window.drive2, medium.path()));
    QCOMPARE(window.dir2->path(), stick.filePath(QStringLiteral("Alben")));
    QCOMPARE(entriesOf(window.file2), QStringList{QStringLiteral("y.mp3")});

    // The source pane was never touched.
    QCOMPARE(window.dir1->path(), folder(QStringLiteral("Musik")));
    QCOMPARE(window.drive1->drive(), homeVolume);
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::lastClickWinsWhicheverList()
{
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), folder(QStringLiteral("Player")))));
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());

    QVERIFY(clickFile(window.file1, QStringLiteral("A.MP3")));
    QCOMPARE(window.selectedFile(), folder(QStringLiteral("Musik/A.MP3")));
    QVERIFY(clickFile(window.file2, QStringLiteral("z.mp3")));
    QCOMPARE(window.selectedFile(), folder(QStringLiteral("Player/z.mp3")));
    QVERIFY(clickFile(window.file1, QStringLiteral("Lied.Mp3")));
    QCOMPARE(window.selectedFile(), folder(QStringLiteral("Musik/Lied.Mp3")));
    // Clicking the entry that is already selected in the other list still counts.
    QVERIFY(clickFile(window.file2, QStringLiteral("z.mp3")));
    QCOMPARE(window.selectedFile(), folder(QStringLiteral("Player/z.mp3")));

    // Selection by the program, as the commands walk a list, counts like a click.
    window.file1->setListIndex(1);
    QCOMPARE(window.selectedFile(), folder(QStringLiteral("Musik/b.mp3")));
}

void PanesTest::folderClickShowsFileList()
{
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QVERIFY(!window.file1->isVisible());
    QVERIFY(!window.file2->isVisible());

    QVERIFY(clickFolder(window.dir1, QStringLiteral("Musik")));
    QVERIFY(window.file1->isVisible());
    QVERIFY(!window.file2->isVisible());
    // A click only chooses; the folder opens on a double-click.
    QCOMPARE(window.dir1->path(), m_home->path());
    QCOMPARE(window.file1->path(), m_home->path());

    QVERIFY(openFolder(window.dir1, QStringLiteral("Musik")));
    QTRY_COMPARE(window.file1->path(), folder(QStringLiteral("Musik")));
    QCOMPARE(window.file1->listCount(), 3);
}

void PanesTest::fileListFollowsTheFolderOnDisk()
{
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), folder(QStringLiteral("Player")))));
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QVERIFY(clickFile(window.file2, QStringLiteral("z.mp3")));

    const QString added = folder(QStringLiteral("Player/a.mp3"));
    QVERIFY(testsupport::writeFile(added, 100));
    const QStringList both = {QStringLiteral("a.mp3"), QStringLiteral("z.mp3")};
    QTRY_COMPARE(entriesOf(window.file2), both);
    QCOMPARE(window.file2->fileName(), QStringLiteral("z.mp3"));

    QVERIFY(QFile::remove(added));
    QTRY_COMPARE(entriesOf(window.file2), QStringList{QStringLiteral("z.mp3")});
    QCOMPARE(window.file2->fileName(), QStringLiteral("z.mp3"));

    // A file that cannot be deleted stays listed, and selected, after the failed attempt.
    const QString selected = window.selectedFile();
    testsupport::ImmutableFile locked(selected);
    QVERIFY(locked.valid());
    QCOMPARE(tonvola::fs::remove(selected).status, tonvola::FileResult::Status::PermissionDenied);
    window.file2->refresh();
    QCOMPARE(entriesOf(window.file2), QStringList{QStringLiteral("z.mp3")});
    QCOMPARE(window.file2->fileName(), QStringLiteral("z.mp3"));
    QCOMPARE(window.selectedFile(), selected);
}

void PanesTest::folderRemovedWhileShown()
{
    QVERIFY(writeConfig(
        tonvola::config::serialize(folder(QStringLiteral("Musik/Rock")), folder(QStringLiteral("Player")))));
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QVERIFY(clickFile(window.file1, QStringLiteral("r.mp3")));

    QVERIFY(QDir(folder(QStringLiteral("Musik/Rock"))).removeRecursively());

    QTRY_COMPARE(window.dir1->path(), folder(QStringLiteral("Musik")));
    QCOMPARE(window.file1->path(), folder(QStringLiteral("Musik")));
    QCOMPARE(window.file1->listCount(), 3);
    QCOMPARE(window.drive1->drive(), tonvola::volumes::rootOf(folder(QStringLiteral("Musik"))));
    QVERIFY(!folderItem(window.dir1, QStringLiteral("Rock")));
    QVERIFY(
        window.statusBar->currentMessage().contains(QDir::toNativeSeparators(folder(QStringLiteral("Musik/Rock")))));
    // The other pane and the choice of the player folder are untouched.
    QCOMPARE(window.dir2->path(), folder(QStringLiteral("Player")));
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::mediumPulledOutWhileShown()
{
    auto medium = std::make_unique<testsupport::TmpfsMount>(QStringLiteral("size=4m"));
    QVERIFY(medium->valid());
    const QString stick = medium->path();
    QVERIFY(testsupport::writeFile(QDir(stick).filePath(QStringLiteral("x.mp3")), 100));
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), stick)));
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QCOMPARE(window.drive2->drive(), stick);
    QCOMPARE(window.file2->listCount(), 1);

    // Pulled out while in use: the mount point stays behind as an empty folder.
    QVERIFY(unmount(stick, true));

    QTRY_COMPARE_WITH_TIMEOUT(window.drive2->drive(), tonvola::volumes::rootOf(stick), mediaTimeout);
    QTRY_COMPARE(window.file2->listCount(), 0);
    QCOMPARE(window.drive2->findText(QDir::toNativeSeparators(stick)), -1);
    QCOMPARE(window.dir2->path(), stick);
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::driveThatIsNotReadyIsExplained()
{
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), folder(QStringLiteral("Player")))));
    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QTRY_VERIFY_WITH_TIMEOUT(window.drive2->findText(QDir::toNativeSeparators(medium.path())) >= 0, mediaTimeout);

    // Gone before the list noticed: the user's choice reaches a drive that is no longer there.
    QVERIFY(unmount(medium.path()));
    QVERIFY(chooseDrive(window.drive2, medium.path()));

    QCOMPARE(answerer.count(), 1);
    QVERIFY2(answerer.texts().first().startsWith(
                 QStringLiteral("Das Laufwerk %1 ist nicht bereit: ").arg(QDir::toNativeSeparators(medium.path()))),
             qPrintable(answerer.texts().first()));
    QCOMPARE(window.dir2->path(), folder(QStringLiteral("Player")));
    QCOMPARE(window.drive2->drive(), tonvola::volumes::rootOf(folder(QStringLiteral("Player"))));
    QVERIFY(window.drive2->currentText().startsWith(QDir::toNativeSeparators(window.drive2->drive())));
    QTRY_COMPARE_WITH_TIMEOUT(window.drive2->findText(QDir::toNativeSeparators(medium.path())), -1, mediaTimeout);
}

void PanesTest::folderGoneWhenOpenedIsExplained()
{
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), folder(QStringLiteral("Player")))));
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QVERIFY(folderItem(window.dir1, QStringLiteral("Rock")));

    // Removed by another program a moment before the user opens it.
    QVERIFY(QDir(folder(QStringLiteral("Musik/Rock"))).removeRecursively());
    QVERIFY(openFolder(window.dir1, QStringLiteral("Rock")));

    QTRY_COMPARE(answerer.count(), 1);
    QVERIFY2(
        answerer.texts().first().startsWith(QStringLiteral("Das Verzeichnis %1 kann nicht angezeigt werden: ")
                                                .arg(QDir::toNativeSeparators(folder(QStringLiteral("Musik/Rock"))))),
        qPrintable(answerer.texts().first()));
    QCOMPARE(window.dir1->path(), folder(QStringLiteral("Musik")));
    QCOMPARE(window.file1->path(), folder(QStringLiteral("Musik")));
    QTRY_VERIFY(!folderItem(window.dir1, QStringLiteral("Rock")));
}

void PanesTest::mountedMediumAppearsInBothDriveLists()
{
    Window window;
    QVERIFY(window.complete());
    QString root;
    {
        testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
        QVERIFY(medium.valid());
        root = QDir::toNativeSeparators(medium.path());
        QTRY_VERIFY_WITH_TIMEOUT(window.drive1->findText(root) >= 0 && window.drive2->findText(root) >= 0,
                                 mediaTimeout);
        // Appearing changes nobody's choice.
        QCOMPARE(window.drive1->drive(), tonvola::volumes::rootOf(m_home->path()));
        QCOMPARE(window.dir1->path(), m_home->path());
    }
    QTRY_VERIFY_WITH_TIMEOUT(window.drive1->findText(root) < 0 && window.drive2->findText(root) < 0, mediaTimeout);
}

void PanesTest::freeSpaceOfThePlayerFolderIsShown()
{
    testsupport::TmpfsMount medium(QStringLiteral("size=4m"));
    QVERIFY(medium.valid());
    QVERIFY(writeConfig(tonvola::config::serialize(folder(QStringLiteral("Musik")), medium.path())));
    Window window;
    QVERIFY(window.complete());
    QVERIFY(window.shown());
    QCOMPARE(window.freeSpace->text(), QStringLiteral("Frei: 4,0 MB"));

    // Another program fills the medium; the status bar follows.
    QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(QStringLiteral("gross.mp3")), 1024 * 1024));
    QTRY_COMPARE(window.freeSpace->text(), QStringLiteral("Frei: 3,0 MB"));
    QCOMPARE(window.freeSpace->isVisible(), true);
}

QTEST_MAIN(PanesTest)
#include "tst_panes.moc"
