#include "TestSupport.h"

#include "app/DirListBox.h"
#include "app/DriveListBox.h"
#include "app/FileListBox.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "platform/FileOps.h"
#include "platform/Volumes.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int mediaTimeout = 10000;

bool writeConfig(const QByteArray &content)
{
    return testsupport::writeBytes(u"config.dat"_s, content);
}

bool unmount(const QString &path, bool lazy = false)
{
    QStringList arguments;
    if (lazy)
        arguments.append(u"-l"_s);
    arguments.append(path);
    return QProcess::execute(u"umount"_s, arguments) == 0;
}

// The main window as the user meets it, with its controls found by name.
struct Window {
    std::unique_ptr<frm_Start> form = std::make_unique<frm_Start>();
    DriveListBox *drive1 = form->findChild<DriveListBox *>(u"Drive1"_s);
    DriveListBox *drive2 = form->findChild<DriveListBox *>(u"Drive2"_s);
    DirListBox *dir1 = form->findChild<DirListBox *>(u"Dir1"_s);
    DirListBox *dir2 = form->findChild<DirListBox *>(u"Dir2"_s);
    FileListBox *file1 = form->findChild<FileListBox *>(u"File1"_s);
    FileListBox *file2 = form->findChild<FileListBox *>(u"File2"_s);
    QStatusBar *statusBar = form->findChild<QStatusBar *>(u"StatusBar1"_s);
    QLabel *freeSpace = form->findChild<QLabel *>(u"StatusPanelFree"_s);

    [[nodiscard]] bool complete() const
    {
        return drive1 && drive2 && dir1 && dir2 && file1 && file2 && statusBar && freeSpace;
    }
    [[nodiscard]] bool shown()
    {
        if (!complete())
            return false;
        form->show();
        return QTest::qWaitForWindowExposed(form.get());
    }
    [[nodiscard]] QString selectedFile() const { return form->property("SelectedFile").toString(); }
};

QTreeWidgetItem *folderItem(DirListBox *dir, const QString &name)
{
    const QList<QTreeWidgetItem *> items = dir->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
    return items.size() == 1 ? items.first() : nullptr;
}

// The sub-folders of the folder on show, as the list orders them.
QStringList subFoldersShown(const DirListBox *dir)
{
    QStringList names;
    const QTreeWidgetItem *shown = dir->currentItem();
    for (int i = 0; shown && i < shown->childCount(); ++i)
        names.append(shown->child(i)->text(0));
    return names;
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

using Interfaces = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, Interfaces>;

// UDisks2 as far as taking out a stick goes: one drive with one mounted file system, answering
// as the drive's properties and the unmount's answer say, and noting what it was asked to do.
class StandInUDisks : public QDBusVirtualObject
{
public:
    QString mountPoint;
    QVariantMap drive;
    QString unmountError;
    QStringList done;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        const QString drivePath = u"/org/freedesktop/UDisks2/drives/Stick"_s;
        if (message.member() == u"GetManagedObjects"_s) {
            const QVariantMap block{{u"Drive"_s, QVariant::fromValue(QDBusObjectPath(drivePath))}};
            const QVariantMap filesystem{
                {u"MountPoints"_s, QVariant::fromValue(QList<QByteArray>{QFile::encodeName(mountPoint) + '\0'})}};
            const ManagedObjects objects{
                {QDBusObjectPath(u"/org/freedesktop/UDisks2/block_devices/sdz1"_s),
                 {{u"org.freedesktop.UDisks2.Block"_s, block}, {u"org.freedesktop.UDisks2.Filesystem"_s, filesystem}}},
                {QDBusObjectPath(drivePath), {{u"org.freedesktop.UDisks2.Drive"_s, drive}}}};
            return connection.send(message.createReply(QVariant::fromValue(objects)));
        }
        done << message.member() + u' ' + message.path().section(u'/', -1);
        if (message.member() == u"Unmount"_s && !unmountError.isEmpty())
            return connection.send(message.createErrorReply(unmountError, u"target is busy"_s));
        return connection.send(message.createReply());
    }
};

} // namespace

class PanesTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startUpShowsEachStoredFolderItCan_data();
    void startUpShowsEachStoredFolderItCan();
    void driveChoiceMovesFolderAndFileList();
    void lastClickWinsWhicheverList();
    void folderChoiceShowsFileList_data();
    void folderChoiceShowsFileList();
    void fileListFollowsTheFolderOnDisk();
    void folderRemovedWhileShown();
    void mediumPulledOutWhileShown();
    void driveThatIsNotReadyIsExplained();
    void folderGoneWhenOpenedIsExplained();
    void mountedMediumAppearsInBothDriveLists();
    void freeSpaceOfThePlayerFolderIsShown();
    void ejectTakesThePlayerOut_data();
    void ejectTakesThePlayerOut();

private:
    QString folder(const QString &name) const { return m_home->filePath(name); }
    [[nodiscard]] bool storeMusikAndPlayer() const
    {
        return writeConfig(tonvola::config::serialize(folder(u"Musik"_s), folder(u"Player"_s)));
    }

    std::unique_ptr<testsupport::WorkFolder> m_home;
    std::unique_ptr<testsupport::PrivateBus> m_systemBus;
};

void PanesTest::initTestCase()
{
    m_systemBus = std::make_unique<testsupport::PrivateBus>(testsupport::PrivateBus::Kind::System);
    qDBusRegisterMetaType<QList<QByteArray>>();
    qDBusRegisterMetaType<Interfaces>();
    qDBusRegisterMetaType<ManagedObjects>();
}

void PanesTest::init()
{
    m_home = std::make_unique<testsupport::WorkFolder>();
    QVERIFY(m_home->valid());
    QDir home(m_home->path());
    QVERIFY(home.mkpath(u"Musik/Rock"_s));
    QVERIFY(home.mkpath(u"Player"_s));
    for (const QString &name : {u"Musik/b.mp3"_s, u"Musik/A.MP3"_s, u"Musik/Lied.Mp3"_s, u"Musik/notiz.txt"_s,
                                u"Musik/Rock/r.mp3"_s, u"Player/z.mp3"_s})
        QVERIFY(testsupport::writeFile(home.filePath(name), 100));
}

void PanesTest::cleanup()
{
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
    QTest::newRow("two folders") << QByteArray("\"@/Musik/\"\r\n\"@/Player/\"\r\n") << u"Musik"_s << u"Player"_s << true
                                 << true;
    QTest::newRow("source folder missing")
        << QByteArray("\"@/Fehlt/\"\r\n\"@/Player/\"\r\n") << QString() << u"Player"_s << false << true;
    QTest::newRow("player medium missing")
        << QByteArray("\"@/Musik/\"\r\n\"/media/fehlt/Stick/\"\r\n") << u"Musik"_s << QString() << true << false;
    QTest::newRow("one line only") << QByteArray("\"@/Musik/\"\r\n") << QString() << QString() << false << false;
    QTest::newRow("value without a drive")
        << QByteArray("\"Musik/\"\r\n\"@/Player/\"\r\n") << QString() << u"Player"_s << false << true;
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
        const QStringList expected = {u"A.MP3"_s, u"b.mp3"_s, u"Lied.Mp3"_s};
        QCOMPARE(testsupport::entriesOf(window.file1), expected);
    }
    if (playerVisible)
        QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"z.mp3"_s});
    QVERIFY(window.selectedFile().isEmpty());
    QTest::qWait(100);
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::driveChoiceMovesFolderAndFileList()
{
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    QDir stick(medium.path());
    for (const QString &name : {u"Zugabe"_s, u"ärzte"_s, u"Alben"_s})
        QVERIFY(stick.mkdir(name));
    QVERIFY(testsupport::writeFile(stick.filePath(u"X.MP3"_s), 100));
    QVERIFY(testsupport::writeFile(stick.filePath(u"Alben/y.mp3"_s), 100));
    QVERIFY(storeMusikAndPlayer());

    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.shown());
    const QString homeVolume = tonvola::volumes::rootOf(m_home->path());

    QTRY_VERIFY_WITH_TIMEOUT(chooseDrive(window.drive2, medium.path()), mediaTimeout);
    QCOMPARE(window.drive2->drive(), medium.path());
    QCOMPARE(window.dir2->path(), medium.path());
    QCOMPARE(window.file2->path(), medium.path());
    QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"X.MP3"_s});
    QCOMPARE(subFoldersShown(window.dir2), (QStringList{u"Alben"_s, u"ärzte"_s, u"Zugabe"_s}));

    QVERIFY(openFolder(window.dir2, u"Alben"_s));
    QTRY_COMPARE(window.dir2->path(), stick.filePath(u"Alben"_s));
    QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"y.mp3"_s});
    QCOMPARE(window.drive2->drive(), medium.path());

    // Back on the home volume: its current folder is the one shown there last.
    QVERIFY(chooseDrive(window.drive2, homeVolume));
    QCOMPARE(window.dir2->path(), folder(u"Player"_s));
    QCOMPARE(window.file2->path(), folder(u"Player"_s));
    QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"z.mp3"_s});

    QVERIFY(chooseDrive(window.drive2, medium.path()));
    QCOMPARE(window.dir2->path(), stick.filePath(u"Alben"_s));
    QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"y.mp3"_s});

    // The source pane was never touched.
    QCOMPARE(window.dir1->path(), folder(u"Musik"_s));
    QCOMPARE(window.drive1->drive(), homeVolume);
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::lastClickWinsWhicheverList()
{
    QVERIFY(storeMusikAndPlayer());
    Window window;
    QVERIFY(window.shown());

    QVERIFY(testsupport::clickEntry(window.file1, u"A.MP3"_s));
    QCOMPARE(window.selectedFile(), folder(u"Musik/A.MP3"_s));
    QVERIFY(testsupport::clickEntry(window.file2, u"z.mp3"_s));
    QCOMPARE(window.selectedFile(), folder(u"Player/z.mp3"_s));
    QVERIFY(testsupport::clickEntry(window.file1, u"Lied.Mp3"_s));
    QCOMPARE(window.selectedFile(), folder(u"Musik/Lied.Mp3"_s));
    // Clicking the entry that is already selected in the other list still counts.
    QVERIFY(testsupport::clickEntry(window.file2, u"z.mp3"_s));
    QCOMPARE(window.selectedFile(), folder(u"Player/z.mp3"_s));

    // Selection by the program, as the commands walk a list, counts like a click.
    window.file1->setListIndex(1);
    QCOMPARE(window.selectedFile(), folder(u"Musik/b.mp3"_s));
}

void PanesTest::folderChoiceShowsFileList_data()
{
    QTest::addColumn<bool>("withKeys");
    QTest::newRow("mouse") << false;
    QTest::newRow("keyboard") << true;
}

void PanesTest::folderChoiceShowsFileList()
{
    QFETCH(bool, withKeys);
    Window window;
    QVERIFY(window.shown());
    QVERIFY(!window.file1->isVisible());
    QVERIFY(!window.file2->isVisible());

    if (withKeys) {
        // Focus alone chooses nothing; Down moves to the first sub-folder.
        QVERIFY(testsupport::tabTo(window.dir1));
        QVERIFY(!window.file1->isVisible());
        QTest::keyClick(window.dir1, Qt::Key_Down);
        QCOMPARE(window.dir1->currentItem(), folderItem(window.dir1, u"Musik"_s));
    } else {
        QVERIFY(clickFolder(window.dir1, u"Musik"_s));
    }
    QVERIFY(window.file1->isVisible());
    QVERIFY(!window.file2->isVisible());
    // Choosing does not open; a double-click or Enter does.
    QCOMPARE(window.dir1->path(), m_home->path());
    QCOMPARE(window.file1->path(), m_home->path());

    if (withKeys)
        QTest::keyClick(window.dir1, Qt::Key_Return);
    else
        QVERIFY(openFolder(window.dir1, u"Musik"_s));
    QTRY_COMPARE(window.file1->path(), folder(u"Musik"_s));
    QCOMPARE(window.file1->listCount(), 3);

    // Enter on the folder on show, chosen by nothing else, shows its list too.
    QVERIFY(testsupport::tabTo(window.dir2));
    QVERIFY(!window.file2->isVisible());
    QTest::keyClick(window.dir2, Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(window.file2->isVisible());
    QCOMPARE(window.file2->path(), m_home->path());
}

void PanesTest::fileListFollowsTheFolderOnDisk()
{
    QVERIFY(storeMusikAndPlayer());
    Window window;
    QVERIFY(window.shown());
    QVERIFY(testsupport::clickEntry(window.file2, u"z.mp3"_s));

    const QString added = folder(u"Player/a.mp3"_s);
    QVERIFY(testsupport::writeFile(added, 100));
    const QStringList both = {u"a.mp3"_s, u"z.mp3"_s};
    QTRY_COMPARE(testsupport::entriesOf(window.file2), both);
    QCOMPARE(window.file2->fileName(), u"z.mp3"_s);

    QVERIFY(QFile::remove(added));
    QTRY_COMPARE(testsupport::entriesOf(window.file2), QStringList{u"z.mp3"_s});
    QCOMPARE(window.file2->fileName(), u"z.mp3"_s);

    // A file that cannot be deleted stays listed, and selected, after the failed attempt.
    const QString selected = window.selectedFile();
    testsupport::ImmutableFile locked(selected);
    REQUIRE_FIXTURE(locked);
    QCOMPARE(tonvola::fs::remove(selected).status, tonvola::FileResult::Status::PermissionDenied);
    window.file2->refresh();
    QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"z.mp3"_s});
    QCOMPARE(window.file2->fileName(), u"z.mp3"_s);
    QCOMPARE(window.selectedFile(), selected);
}

void PanesTest::folderRemovedWhileShown()
{
    QVERIFY(writeConfig(tonvola::config::serialize(folder(u"Musik/Rock"_s), folder(u"Player"_s))));
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.shown());
    QVERIFY(testsupport::clickEntry(window.file1, u"r.mp3"_s));

    QVERIFY(QDir(folder(u"Musik/Rock"_s)).removeRecursively());

    QTRY_COMPARE(window.dir1->path(), folder(u"Musik"_s));
    QCOMPARE(window.file1->path(), folder(u"Musik"_s));
    QCOMPARE(window.file1->listCount(), 3);
    QCOMPARE(window.drive1->drive(), tonvola::volumes::rootOf(folder(u"Musik"_s)));
    QVERIFY(!folderItem(window.dir1, u"Rock"_s));
    QVERIFY(window.statusBar->currentMessage().contains(QDir::toNativeSeparators(folder(u"Musik/Rock"_s))));
    // The other pane and the choice of the player folder are untouched.
    QCOMPARE(window.dir2->path(), folder(u"Player"_s));
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::mediumPulledOutWhileShown()
{
    auto medium = std::make_unique<testsupport::TmpfsMount>(u"size=4m"_s);
    REQUIRE_FIXTURE(*medium);
    const QString stick = medium->path();
    QVERIFY(testsupport::writeFile(QDir(stick).filePath(u"x.mp3"_s), 100));
    QVERIFY(writeConfig(tonvola::config::serialize(folder(u"Musik"_s), stick)));
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
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
    QVERIFY(storeMusikAndPlayer());
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.shown());
    QTRY_VERIFY_WITH_TIMEOUT(window.drive2->findText(QDir::toNativeSeparators(medium.path())) >= 0, mediaTimeout);

    // Gone before the list noticed: the user's choice reaches a drive that is no longer there.
    QVERIFY(unmount(medium.path()));
    QVERIFY(chooseDrive(window.drive2, medium.path()));

    QCOMPARE(answerer.count(), 1);
    QVERIFY2(answerer.texts().first().startsWith(
                 u"Das Laufwerk %1 ist nicht bereit: "_s.arg(QDir::toNativeSeparators(medium.path()))),
             qPrintable(answerer.texts().first()));
    QCOMPARE(window.dir2->path(), folder(u"Player"_s));
    QCOMPARE(window.drive2->drive(), tonvola::volumes::rootOf(folder(u"Player"_s)));
    QVERIFY(window.drive2->currentText().startsWith(QDir::toNativeSeparators(window.drive2->drive())));
    QTRY_COMPARE_WITH_TIMEOUT(window.drive2->findText(QDir::toNativeSeparators(medium.path())), -1, mediaTimeout);
}

void PanesTest::folderGoneWhenOpenedIsExplained()
{
    QVERIFY(storeMusikAndPlayer());
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    Window window;
    QVERIFY(window.shown());
    QVERIFY(folderItem(window.dir1, u"Rock"_s));

    // Removed by another program a moment before the user opens it.
    QVERIFY(QDir(folder(u"Musik/Rock"_s)).removeRecursively());
    QVERIFY(openFolder(window.dir1, u"Rock"_s));

    QTRY_COMPARE(answerer.count(), 1);
    QVERIFY2(answerer.texts().first().startsWith(u"Das Verzeichnis %1 kann nicht angezeigt werden: "_s.arg(
                 QDir::toNativeSeparators(folder(u"Musik/Rock"_s)))),
             qPrintable(answerer.texts().first()));
    QCOMPARE(window.dir1->path(), folder(u"Musik"_s));
    QCOMPARE(window.file1->path(), folder(u"Musik"_s));
    QTRY_VERIFY(!folderItem(window.dir1, u"Rock"_s));
}

void PanesTest::mountedMediumAppearsInBothDriveLists()
{
    Window window;
    QVERIFY(window.complete());
    QString root;
    {
        testsupport::TmpfsMount medium(u"size=4m"_s);
        REQUIRE_FIXTURE(medium);
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
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    QVERIFY(writeConfig(tonvola::config::serialize(folder(u"Musik"_s), medium.path())));
    Window window;
    QVERIFY(window.shown());
    QCOMPARE(window.freeSpace->text(), u"Frei: 4,0 MB"_s);

    // Another program fills the medium; the status bar follows.
    QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(u"gross.mp3"_s), 1024 * 1024));
    QTRY_COMPARE(window.freeSpace->text(), u"Frei: 3,0 MB"_s);
    QCOMPARE(window.freeSpace->isVisible(), true);
}

void PanesTest::ejectTakesThePlayerOut_data()
{
    QTest::addColumn<bool>("udisks");
    QTest::addColumn<QString>("drive"); // its properties that are true, as "Removable|CanPowerOff"
    QTest::addColumn<QString>("unmountError");
    QTest::addColumn<QStringList>("done");
    QTest::addColumn<QString>("said");

    const QString out = u"ist ausgeworfen und kann jetzt abgezogen werden."_s;
    QTest::newRow("switched off") << true << u"Removable|CanPowerOff|Ejectable"_s << QString()
                                  << testsupport::names("Unmount sdz1|PowerOff Stick") << out;
    QTest::newRow("ejected where it cannot be switched off")
        << true << u"Removable|Ejectable"_s << QString() << testsupport::names("Unmount sdz1|Eject Stick") << out;
    QTest::newRow("unmounted where the drive can do neither")
        << true << u"Removable"_s << QString() << testsupport::names("Unmount sdz1")
        << u"ist ausgehängt und kann jetzt abgezogen werden."_s;
    QTest::newRow("unmounted already") << true << u"Removable|CanPowerOff"_s
                                       << u"org.freedesktop.UDisks2.Error.NotMounted"_s
                                       << testsupport::names("Unmount sdz1|PowerOff Stick") << out;
    QTest::newRow("busy") << true << u"Removable|CanPowerOff"_s << u"org.freedesktop.UDisks2.Error.DeviceBusy"_s
                          << testsupport::names("Unmount sdz1")
                          << u"weil ein anderes Programm noch Dateien darauf benutzt"_s;
    QTest::newRow("not allowed") << true << u"Removable|CanPowerOff"_s
                                 << u"org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"_s
                                 << testsupport::names("Unmount sdz1")
                                 << u"Das System erlaubt es diesem Benutzer nicht."_s;
    QTest::newRow("the system's own disk") << true << u"CanPowerOff"_s << QString() << QStringList()
                                           << u"keinem Wechselmedium; dort gibt es nichts auszuwerfen."_s;
    QTest::newRow("no UDisks2") << false << QString() << QString() << QStringList()
                                << u"bietet dafür keinen Dienst (UDisks2) an."_s;
}

void PanesTest::ejectTakesThePlayerOut()
{
    QFETCH(bool, udisks);
    QFETCH(QString, drive);
    QFETCH(QString, unmountError);
    QFETCH(QStringList, done);
    QFETCH(QString, said);
    REQUIRE_FIXTURE(*m_systemBus);

    StandInUDisks standIn;
    standIn.mountPoint = tonvola::volumes::rootOf(folder(u"Player"_s));
    for (const QString &property : drive.split(u'|', Qt::SkipEmptyParts))
        standIn.drive.insert(property, true);
    standIn.unmountError = unmountError;
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QDBusConnection bus = QDBusConnection::connectToBus(m_systemBus->address(), name);
    const auto leave = qScopeGuard([&] { QDBusConnection::disconnectFromBus(name); });
    if (udisks) {
        QVERIFY(bus.registerVirtualObject(u"/org/freedesktop/UDisks2"_s, &standIn, QDBusConnection::SubPath));
        QVERIFY(bus.registerService(u"org.freedesktop.UDisks2"_s));
    }

    QVERIFY(storeMusikAndPlayer());
    Window window;
    QVERIFY(window.shown());
    auto *eject = window.form->findChild<QAction *>(u"mnuEject"_s);
    QVERIFY(eject);
    testsupport::MessageBoxAnswerer answerer(QMessageBox::Ok);
    eject->trigger();
    QVERIFY(!eject->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(eject->isEnabled(), mediaTimeout);
    QCOMPARE(standIn.done, done);
    QCOMPARE(answerer.count(), 1);
    QVERIFY2(answerer.texts().constFirst().contains(said), qPrintable(answerer.texts().constFirst()));
}

QTEST_MAIN(PanesTest)
#include "tst_panes.moc"
