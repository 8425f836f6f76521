#include "TestSupport.h"

#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "platform/Path.h"
#include "platform/Volumes.h"
#include "widgets/DirListBox.h"
#include "widgets/DriveListBox.h"
#include "widgets/FileListBox.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QCompleter>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QStatusBar>
#include <QTest>
#include <QToolTip>
#include <QTreeWidgetItemIterator>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <optional>

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
    // Names the stored folders that are missing.
    QLabel *waiting = form->findChild<QLabel *>(u"StatusPanelWaiting"_s);

    [[nodiscard]] bool complete() const
    {
        return drive1 && drive2 && dir1 && dir2 && file1 && file2 && statusBar && freeSpace && waiting;
    }
    // What the commands that change files answer; empty where they would go ahead.
    [[nodiscard]] QStringList refusals() const
    {
        testsupport::MessageBoxAnswerer answerer(QMessageBox::Cancel);
        for (const char *command : {"mnutonvola", "mnuclear"})
            form->findChild<QAction *>(QLatin1String(command))->trigger();
        return answerer.texts();
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

// Drops a folder from a file manager on a control; true when the control took it.
bool dropFolder(QWidget *control, const QString &path)
{
    auto *view = qobject_cast<QAbstractScrollArea *>(control);
    QWidget *target = view ? view->viewport() : control;
    QMimeData data;
    // As a file manager writes it: the path's bytes, percent-escaped.
    data.setUrls({QUrl::fromEncoded("file://" + tonvola::fs::nativePath(path).toPercentEncoding("/"))});
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

// Ctrl+L where the control has the focus, then the path typed into the field that opens.
QLineEdit *typePath(QWidget *control, const QString &path)
{
    if (!testsupport::tabTo(control))
        return nullptr;
    QTest::keyClick(control, Qt::Key_L, Qt::ControlModifier);
    // A field without a name would be nothing to a screen reader.
    auto *field = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    if (!field || !field->isVisible() || field->accessibleName().isEmpty())
        return nullptr;
    field->clear();
    QTest::keyClicks(field, path);
    return field;
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

// How the user chooses a folder.
enum class Choice { Mouse, Keys, Drop, Typed };

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

Q_DECLARE_METATYPE(Choice)

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
    void longNameShowsWholeInTheTooltip();
    void folderChoiceShowsFileList_data();
    void folderChoiceShowsFileList();
    void fileListFollowsTheFolderOnDisk();
    void folderRemovedWhileShown();
    void playerMediumComesAndGoes_data();
    void playerMediumComesAndGoes();
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
    // A start without config.dat opens on the user's music or home folder: the test's own.
    qputenv("HOME", QFile::encodeName(m_home->path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home->filePath(u".config"_s)));
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
    // The missing folders the status bar names.
    QTest::addColumn<QStringList>("waiting");

    // Folders are given relative to the test's home and made absolute in the test.
    QTest::newRow("two folders") << QByteArray("\"@/Musik/\"\r\n\"@/Player/\"\r\n") << u"Musik"_s << u"Player"_s << true
                                 << true << QStringList();
    QTest::newRow("source folder missing") << QByteArray("\"@/Fehlt/\"\r\n\"@/Player/\"\r\n") << QString()
                                           << u"Player"_s << false << true << QStringList{u"@/Fehlt"_s};
    QTest::newRow("player medium missing") << QByteArray("\"@/Musik/\"\r\n\"/media/fehlt/Stick/\"\r\n") << u"Musik"_s
                                           << QString() << true << false << QStringList{u"/media/fehlt/Stick"_s};
    QTest::newRow("both missing") << QByteArray("\"@/Fehlt/\"\r\n\"/media/fehlt/Stick/\"\r\n") << QString() << QString()
                                  << false << false << QStringList{u"@/Fehlt"_s, u"/media/fehlt/Stick"_s};
    QTest::newRow("one line only") << QByteArray("\"@/Musik/\"\r\n") << QString() << QString() << false << false
                                   << QStringList();
    QTest::newRow("value without a drive")
        << QByteArray("\"Musik/\"\r\n\"@/Player/\"\r\n") << QString() << u"Player"_s << false << true << QStringList();
    QTest::newRow("other system's drive") << QByteArray("\"D:\\Musik\\\"\r\n\"\\\\server\\mp3\\\"\r\n") << QString()
                                          << QString() << false << false << QStringList();
    QTest::newRow("empty file") << QByteArray() << QString() << QString() << false << false << QStringList();
    // Folders named in Latin-1 bytes, as old sticks have: shown with a replacement character.
    QTest::newRow("Latin-1 folders") << QByteArray("\"@/Musik-\xe4/\"\r\n\"@/Player-\xe4/\"\r\n")
                                     << tonvola::fs::pathFromNative("Musik-\xe4")
                                     << tonvola::fs::pathFromNative("Player-\xe4") << true << true << QStringList();
    QTest::newRow("Latin-1 folder missing") << QByteArray("\"@/Fehlt-\xe4/\"\r\n\"@/Player/\"\r\n") << QString()
                                            << u"Player"_s << false << true << QStringList{u"@/Fehlt-\ufffd"_s};
    // No config.dat at all, as at a first start from the menu: both panes on the user's music
    // (the desktop's XDG_MUSIC_DIR), or on the home folder where there is none. Nothing is chosen.
    QTest::newRow("no config.dat: the music folder")
        << QByteArray("none, music @/Musik") << u"Musik"_s << u"Musik"_s << false << false << QStringList();
    QTest::newRow("no config.dat, no music folder: home")
        << QByteArray("none, music @/Fehlt") << u"Player"_s << u"Player"_s << false << false << QStringList();
}

void PanesTest::startUpShowsEachStoredFolderItCan()
{
    QFETCH(QByteArray, config);
    QFETCH(QString, source);
    QFETCH(QString, player);
    QFETCH(bool, sourceVisible);
    QFETCH(bool, playerVisible);
    QFETCH(QStringList, waiting);
    config.replace('@', m_home->path().toLocal8Bit());
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldConfigHome = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (oldConfigHome.isNull())
            qunsetenv("XDG_CONFIG_HOME");
        else
            qputenv("XDG_CONFIG_HOME", oldConfigHome);
    });
    if (config.startsWith("none, music ")) {
        const QString settings = folder(u"einstellungen"_s);
        QVERIFY(QDir().mkpath(settings));
        QVERIFY(testsupport::writeBytes(settings + u"/user-dirs.dirs"_s, "XDG_MUSIC_DIR=\"" + config.mid(12) + "\"\n"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings));
        qputenv("HOME", QFile::encodeName(folder(u"Player"_s)));
    } else {
        QVERIFY(writeConfig(config));
    }
    // Folders named in bytes that are no text are Musik and Player renamed so, and back at the end.
    const auto rename = [this](const QString &from, const QString &to) {
        return ::rename(tonvola::fs::nativePath(folder(from)).constData(),
                        tonvola::fs::nativePath(folder(to)).constData())
               == 0;
    };
    const bool latin1 = !source.isEmpty() && tonvola::fs::shownPath(source) != source;
    if (latin1)
        QVERIFY(rename(u"Musik"_s, source) && rename(u"Player"_s, player));
    const auto renameBack =
        qScopeGuard([&] { (void)(latin1 && rename(source, u"Musik"_s) && rename(player, u"Player"_s)); });

    std::optional<testsupport::MessageBoxAnswerer> answerer(std::in_place, QMessageBox::Ok);
    Window window;
    QVERIFY(window.shown());

    // A pane whose stored folder cannot be shown stays on the working folder.
    const QString sourceShown = source.isEmpty() ? m_home->path() : folder(source);
    const QString playerShown = player.isEmpty() ? m_home->path() : folder(player);
    QCOMPARE(window.dir1->path(), sourceShown);
    QCOMPARE(window.file1->path(), sourceShown);
    QCOMPARE(window.drive1->drive(), tonvola::fs::volumes::rootOf(sourceShown));
    QCOMPARE(window.dir2->path(), playerShown);
    QCOMPARE(window.file2->path(), playerShown);
    QCOMPARE(window.drive2->drive(), tonvola::fs::volumes::rootOf(playerShown));
    QCOMPARE(window.file1->isVisible(), sourceVisible);
    QCOMPARE(window.file2->isVisible(), playerVisible);
    QCOMPARE(window.dir1->currentItem()->text(0), tonvola::fs::shownPath(QFileInfo(sourceShown).fileName()));
    QCOMPARE(window.dir2->currentItem()->text(0), tonvola::fs::shownPath(QFileInfo(playerShown).fileName()));
    if (sourceVisible) {
        const QStringList expected = {u"A.MP3"_s, u"b.mp3"_s, u"Lied.Mp3"_s};
        QCOMPARE(testsupport::entriesOf(window.file1), expected);
    }
    if (playerVisible)
        QCOMPARE(testsupport::entriesOf(window.file2), QStringList{u"z.mp3"_s});
    QVERIFY(window.selectedFile().isEmpty());
    QTest::qWait(100);
    QCOMPARE(answerer->count(), 0);
    answerer.reset();

    // The status bar names each stored folder that is missing, so that the user plugs it in.
    QCOMPARE(window.waiting->isVisible(), !waiting.isEmpty());
    for (const QString &missing : std::as_const(waiting)) {
        const QString path = QDir::toNativeSeparators(QString(missing).replace(u'@', m_home->path()));
        QVERIFY2(window.waiting->text().contains(path), qPrintable(window.waiting->text()));
    }
    // A fill, a clear or a delete acts only on folders the user chose or start-up found.
    QStringList refused;
    if (!playerVisible)
        refused << u"Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus."_s;
    else if (!sourceVisible)
        refused << u"Bitte wählen Sie zuerst das StammVerzeichnis aus."_s;
    if (!refused.isEmpty()) {
        refused << (playerVisible ? u"PlayerVerzeichnis wirklich leeren?"_s
                                  : u"Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus."_s);
        QCOMPARE(window.refusals(), refused);
        QCOMPARE(QDir(m_home->path()).entryList(QDir::Files),
                 QFile::exists(u"config.dat"_s) ? QStringList{u"config.dat"_s} : QStringList());
        QCOMPARE(QDir(folder(u"Player"_s)).entryList(QDir::Files), QStringList{u"z.mp3"_s});
    }
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
    const QString homeVolume = tonvola::fs::volumes::rootOf(m_home->path());

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

void PanesTest::longNameShowsWholeInTheTooltip()
{
    const QString longName = u"Ein Titel, der länger ist als die Liste breit – Live in Wacken 2004.mp3"_s;
    QVERIFY(testsupport::writeFile(folder(u"Player/"_s + longName), 100));
    QVERIFY(storeMusikAndPlayer());
    Window window;
    QVERIFY(window.shown());
    const auto tooltipOver = [&](const QString &name) {
        QToolTip::hideText();
        const QModelIndex entry =
            window.file2->model()->match(window.file2->model()->index(0, 0), Qt::DisplayRole, name).value(0);
        const QPoint at(10, window.file2->visualRect(entry).center().y());
        QHelpEvent hover(QEvent::ToolTip, at, window.file2->viewport()->mapToGlobal(at));
        QApplication::sendEvent(window.file2->viewport(), &hover);
        return QToolTip::text();
    };
    QCOMPARE(tooltipOver(longName), longName + u"\nMit Doppelklick abspielen"_s);
    // A name that shows whole leaves the list's own tooltip.
    QCOMPARE(tooltipOver(u"z.mp3"_s), u"Mit Doppelklick abspielen"_s);
    QToolTip::hideText();
}

void PanesTest::folderChoiceShowsFileList_data()
{
    QTest::addColumn<Choice>("how");
    QTest::newRow("mouse") << Choice::Mouse;
    QTest::newRow("keyboard") << Choice::Keys;
    QTest::newRow("dropped from a file manager") << Choice::Drop;
    QTest::newRow("typed after Ctrl+L") << Choice::Typed;
}

void PanesTest::folderChoiceShowsFileList()
{
    QFETCH(Choice, how);
    const bool withKeys = how == Choice::Keys;
    Window window;
    QVERIFY(window.shown());
    QVERIFY(!window.file1->isVisible());
    QVERIFY(!window.file2->isVisible());

    if (how == Choice::Drop || how == Choice::Typed) {
        // Named by its path, the folder opens at once, chosen as a click would choose it.
        if (how == Choice::Drop) {
            QVERIFY(!dropFolder(window.drive1, folder(u"Musik/b.mp3"_s)));
            QVERIFY(dropFolder(window.drive1, folder(u"Musik"_s)));
        } else {
            QLineEdit *field = typePath(window.drive1, QDir::toNativeSeparators(folder(u"Mu"_s)));
            QVERIFY(field);
            // The field offers the sub-folders of the folder typed so far.
            QTRY_COMPARE(field->completer()->currentCompletion(), QDir::toNativeSeparators(folder(u"Musik"_s)));
            QTest::keyClicks(field, u"sik"_s);
            QTest::keyClick(field, Qt::Key_Return);
            QVERIFY(!field->isVisible());
        }
        QTRY_COMPARE(window.file1->path(), folder(u"Musik"_s));
        QCOMPARE(window.dir1->path(), folder(u"Musik"_s));
        QVERIFY(window.file1->isVisible());
        QCOMPARE(window.file1->listCount(), 3);
        QVERIFY(!window.file2->isVisible());
        // On the other pane, a folder named relative to the one on show, or one named in Latin-1
        // bytes, dropped as a file manager hands it over.
        QString player = folder(u"Player"_s);
        const auto rename = [](const QString &from, const QString &to) {
            return ::rename(tonvola::fs::nativePath(from).constData(), tonvola::fs::nativePath(to).constData()) == 0;
        };
        const auto renameBack = qScopeGuard([&] { (void)rename(player, folder(u"Player"_s)); });
        if (how == Choice::Drop) {
            player = tonvola::fs::pathFromNative(tonvola::fs::nativePath(player) + "-\xe4");
            QVERIFY(rename(folder(u"Player"_s), player));
            QVERIFY(dropFolder(window.dir2, player));
        } else {
            QLineEdit *field = typePath(window.dir2, u"Player"_s);
            QVERIFY(field);
            QTest::keyClick(field, Qt::Key_Enter, Qt::KeypadModifier);
        }
        QTRY_COMPARE(window.file2->path(), player);
        QVERIFY(window.file2->isVisible());
        QCOMPARE(window.dir1->path(), folder(u"Musik"_s));
        return;
    }

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
    QCOMPARE(testsupport::removeFile(selected).status, tonvola::fs::FileResult::Status::PermissionDenied);
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
    QCOMPARE(window.drive1->drive(), tonvola::fs::volumes::rootOf(folder(u"Musik"_s)));
    // Its name stays, greyed, where it was; nothing opens it.
    const QTreeWidgetItem *gone = folderItem(window.dir1, u"Rock"_s);
    QVERIFY(gone && !(gone->flags() & Qt::ItemIsEnabled));
    QVERIFY(window.statusBar->currentMessage().contains(QDir::toNativeSeparators(folder(u"Musik/Rock"_s))));
    // The other pane and the choice of the player folder are untouched.
    QCOMPARE(window.dir2->path(), folder(u"Player"_s));
    QCOMPARE(answerer.count(), 0);
}

void PanesTest::playerMediumComesAndGoes_data()
{
    QTest::addColumn<bool>("atStart");
    // The player folder is the stick's root, whose mount point stays when the stick goes.
    QTest::addColumn<bool>("onRoot");
    QTest::newRow("pulled out while shown, plugged in again") << false << false;
    QTest::newRow("its root pulled out while shown, plugged in again") << false << true;
    QTest::newRow("not plugged in at the start, plugged in later") << true << false;
}

// The player folder on a stick that is missing is named in the status bar, and no command writes
// to what the pane shows meanwhile; once the stick is plugged in, the pane shows the folder again.
void PanesTest::playerMediumComesAndGoes()
{
    QFETCH(bool, atStart);
    QFETCH(bool, onRoot);
    testsupport::TmpfsMount medium(u"size=4m"_s);
    REQUIRE_FIXTURE(medium);
    QVERIFY(QDir(medium.path()).mkdir(u"Musik"_s));
    QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(u"Musik/x.mp3"_s), 100));
    QVERIFY(testsupport::writeFile(QDir(medium.path()).filePath(u"y.mp3"_s), 100));
    // Where the desktop mounts the stick; plugging it in is a mount there.
    QVERIFY(QDir(m_home->path()).mkdir(u"stick"_s));
    const QString stick = folder(u"stick"_s);
    const auto plugIn = [&] { return QProcess::execute(u"mount"_s, {u"--bind"_s, medium.path(), stick}) == 0; };
    const auto pulledOut = qScopeGuard([&] { unmount(stick, true); });
    const QString player = onRoot ? stick : QDir(stick).filePath(u"Musik"_s);
    const QString listed = onRoot ? u"y.mp3"_s : u"x.mp3"_s;
    if (!atStart)
        QVERIFY(plugIn());
    QVERIFY(writeConfig(tonvola::config::serialize(folder(u"Musik"_s), player)));
    std::optional<testsupport::MessageBoxAnswerer> answerer(std::in_place, QMessageBox::Ok);
    Window window;
    QVERIFY(window.shown());

    if (!atStart) {
        QCOMPARE(window.drive2->drive(), stick);
        QCOMPARE(window.file2->listCount(), 1);
        QVERIFY(window.file2->isVisible());
        // Pulled out while in use: the mount point stays behind as an empty folder.
        QVERIFY(unmount(stick, true));
        QTRY_COMPARE_WITH_TIMEOUT(window.drive2->drive(), tonvola::fs::volumes::rootOf(stick), mediaTimeout);
        QCOMPARE(window.drive2->findText(QDir::toNativeSeparators(stick)), -1);
        // The folder went with the stick; the list shows the bare mount point.
        QTRY_COMPARE(window.dir2->path(), stick);
        QTRY_COMPARE(window.file2->listCount(), 0);
    }
    QCOMPARE(answerer->count(), 0);
    answerer.reset();
    QTRY_VERIFY(!window.file2->isVisible());
    QVERIFY2(window.waiting->text().contains(QDir::toNativeSeparators(player)), qPrintable(window.waiting->text()));
    // The room of the disk under the mount point would be false.
    QCOMPARE(window.freeSpace->text(), u"nicht erreichbar"_s);
    if (!atStart) {
        // The lost folder keeps its name in the list, greyed and out of reach.
        QTreeWidgetItem *lost = nullptr;
        for (QTreeWidgetItemIterator it(window.dir2); *it; ++it) {
            if ((*it)->text(0) == QFileInfo(player).fileName())
                lost = *it;
        }
        QVERIFY(lost);
        QVERIFY(!(lost->flags() & Qt::ItemIsEnabled));
        QVERIFY(lost->toolTip(0).contains(u"nicht erreichbar"_s));
    }
    QCOMPARE(window.refusals(), QStringList(2, u"Bitte wählen Sie zuerst das Mp3 Player Verzeichnis aus."_s));

    answerer.emplace(QMessageBox::Ok);
    QVERIFY(plugIn());
    QTRY_VERIFY_WITH_TIMEOUT(window.file2->isVisible(), mediaTimeout);
    QCOMPARE(window.dir2->path(), player);
    QCOMPARE(window.drive2->drive(), stick);
    QCOMPARE(testsupport::entriesOf(window.file2), QStringList{listed});
    QVERIFY(!window.waiting->isVisible());
    QVERIFY(window.freeSpace->text().startsWith(u"Frei: "_s));
    QVERIFY(window.dir2->currentItem()->flags() & Qt::ItemIsEnabled);
    QCOMPARE(answerer->count(), 0);
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
    QCOMPARE(window.drive2->drive(), tonvola::fs::volumes::rootOf(folder(u"Player"_s)));
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
        QCOMPARE(window.drive1->drive(), tonvola::fs::volumes::rootOf(m_home->path()));
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
    standIn.mountPoint = tonvola::fs::volumes::rootOf(folder(u"Player"_s));
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
