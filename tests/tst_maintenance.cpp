#include "TestSupport.h"

#include "app/Application.h"
#include "app/FileListBox.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

// What a question box looked like when it came up.
struct SeenBox {
    QString text;
    QStringList buttons;
    QString defaultButton;
};

// Answers every message box that comes up while it lives: questions with the given button, or
// with a bare Enter when no button is given; notices with OK. Records what each box showed.
class BoxWatcher
{
public:
    explicit BoxWatcher(std::optional<QMessageBox::StandardButton> answer) : m_answer(answer)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { respond(); });
        m_timer.start();
    }

    [[nodiscard]] const QList<SeenBox> &seen() const { return m_seen; }
    [[nodiscard]] QStringList texts() const
    {
        QStringList result;
        for (const SeenBox &box : m_seen)
            result.append(box.text);
        return result;
    }

private:
    void respond()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box->property("seen").toBool())
            return;
        box->setProperty("seen", true);
        SeenBox seen{box->text(), {}, box->defaultButton() ? box->defaultButton()->text() : QString()};
        const QList<QAbstractButton *> buttons = box->buttons();
        for (const QAbstractButton *button : buttons)
            seen.buttons.append(button->text());
        seen.buttons.sort();
        m_seen.append(seen);
        const bool question = box->button(QMessageBox::Cancel) != nullptr;
        if (question && !m_answer) {
            QTest::keyClick(box, Qt::Key_Return);
            return;
        }
        box->button(question ? *m_answer : QMessageBox::Ok)->click();
    }

    std::optional<QMessageBox::StandardButton> m_answer;
    QTimer m_timer;
    QList<SeenBox> m_seen;
};

QStringList listed(const FileListBox *list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names.append(list->item(i)->text());
    return names;
}

} // namespace

class tst_Maintenance : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clearEmptiesThePlayerFolder_data();
    void clearEmptiesThePlayerFolder();
    void clearStopsAtAFileThatCannotBeDeleted();
    void clearAbbrechenDeletesNothing();
    void clearWithoutAChosenPlayerFolderTouchesNothing();
    void deleteRemovesTheSelectedFile_data();
    void deleteRemovesTheSelectedFile();
    void deleteAnswersOnlyToOk_data();
    void deleteAnswersOnlyToOk();
    void deleteOfAFileThatIsGoneSaysSo();
    void deleteFailureNamesTheFile();

private:
    void openMainWindow();
    [[nodiscard]] bool addFiles(const QString &folder, const QStringList &names);
    [[nodiscard]] bool clickFile(const char *list, const QString &name);
    [[nodiscard]] QStringList filesIn(const QString &folder) const;

    std::unique_ptr<QTemporaryDir> m_work;
    std::unique_ptr<frm_Start> m_window;
    QString m_previous;
    QString m_source;
    QString m_player;
};

void tst_Maintenance::initTestCase()
{
    tonvola::setupApplication(*qApp);
    m_previous = QDir::currentPath();
}

void tst_Maintenance::init()
{
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    // Start in the working folder that holds config.dat, as the program does.
    QVERIFY(QDir::setCurrent(m_work->path()));
    QDir work(m_work->path());
    QVERIFY(work.mkdir(QStringLiteral("Sammlung")));
    QVERIFY(work.mkdir(QStringLiteral("Karte")));
    m_source = work.filePath(QStringLiteral("Sammlung"));
    m_player = work.filePath(QStringLiteral("Karte"));
    QVERIFY(tonvola::config::save(m_source, m_player).ok());
    // MP3s in the working folder too: they must survive every command.
    QVERIFY(addFiles(m_work->path(), {QStringLiteral("arbeit.mp3")}));
}

void tst_Maintenance::cleanup()
{
    m_window.reset();
    QVERIFY(QDir::setCurrent(m_previous));
    QVERIFY(QFile::exists(m_work->filePath(QStringLiteral("arbeit.mp3"))));
    m_work.reset();
}

void tst_Maintenance::openMainWindow()
{
    m_window = std::make_unique<frm_Start>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QCOMPARE(m_window->findChild<FileListBox *>(QStringLiteral("File1"))->path(), m_source);
    QCOMPARE(m_window->findChild<FileListBox *>(QStringLiteral("File2"))->path(), m_player);
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
    auto *files = m_window->findChild<FileListBox *>(QLatin1String(list));
    const QList<QListWidgetItem *> items = files->findItems(name, Qt::MatchExactly);
    if (items.size() != 1)
        return false;
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, files->visualItemRect(items.first()).center());
    return m_window->selectedFile() == QDir(files->path()).filePath(name);
}

QStringList tst_Maintenance::filesIn(const QString &folder) const
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

void tst_Maintenance::clearEmptiesThePlayerFolder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("left");

    QTest::newRow("empty list") << QStringList() << QStringList();
    QTest::newRow("lower case") << QStringList{QStringLiteral("a.mp3"), QStringLiteral("b.mp3")} << QStringList();
    QTest::newRow("upper and mixed case")
        << QStringList{QStringLiteral("LIED.MP3"), QStringLiteral("Song.Mp3"), QStringLiteral("z.mp3")}
        << QStringList();
    QTest::newRow("other files stay") << QStringList{QStringLiteral("a.mp3"), QStringLiteral("cover.jpg"),
                                                     QStringLiteral("liste.m3u"), QStringLiteral("mp3")}
                                      << QStringList{QStringLiteral("cover.jpg"), QStringLiteral("liste.m3u"),
                                                     QStringLiteral("mp3")};
}

void tst_Maintenance::clearEmptiesThePlayerFolder()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, left);

    QVERIFY(addFiles(m_player, files));
    QVERIFY(addFiles(m_source, {QStringLiteral("a.mp3")}));
    openMainWindow();
    auto *file2 = m_window->findChild<FileListBox *>(QStringLiteral("File2"));
    const QStringList before = listed(file2);

    BoxWatcher boxes(QMessageBox::Ok);
    m_window->findChild<QAction *>(QStringLiteral("mnuclear"))->trigger();

    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("PlayerVerzeichnis wirklich leeren?")});
    QCOMPARE(boxes.seen().first().buttons, (QStringList{QStringLiteral("Abbrechen"), QStringLiteral("OK")}));
    QCOMPARE(boxes.seen().first().defaultButton, QStringLiteral("Abbrechen"));
    QCOMPARE(filesIn(m_player), left);
    QCOMPARE(listed(file2), QStringList());
    QCOMPARE(filesIn(m_source), QStringList{QStringLiteral("a.mp3")});
    // The clear steps through the list, so the last entry ends up selected.
    QCOMPARE(m_window->selectedFile(), before.isEmpty() ? QString() : QDir(m_player).filePath(before.last()));
}

void tst_Maintenance::clearStopsAtAFileThatCannotBeDeleted()
{
    QVERIFY(addFiles(m_player, {QStringLiteral("a.mp3"), QStringLiteral("b.mp3"), QStringLiteral("c.mp3")}));
    testsupport::ImmutableFile stuck(QDir(m_player).filePath(QStringLiteral("b.mp3")));
    QVERIFY(stuck.valid());
    openMainWindow();

    BoxWatcher boxes(QMessageBox::Ok);
    m_window->findChild<QAction *>(QStringLiteral("mnuclear"))->trigger();

    QCOMPARE(boxes.seen().size(), 2);
    const QString failure = boxes.texts().at(1);
    QVERIFY2(failure.startsWith(QStringLiteral("Die Datei %1 konnte nicht gelöscht werden: ")
                                    .arg(QDir::toNativeSeparators(QDir(m_player).filePath(QStringLiteral("b.mp3"))))),
             qPrintable(failure));
    QVERIFY(!failure.endsWith(QStringLiteral(": ")));
    QCOMPARE(filesIn(m_player), (QStringList{QStringLiteral("b.mp3"), QStringLiteral("c.mp3")}));
    QCOMPARE(listed(m_window->findChild<FileListBox *>(QStringLiteral("File2"))), filesIn(m_player));
}

void tst_Maintenance::clearAbbrechenDeletesNothing()
{
    QVERIFY(addFiles(m_player, {QStringLiteral("a.mp3"), QStringLiteral("B.MP3")}));
    openMainWindow();
    // A file that came after the list was read shows up: the list is read again either way.
    QVERIFY(addFiles(m_player, {QStringLiteral("neu.mp3")}));

    BoxWatcher boxes(QMessageBox::Cancel);
    m_window->findChild<QAction *>(QStringLiteral("mnuclear"))->trigger();

    QCOMPARE(boxes.seen().size(), 1);
    QCOMPARE(filesIn(m_player),
             (QStringList{QStringLiteral("B.MP3"), QStringLiteral("a.mp3"), QStringLiteral("neu.mp3")}));
    QCOMPARE(listed(m_window->findChild<FileListBox *>(QStringLiteral("File2"))),
             (QStringList{QStringLiteral("a.mp3"), QStringLiteral("B.MP3"), QStringLiteral("neu.mp3")}));
}

void tst_Maintenance::clearWithoutAChosenPlayerFolderTouchesNothing()
{
    // No config.dat: the player list is still hidden and shows no folder the user chose.
    QVERIFY(QFile::remove(QStringLiteral("config.dat")));
    m_window = std::make_unique<frm_Start>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(m_window->findChild<FileListBox *>(QStringLiteral("File2"))->isHidden());

    BoxWatcher boxes(QMessageBox::Ok);
    m_window->findChild<QAction *>(QStringLiteral("mnuclear"))->trigger();
    QCOMPARE(boxes.seen().size(), 1);
    QVERIFY(boxes.texts().first() != QStringLiteral("PlayerVerzeichnis wirklich leeren?"));
}

void tst_Maintenance::deleteRemovesTheSelectedFile_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("name");
    QTest::newRow("source file") << "File1"
                                 << "zwei.mp3";
    QTest::newRow("player file") << "File2"
                                 << "zwei.mp3";
    QTest::newRow("upper-case player file") << "File2"
                                            << "LIED.MP3";
}

void tst_Maintenance::deleteRemovesTheSelectedFile()
{
    QFETCH(QString, list);
    QFETCH(QString, name);

    const QStringList names{QStringLiteral("eins.mp3"), QStringLiteral("zwei.mp3"), QStringLiteral("LIED.MP3")};
    QVERIFY(addFiles(m_source, names));
    QVERIFY(addFiles(m_player, names));
    openMainWindow();
    QVERIFY(clickFile(qPrintable(list), name));
    const QString path = m_window->selectedFile();
    const QString folder = list == QLatin1String("File1") ? m_source : m_player;
    const QString other = list == QLatin1String("File1") ? m_player : m_source;
    // Changed behind the program's back: both lists are read again after the deletion.
    QVERIFY(addFiles(other, {QStringLiteral("neu.mp3")}));

    BoxWatcher boxes(QMessageBox::Ok);
    m_window->findChild<QAction *>(QStringLiteral("mnuDelete"))->trigger();

    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("MP3: ") + QDir::toNativeSeparators(path)
                                        + QStringLiteral(" wirklich löschen?")});
    QCOMPARE(boxes.seen().first().defaultButton, QStringLiteral("Abbrechen"));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(filesIn(folder).size(), 2);
    QCOMPARE(filesIn(other).size(), 4);
    QCOMPARE(listed(m_window->findChild<FileListBox *>(QStringLiteral("File1"))).size(), filesIn(m_source).size());
    QCOMPARE(listed(m_window->findChild<FileListBox *>(QStringLiteral("File2"))).size(), filesIn(m_player).size());
    QVERIFY(!listed(m_window->findChild<FileListBox *>(list)).contains(name));
}

void tst_Maintenance::deleteAnswersOnlyToOk_data()
{
    QTest::addColumn<bool>("enterAlone");
    QTest::newRow("Abbrechen") << false;
    QTest::newRow("Enter alone") << true;
}

void tst_Maintenance::deleteAnswersOnlyToOk()
{
    QFETCH(bool, enterAlone);

    QVERIFY(addFiles(m_player, {QStringLiteral("bleibt.mp3")}));
    openMainWindow();
    QVERIFY(clickFile("File2", QStringLiteral("bleibt.mp3")));

    BoxWatcher boxes(enterAlone ? std::nullopt : std::optional(QMessageBox::Cancel));
    m_window->findChild<QAction *>(QStringLiteral("mnuDelete"))->trigger();

    QCOMPARE(boxes.seen().size(), 1);
    QVERIFY(QFile::exists(QDir(m_player).filePath(QStringLiteral("bleibt.mp3"))));
}

void tst_Maintenance::deleteOfAFileThatIsGoneSaysSo()
{
    QVERIFY(addFiles(m_player, {QStringLiteral("weg.mp3"), QStringLiteral("da.mp3")}));
    openMainWindow();
    QVERIFY(clickFile("File2", QStringLiteral("weg.mp3")));
    QVERIFY(QFile::remove(QDir(m_player).filePath(QStringLiteral("weg.mp3"))));

    BoxWatcher boxes(QMessageBox::Ok);
    m_window->findChild<QAction *>(QStringLiteral("mnuDelete"))->trigger();

    QCOMPARE(boxes.seen().size(), 1);
    QVERIFY2(
        boxes.texts().first().contains(QDir::toNativeSeparators(QDir(m_player).filePath(QStringLiteral("weg.mp3")))),
        qPrintable(boxes.texts().first()));
    QVERIFY(!boxes.texts().first().endsWith(QStringLiteral("wirklich löschen?")));
    QCOMPARE(listed(m_window->findChild<FileListBox *>(QStringLiteral("File2"))),
             QStringList{QStringLiteral("da.mp3")});
}

void tst_Maintenance::deleteFailureNamesTheFile()
{
    QVERIFY(addFiles(m_source, {QStringLiteral("fest.mp3")}));
    const QString path = QDir(m_source).filePath(QStringLiteral("fest.mp3"));
    testsupport::ImmutableFile stuck(path);
    QVERIFY(stuck.valid());
    openMainWindow();
    QVERIFY(clickFile("File1", QStringLiteral("fest.mp3")));

    BoxWatcher boxes(QMessageBox::Ok);
    m_window->findChild<QAction *>(QStringLiteral("mnuDelete"))->trigger();

    QCOMPARE(boxes.seen().size(), 2);
    QVERIFY2(boxes.texts().at(1).startsWith(
                 QStringLiteral("Die Datei %1 konnte nicht gelöscht werden: ").arg(QDir::toNativeSeparators(path))),
             qPrintable(boxes.texts().at(1)));
    QVERIFY(QFile::exists(path));
    QCOMPARE(listed(m_window->findChild<FileListBox *>(QStringLiteral("File1"))),
             QStringList{QStringLiteral("fest.mp3")});
}

QTEST_MAIN(tst_Maintenance)
#include "tst_maintenance.moc"
