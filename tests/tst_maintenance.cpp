#include "TestSupport.h"

#include "app/Application.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "platform/FileName.h"
#include "widgets/FileListBox.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

using testsupport::MessageBoxAnswerer;

namespace {

// A file the user protected: without write permission, or immutable even for root.
class Protection
{
public:
    Protection(const QString &path, bool immutable)
    {
        if (immutable)
            m_immutable.emplace(path);
        else
            m_set = QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    [[nodiscard]] bool valid() const { return m_immutable ? m_immutable->valid() : m_set; }

private:
    std::optional<testsupport::ImmutableFile> m_immutable;
    bool m_set = false;
};

// How the user asks to delete the chosen file.
enum class Way { Menu, Keys, DeleteKey, ContextMenu };

} // namespace

Q_DECLARE_METATYPE(Way)

class tst_Maintenance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clearEmptiesThePlayerFolder_data();
    void clearEmptiesThePlayerFolder();
    void clearStopsAtAFileThatCannotBeDeleted_data();
    void clearStopsAtAFileThatCannotBeDeleted();
    void clearAbbrechenDeletesNothing();
    void clearWithoutAChosenPlayerFolderTouchesNothing();
    void deleteRemovesTheSelectedFile_data();
    void deleteRemovesTheSelectedFile();
    void deleteAnswersOnlyToOk_data();
    void deleteAnswersOnlyToOk();
    void deleteOfAFileThatIsGoneSaysSo();
    void deleteFailureNamesTheFile_data();
    void deleteFailureNamesTheFile();

private:
    void openMainWindow();
    [[nodiscard]] bool addFiles(const QString &folder, const QStringList &names);
    [[nodiscard]] bool clickFile(const char *list, const QString &name);
    [[nodiscard]] FileListBox *fileList(const char *list) const
    {
        return m_window->findChild<FileListBox *>(QLatin1String(list));
    }
    void trigger(const char *action) const { m_window->findChild<QAction *>(QLatin1String(action))->trigger(); }
    [[nodiscard]] QStringList filesIn(const QString &folder) const;

    std::unique_ptr<testsupport::WorkFolder> m_work;
    std::unique_ptr<frm_Start> m_window;
    QString m_source;
    QString m_player;
};

void tst_Maintenance::initTestCase()
{
    tonvola::setupApplication(*qApp);
}

void tst_Maintenance::init()
{
    // Start in the working folder that holds config.dat, as the program does.
    m_work = std::make_unique<testsupport::WorkFolder>();
    QVERIFY(m_work->valid());
    QDir work(m_work->path());
    QVERIFY(work.mkdir(u"Sammlung"_s));
    QVERIFY(work.mkdir(u"Karte"_s));
    m_source = work.filePath(u"Sammlung"_s);
    m_player = work.filePath(u"Karte"_s);
    QVERIFY(tonvola::config::save(m_source, m_player).ok());
    // MP3s in the working folder too: they must survive every command.
    QVERIFY(addFiles(m_work->path(), {u"arbeit.mp3"_s}));
}

void tst_Maintenance::cleanup()
{
    m_window.reset();
    // Names that are no valid text, which QTemporaryDir cannot remove.
    testsupport::removeFiles(m_source);
    testsupport::removeFiles(m_player);
    QVERIFY(QFile::exists(m_work->filePath(u"arbeit.mp3"_s)));
    m_work.reset();
}

void tst_Maintenance::openMainWindow()
{
    m_window = testsupport::showStartWindow();
    QVERIFY(m_window);
    QCOMPARE(fileList("File1")->path(), m_source);
    QCOMPARE(fileList("File2")->path(), m_player);
}

bool tst_Maintenance::addFiles(const QString &folder, const QStringList &names)
{
    for (const QString &name : names) {
        if (!testsupport::writeFile(QDir(folder).filePath(name), 1024))
            return false;
    }
    return true;
}

bool tst_Maintenance::clickFile(const char *list, const QString &name)
{
    return testsupport::clickEntry(fileList(list), name)
           && m_window->selectedFile() == QDir(fileList(list)->path()).filePath(name);
}

QStringList tst_Maintenance::filesIn(const QString &folder) const
{
    QStringList names;
    for (const QByteArray &name : testsupport::fileNamesIn(folder))
        names.append(QFile::decodeName(name));
    return names;
}

void tst_Maintenance::clearEmptiesThePlayerFolder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("empty list") << QStringList() << QStringList();
    QTest::newRow("lower case") << QStringList{u"a.mp3"_s, u"b.mp3"_s} << QStringList();
    QTest::newRow("upper and mixed case") << QStringList{u"LIED.MP3"_s, u"Song.Mp3"_s, u"z.mp3"_s} << QStringList();
    QTest::newRow("other files stay") << QStringList{u"a.mp3"_s, u"cover.jpg"_s, u"liste.m3u"_s, u"mp3"_s}
                                      << QStringList{u"cover.jpg"_s, u"liste.m3u"_s, u"mp3"_s};
}

void tst_Maintenance::clearEmptiesThePlayerFolder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, left);

    QVERIFY(addFiles(m_player, files));
    QVERIFY(addFiles(m_source, {u"a.mp3"_s}));
    openMainWindow();
    auto *file2 = fileList("File2");
    const QStringList before = testsupport::entriesOf(file2);

    MessageBoxAnswerer boxes(QMessageBox::Ok);
    trigger("mnuclear");

    QCOMPARE(boxes.texts(), QStringList{u"PlayerVerzeichnis wirklich leeren?"_s});
    QCOMPARE(boxes.boxes().first().buttons, (QStringList{u"Abbrechen"_s, u"OK"_s}));
    QCOMPARE(boxes.boxes().first().defaultButton, u"Abbrechen"_s);
    QCOMPARE(filesIn(m_player), left);
    QCOMPARE(testsupport::entriesOf(file2), QStringList());
    QCOMPARE(filesIn(m_source), QStringList{u"a.mp3"_s});
    // The chosen file follows the list, which shows none now: "Löschen" cannot aim at a file gone.
    QCOMPARE(m_window->selectedFile(), QString());
    QCOMPARE(file2->listIndex(), -1);
}

// A file the user protected is left; the message names it.
void tst_Maintenance::clearStopsAtAFileThatCannotBeDeleted_data()
{
    QTest::addColumn<bool>("immutable");
    QTest::newRow("no write permission") << false;
    QTest::newRow("immutable") << true;
}

void tst_Maintenance::clearStopsAtAFileThatCannotBeDeleted()
{
    QFETCH(bool, immutable);
    QVERIFY(addFiles(m_player, {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s}));
    const Protection protection(QDir(m_player).filePath(u"b.mp3"_s), immutable);
    REQUIRE_FIXTURE(protection);
    openMainWindow();

    MessageBoxAnswerer boxes(QMessageBox::Ok);
    trigger("mnuclear");

    QCOMPARE(boxes.count(), 2);
    const QString failure = boxes.texts().at(1);
    QVERIFY2(failure.startsWith(u"Die Datei %1 konnte nicht gelöscht werden: "_s.arg(
                 QDir::toNativeSeparators(QDir(m_player).filePath(u"b.mp3"_s)))),
             qPrintable(failure));
    QVERIFY(!failure.endsWith(u": "_s));
    QCOMPARE(filesIn(m_player), (QStringList{u"b.mp3"_s, u"c.mp3"_s}));
    QCOMPARE(testsupport::entriesOf(fileList("File2")), filesIn(m_player));
}

void tst_Maintenance::clearAbbrechenDeletesNothing()
{
    QVERIFY(addFiles(m_player, {u"a.mp3"_s, u"B.MP3"_s}));
    openMainWindow();
    // A file that came after the list was read shows up: the list is read again either way.
    QVERIFY(addFiles(m_player, {u"neu.mp3"_s}));

    MessageBoxAnswerer boxes(QMessageBox::Cancel);
    trigger("mnuclear");

    QCOMPARE(boxes.count(), 1);
    QCOMPARE(filesIn(m_player), (QStringList{u"B.MP3"_s, u"a.mp3"_s, u"neu.mp3"_s}));
    QCOMPARE(testsupport::entriesOf(fileList("File2")), (QStringList{u"a.mp3"_s, u"B.MP3"_s, u"neu.mp3"_s}));
}

void tst_Maintenance::clearWithoutAChosenPlayerFolderTouchesNothing()
{
    // No config.dat: the player list is still hidden and shows no folder the user chose.
    QVERIFY(QFile::remove(u"config.dat"_s));
    m_window = testsupport::showStartWindow();
    QVERIFY(m_window);
    QVERIFY(fileList("File2")->isHidden());

    MessageBoxAnswerer boxes(QMessageBox::Ok);
    trigger("mnuclear");
    QCOMPARE(boxes.count(), 1);
    QVERIFY(boxes.texts().first() != u"PlayerVerzeichnis wirklich leeren?"_s);
}

void tst_Maintenance::deleteRemovesTheSelectedFile_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Way>("way");
    QTest::newRow("source file") << u"File1"_s << u"zwei.mp3"_s << Way::Menu;
    QTest::newRow("player file") << u"File2"_s << u"zwei.mp3"_s << Way::Menu;
    QTest::newRow("upper-case player file") << u"File2"_s << u"LIED.MP3"_s << Way::Menu;
    QTest::newRow("source file, keyboard") << u"File1"_s << u"zwei.mp3"_s << Way::Keys;
    QTest::newRow("player file, keyboard") << u"File2"_s << u"eins.mp3"_s << Way::Keys;
    QTest::newRow("player file, Entf") << u"File2"_s << u"zwei.mp3"_s << Way::DeleteKey;
    QTest::newRow("source file, its context menu") << u"File1"_s << u"eins.mp3"_s << Way::ContextMenu;
    // Shown with a replacement character, deleted by its real bytes.
    QTest::newRow("Latin-1 name") << u"File2"_s << QString::fromLatin1("\xc4rger.mp3") << Way::Menu;
}

void tst_Maintenance::deleteRemovesTheSelectedFile()
{
    QFETCH(QString, list);
    QFETCH(QString, name);
    QFETCH(Way, way);
    const bool withKeys = way == Way::Keys || way == Way::DeleteKey;

    const QList<QByteArray> names{"eins.mp3", "zwei.mp3", "LIED.MP3", "\xc4rger.mp3"};
    for (const QByteArray &native : names) {
        QVERIFY(testsupport::writeNative(m_source, native, "x"));
        QVERIFY(testsupport::writeNative(m_player, native, "x"));
    }
    openMainWindow();
    const QString shown = tonvola::fs::FileName::fromNative(name.toLatin1()).text();
    const QString folder = list == QLatin1String("File1") ? m_source : m_player;
    const QString other = list == QLatin1String("File1") ? m_player : m_source;
    if (withKeys) {
        // Tab into the list: its first entry gets the focus, but nobody chose it.
        QVERIFY(testsupport::tabTo(fileList(qPrintable(list))));
        MessageBoxAnswerer none(QMessageBox::Ok);
        trigger("mnuDelete");
        QCOMPARE(none.count(), 0);
        QVERIFY(m_window->selectedFile().isEmpty());
        QCOMPARE(fileList(qPrintable(list))->listIndex(), -1);
        QVERIFY(testsupport::chooseWithKeys(fileList(qPrintable(list)), shown));
    } else if (way != Way::ContextMenu) {
        QVERIFY(testsupport::clickEntry(fileList(qPrintable(list)), shown));
    }
    const QString path = QDir(folder).filePath(shown);
    if (way != Way::ContextMenu)
        QCOMPARE(m_window->selectedFile(), path);
    // Changed behind the program's back: both lists are read again after the deletion.
    QVERIFY(addFiles(other, {u"neu.mp3"_s}));

    MessageBoxAnswerer boxes(QMessageBox::Ok);
    if (way == Way::Menu || way == Way::Keys) {
        trigger("mnuDelete");
    } else if (way == Way::DeleteKey) {
        QTest::keyClick(fileList(qPrintable(list)), Qt::Key_Delete);
    } else {
        // Right-clicked, the entry is chosen and its menu offers what the menus offer for a file.
        FileListBox *files = fileList(qPrintable(list));
        const QModelIndex entry = files->model()->match(files->model()->index(0, 0), Qt::DisplayRole, shown).value(0);
        QVERIFY(entry.isValid());
        QStringList offered;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (const QAction *action : menu->actions())
                offered << action->objectName();
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().constLast()).center());
        });
        const QPoint at = files->visualRect(entry).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, files->viewport()->mapToGlobal(at));
        QApplication::sendEvent(files->viewport(), &click);
        QCOMPARE(offered, QStringList({u"mnuPlay"_s, u"mnuDelete"_s}));
    }

    QCOMPARE(boxes.texts(), QStringList{u"MP3: "_s + QDir::toNativeSeparators(path) + u" wirklich löschen?"_s});
    QCOMPARE(boxes.boxes().first().defaultButton, u"Abbrechen"_s);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(filesIn(folder).size(), 3);
    QCOMPARE(filesIn(other).size(), 5);
    QCOMPARE(testsupport::entriesOf(fileList("File1")).size(), filesIn(m_source).size());
    QCOMPARE(testsupport::entriesOf(fileList("File2")).size(), filesIn(m_player).size());
    QVERIFY(!testsupport::entriesOf(fileList(qPrintable(list))).contains(shown));

    // The chosen file follows the list: the entry in the deleted one's place, and the next
    // "Löschen" names it.
    FileListBox *files = fileList(qPrintable(list));
    QVERIFY(files->listIndex() >= 0);
    const QString next = QDir(folder).filePath(files->fileName());
    QCOMPARE(m_window->selectedFile(), next);
    trigger("mnuDelete");
    QCOMPARE(boxes.texts().mid(1), QStringList{u"MP3: "_s + QDir::toNativeSeparators(next) + u" wirklich löschen?"_s});
}

void tst_Maintenance::deleteAnswersOnlyToOk_data()
{
    QTest::addColumn<bool>("enterAlone");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("asked"); // the end of the question
    QTest::newRow("Abbrechen") << false << u"bleibt.mp3"_s << u"/bleibt.mp3 wirklich löschen?"_s;
    // A line break in a name must not make a second line of the question.
    QTest::newRow("Enter alone") << true << u"Lied\nkopiert: neu.mp3"_s
                                 << u"/Lied'$'\\n''kopiert: neu.mp3' wirklich löschen?"_s;
}

void tst_Maintenance::deleteAnswersOnlyToOk()
{
    QFETCH(bool, enterAlone);
    QFETCH(QString, name);
    QFETCH(QString, asked);

    QVERIFY(addFiles(m_player, {name}));
    openMainWindow();
    QVERIFY(clickFile("File2", name));

    MessageBoxAnswerer boxes(enterAlone ? QMessageBox::NoButton : QMessageBox::Cancel);
    trigger("mnuDelete");

    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.texts().constFirst().endsWith(asked), qPrintable(boxes.texts().constFirst()));
    QVERIFY(QFile::exists(QDir(m_player).filePath(name)));
}

void tst_Maintenance::deleteOfAFileThatIsGoneSaysSo()
{
    QVERIFY(addFiles(m_player, {u"weg.mp3"_s, u"da.mp3"_s}));
    openMainWindow();
    QVERIFY(clickFile("File2", u"weg.mp3"_s));
    QVERIFY(QFile::remove(QDir(m_player).filePath(u"weg.mp3"_s)));

    MessageBoxAnswerer boxes(QMessageBox::Ok);
    trigger("mnuDelete");

    QCOMPARE(boxes.count(), 1);
    QVERIFY2(boxes.texts().first().contains(QDir::toNativeSeparators(QDir(m_player).filePath(u"weg.mp3"_s))),
             qPrintable(boxes.texts().first()));
    QVERIFY(!boxes.texts().first().endsWith(u"wirklich löschen?"_s));
    QCOMPARE(testsupport::entriesOf(fileList("File2")), QStringList{u"da.mp3"_s});
}

void tst_Maintenance::deleteFailureNamesTheFile_data()
{
    clearStopsAtAFileThatCannotBeDeleted_data();
}

void tst_Maintenance::deleteFailureNamesTheFile()
{
    QFETCH(bool, immutable);
    QVERIFY(addFiles(m_source, {u"fest.mp3"_s}));
    const QString path = QDir(m_source).filePath(u"fest.mp3"_s);
    const Protection protection(path, immutable);
    REQUIRE_FIXTURE(protection);
    openMainWindow();
    QVERIFY(clickFile("File1", u"fest.mp3"_s));

    MessageBoxAnswerer boxes(QMessageBox::Ok);
    trigger("mnuDelete");

    QCOMPARE(boxes.count(), 2);
    QVERIFY2(boxes.texts().at(1).startsWith(
                 u"Die Datei %1 konnte nicht gelöscht werden: "_s.arg(QDir::toNativeSeparators(path))),
             qPrintable(boxes.texts().at(1)));
    QVERIFY(QFile::exists(path));
    QCOMPARE(testsupport::entriesOf(fileList("File1")), QStringList{u"fest.mp3"_s});
}

QTEST_MAIN(tst_Maintenance)
#include "tst_maintenance.moc"
