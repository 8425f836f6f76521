#include "TestSupport.h"

#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "config/Settings.h"
#include "mix/MixRunner.h"
#include "platform/Folder.h"
#include "platform/FolderByPath.h"
#include "platform/Path.h"
#include "platform/PlayerLock.h"
#include "playback/MediaPlayerWidget.h"
#include "playback/PreviewPlayer.h"
#include "widgets/ElidedLabel.h"
#include "widgets/FileListBox.h"

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDialog>
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

using namespace tonvola;
using testsupport::MessageBoxAnswerer;
using testsupport::names;
using testsupport::TmpfsMount;

namespace {

// How the user starts the fill.
enum class Start { Click, Enter, Menu };

// The main window pointed at two folders through config.dat, as a user would have it.
class Window
{
public:
    Window(const QString &source, const QString &player)
    {
        m_ok = m_home.valid() && config::save(source, player).ok();
        if (!m_ok)
            return;
        window = std::make_unique<frm_Start>();
        window->show();
        window->activateWindow();
        m_ok = QTest::qWaitForWindowActive(window.get());
    }
    ~Window() { window.reset(); }
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    [[nodiscard]] bool ok() const { return m_ok && runner() != nullptr; }
    template<typename T> [[nodiscard]] T *find(const char *name) const
    {
        return window->findChild<T *>(QLatin1StringView(name));
    }
    [[nodiscard]] MixRunner *runner() const { return find<MixRunner>("MixRunner"); }
    [[nodiscard]] QString statusText() const { return find<QStatusBar>("StatusBar1")->currentMessage(); }
    // The last fill's summary, whole, as its tooltip gives it.
    [[nodiscard]] QString summaryText() const { return find<ElidedLabel>("StatusSummary")->fullText(); }
    [[nodiscard]] QString selectedFile() const { return QDir::cleanPath(window->selectedFile()); }

    void start(Start way) const
    {
        auto *button = find<QPushButton>("cmd_mix");
        switch (way) {
        case Start::Click:
            QTest::mouseClick(button, Qt::LeftButton);
            break;
        case Start::Enter:
            // The start button has the focus when the window opens.
            QCOMPARE(QApplication::focusWidget(), button);
            QTest::keyClick(button, Qt::Key_Return);
            break;
        case Start::Menu:
            find<QAction>("mnutonvola")->trigger();
            break;
        }
    }

    // The first thing that still shows a running fill; empty when the window is fully usable.
    [[nodiscard]] QString stillLocked() const
    {
        for (const char *name : {"cmd_mix", "File1", "File2", "Dir1", "Dir2", "Drive1", "Drive2"}) {
            if (!find<QWidget>(name)->isEnabled())
                return QString::fromLatin1(name) + u" disabled"_s;
        }
        if (!window->menuBar()->isEnabled())
            return u"menu bar disabled"_s;
        for (const char *name : {"mnutonvola", "mnuclear", "mnuDelete", "mnuClose", "mnuConfig", "mnuHelp"}) {
            if (!find<QAction>(name)->isEnabled())
                return QString::fromLatin1(name) + u" disabled"_s;
        }
        if (find<QProgressBar>("Status1")->isVisible())
            return u"progress bar shown"_s;
        if (find<QPushButton>("cmd_cancel")->isVisible())
            return u"cancel button shown"_s;
        if (window->cursor().shape() != Qt::ArrowCursor)
            return u"pointer not reset"_s;
        if (runner()->isRunning())
            return u"still running"_s;
        return {};
    }

    std::unique_ptr<frm_Start> window;

private:
    testsupport::WorkFolder m_home;
    bool m_ok = false;
};

// The desktop's notification service, noting the body of every notification.
class StandInNotifications : public QDBusVirtualObject
{
public:
    QStringList bodies;

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        bodies << message.arguments().value(4).toString();
        return connection.send(message.createReply(QVariant::fromValue(uint(bodies.size()))));
    }
};

} // namespace

Q_DECLARE_METATYPE(Start)

class tst_FillWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyEndingUnlocksTheWindow_data();
    void everyEndingUnlocksTheWindow();
    void lockedWhileRunningAndCancellable_data();
    void lockedWhileRunningAndCancellable();
    void startingTheFillStopsPlayback();
    void exchangeShareIsTheUsersSetting_data();
    void exchangeShareIsTheUsersSetting();

private:
    std::unique_ptr<testsupport::PrivateBus> m_sessionBus;
    StandInNotifications m_notifications;
};

void tst_FillWindow::initTestCase()
{
    // The exchange share is the user's setting; the tests' own.
    static QTemporaryDir settings;
    QVERIFY(settings.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(settings.path() + u"/state"_s));
    m_sessionBus = std::make_unique<testsupport::PrivateBus>(testsupport::PrivateBus::Kind::Session);
    if (!m_sessionBus->valid())
        return;
    QDBusConnection desktop = QDBusConnection::connectToBus(m_sessionBus->address(), u"desktop"_s);
    QVERIFY(desktop.registerVirtualObject(u"/org/freedesktop/Notifications"_s, &m_notifications));
    QVERIFY(desktop.registerService(u"org.freedesktop.Notifications"_s));
}

void tst_FillWindow::everyEndingUnlocksTheWindow_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<Start>("way");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("inFront");
    QTest::addColumn<QString>("reported"); // a line of the run's report; none where it offers none

    const QString copied = u"1 Datei kopiert, 0 vom Player genommen, 0 zurück ins StammVerzeichnis"_s;
    QTest::newRow("copied") << u"copied"_s << Start::Click << QString() << copied << true << QString();
    QTest::newRow("copied behind another window")
        << u"copied"_s << Start::Click << QString() << copied << false << QString();
    // Taken off as a repeat and brought back by the refill, it simply stays.
    QTest::newRow("a repeat stays") << u"repeat"_s << Start::Menu << QString()
                                    << QStringLiteral("0 Dateien kopiert, 0 vom Player genommen, 0 zurück ins "
                                                      "StammVerzeichnis; nichts kopiert: nichts Neues im "
                                                      "StammVerzeichnis, der Player hat schon alle Dateien")
                                    << true << QString();
    QTest::newRow("same folder through a link")
        << u"same"_s << Start::Enter << u"Bitte wählen Sie ein anderes Verzeichnis!"_s << QString() << true
        << QString();
    QTest::newRow("collection gone") << u"gone"_s << Start::Menu << u"ist nicht vorhanden."_s << QString() << true
                                     << QString();
    QTest::newRow("another fill on the player")
        << u"busy"_s << Start::Click << u"Auf diesem Player läuft bereits eine Füllung."_s << QString() << true
        << QString();
    QTest::newRow("player full") << u"full"_s << Start::Enter << QString()
                                 << QStringLiteral("0 Dateien kopiert, 0 vom Player genommen, 0 zurück ins "
                                                   "StammVerzeichnis, 1 passte nicht mehr; nichts kopiert: auf dem "
                                                   "Player ist kein Platz frei")
                                 << true << u"passte nicht mehr: a.mp3"_s;
    QTest::newRow("player file protected") << u"protected"_s << Start::Click << QString()
                                           << QStringLiteral("0 Dateien kopiert, 0 vom Player genommen, 0 zurück ins "
                                                             "StammVerzeichnis, 1 auf dem Player belassen")
                                           << true << u"auf dem Player belassen (schreibgeschützt): a.mp3"_s;
    // Artist and album folders: without them nothing is there to copy, and the run says where
    // the choice is; with "Extras → Unterordner einbeziehen" they are the collection.
    QTest::newRow("a collection of folders only")
        << u"folders"_s << Start::Click
        << QStringLiteral("Das StammVerzeichnis enthält keine MP3-Dateien; Unterordner werden nicht berücksichtigt "
                          "(Extras → Unterordner einbeziehen).")
        << QString() << true << QString();
    QTest::newRow("a collection of folders, sub-folders taken")
        << u"folders taken"_s << Start::Menu << QString()
        << copied + u"; 1 Datei im StammVerzeichnis mit Unterordnern"_s << true << QString();
}

void tst_FillWindow::everyEndingUnlocksTheWindow()
{
    QFETCH(QString, ending);
    QFETCH(Start, way);
    QFETCH(QString, message);
    QFETCH(QString, status);
    QFETCH(bool, inFront);
    QFETCH(QString, reported);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString source = root.filePath(u"musik"_s);
    QVERIFY(QDir(root.path()).mkdir(u"musik"_s));
    const bool inFolders = ending.startsWith(u"folders"_s);
    if (inFolders)
        QVERIFY(QDir(source).mkpath(u"Artist/Album"_s));
    const QString song = fs::joinPath(inFolders ? source + u"/Artist/Album"_s : source, u"a.mp3"_s);
    QVERIFY(testsupport::writeFile(song, 5000, 'a'));

    TmpfsMount player(ending == u"full"_s ? u"size=4m,nr_inodes=1"_s : u"size=4m"_s);
    REQUIRE_FIXTURE(player);
    const QString onPlayer = fs::joinPath(player.path(), u"a.mp3"_s);
    if (ending == u"repeat"_s || ending == u"protected"_s)
        QVERIFY(testsupport::writeFile(onPlayer, 5000, 'a'));
    if (ending == u"protected"_s)
        QVERIFY(QFile::setPermissions(onPlayer, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QString playerFolder = player.path();
    if (ending == u"same"_s) {
        playerFolder = root.filePath(u"link"_s);
        QVERIFY(QFile::link(source, playerFolder));
    }

    Window w(source, playerFolder);
    QVERIFY(w.ok());
    auto *subfolders = w.find<QAction>("mnuSubfolders");
    QVERIFY(subfolders && subfolders->isCheckable() && !subfolders->isChecked());
    const auto off = qScopeGuard([] { QVERIFY(settings::setSubfolders(false)); });
    if (ending == u"folders taken"_s) {
        QVERIFY(w.find<QMenu>("mnuExtras")->actions().contains(subfolders));
        subfolders->trigger();
        QVERIFY(settings::subfolders());
    }
    if (ending == u"gone"_s)
        QVERIFY(QDir(source).removeRecursively());
    std::optional<fs::PlayerLock> otherFill;
    if (ending == u"busy"_s)
        otherFill.emplace(fs::Folder(playerFolder), fs::LetterCase::Exact);

    // The same-folder message comes while the run still shows; the others once it has ended.
    QStringList seenAtMessage;
    MessageBoxAnswerer answerer(QMessageBox::Ok, [&] {
        seenAtMessage << (w.find<QProgressBar>("Status1")->isVisible() ? u"bar"_s : u"no bar"_s)
                      << (w.find<QPushButton>("cmd_mix")->isEnabled() ? u"unlocked"_s : u"locked"_s);
    });
    QSignalSpy finished(w.runner(), &MixRunner::finished);
    // Connected after the window's own handler, so it sees what the window shows.
    QString shownWhileFlushing;
    QString shownWhileCopying;
    connect(w.runner(), &MixRunner::progressed, w.window.get(), [&](const MixProgress &progress) {
        if (progress.flushing)
            shownWhileFlushing = w.statusText();
        else if (progress.transferring && shownWhileCopying.isEmpty())
            shownWhileCopying = w.statusText();
    });
    QWidget other;
    if (!inFront) {
        REQUIRE_FIXTURE(*m_sessionBus);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
    }
    m_notifications.bodies.clear();
    w.start(way);
    QVERIFY(finished.wait(20000));
    // Only a user who looks elsewhere hears of the end from the desktop.
    if (inFront)
        QCOMPARE(m_notifications.bodies, QStringList());
    else
        QTRY_COMPARE(m_notifications.bodies, QStringList{status});
    // A finished fill offers to take the player out.
    QCOMPARE(w.find<QToolButton>("cmd_eject")->isVisible(), message.isEmpty());

    const QString locked = w.stillLocked();
    QVERIFY2(locked.isEmpty(), qPrintable(locked));
    if (message.isEmpty()) {
        QCOMPARE(answerer.count(), 0);
    } else {
        QCOMPARE(answerer.count(), 1);
        QVERIFY2(answerer.texts().constFirst().contains(message), qPrintable(answerer.texts().constFirst()));
        QCOMPARE(seenAtMessage, ending == u"same"_s ? names("bar|locked") : names("no bar|unlocked"));
    }
    // The summary stays until the next action: no message covers it, and no timer takes it away.
    auto *summary = w.find<ElidedLabel>("StatusSummary");
    QCOMPARE(w.statusText(), QString());
    QVERIFY2(w.summaryText().startsWith(status), qPrintable(w.summaryText()));
    QCOMPARE(summary->isVisible(), !status.isEmpty());
    QCOMPARE(summary->toolTip(), summary->fullText());
    for (const QObject *owner : {static_cast<QObject *>(w.find<QStatusBar>("StatusBar1")), w.runner()->parent()}) {
        for (const QTimer *timer : owner->findChildren<QTimer *>())
            QVERIFY2(!timer->isActive(), qPrintable(timer->objectName()));
    }
    // Never cut off unseen: whole, or shortened with "…", and within its room either way.
    QVERIFY(summary->text() == summary->fullText() || summary->text().endsWith(u'…'));
    QVERIFY(summary->fontMetrics().horizontalAdvance(summary->text()) <= summary->contentsRect().width());

    // A run that met a problem offers its report, file by file, in a window beside the main one.
    auto *report = w.find<QToolButton>("cmd_report");
    QCOMPARE(report->isVisible(), !reported.isEmpty());
    if (!reported.isEmpty()) {
        QTest::mouseClick(report, Qt::LeftButton);
        auto *reportWindow = w.find<QDialog>("frm_Report");
        QVERIFY(reportWindow);
        QTRY_VERIFY(reportWindow->isVisible());
        QVERIFY(!reportWindow->isModal());
        QVERIFY(w.find<QPushButton>("cmd_mix")->isEnabled());
        QCOMPARE(reportWindow->findChild<QLabel *>(u"Summary"_s)->text(), summary->fullText());
        QCOMPARE(reportWindow->findChild<QPlainTextEdit *>(u"Lines"_s)->toPlainText(), reported);
        reportWindow->close();
    }

    const auto *file1 = w.find<FileListBox>("File1");
    const auto *file2 = w.find<FileListBox>("File2");
    if (ending == u"copied"_s) {
        QCOMPARE(testsupport::entriesOf(file2), QStringList{u"a.mp3"_s});
        QCOMPARE(file1->fileName(), u"a.mp3"_s);
        QCOMPARE(w.selectedFile(), QDir::cleanPath(song));
        QVERIFY(testsupport::haveSameContent(song, onPlayer));
        // The run is over only once its data is on the medium, and the window says so meanwhile.
        QCOMPARE(shownWhileFlushing, u"Daten werden auf den Player geschrieben …"_s);
        // On a stick the copying is what takes time; the status bar counts files and megabytes.
        QCOMPARE(shownWhileCopying, u"Kopiere a.mp3 – Datei 1 von 1, 0 von 0 MB Daten"_s);
    } else if (ending == u"repeat"_s) {
        QCOMPARE(testsupport::entriesOf(file2), QStringList{u"a.mp3"_s});
        QVERIFY(QFile::exists(onPlayer));
        // The walk visited the collection's entry last.
        QCOMPARE(w.selectedFile(), QDir::cleanPath(song));
    } else if (ending == u"same"_s) {
        QCOMPARE(QDir(source).entryList(QDir::Files), QStringList{u"a.mp3"_s});
    } else if (ending == u"full"_s || ending == u"folders"_s) {
        QVERIFY(QDir(player.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    } else if (ending == u"folders taken"_s) {
        // The list shows the collection folder's own files, and the player its copy.
        QCOMPARE(testsupport::entriesOf(file1), QStringList());
        QCOMPARE(testsupport::entriesOf(file2), QStringList{u"a.mp3"_s});
    } else if (ending == u"protected"_s) {
        QVERIFY(QFile::exists(onPlayer));
    } else if (ending == u"busy"_s) {
        QVERIFY(QDir(player.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    }
}

void tst_FillWindow::lockedWhileRunningAndCancellable_data()
{
    QTest::addColumn<bool>("withEscape");
    QTest::newRow("Esc") << true;
    QTest::newRow("Abbrechen") << false;
}

void tst_FillWindow::lockedWhileRunningAndCancellable()
{
    QFETCH(bool, withEscape);
    QTemporaryDir source;
    TmpfsMount player(u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    // In German order: the listing, the window's list and the fill's walk all go by it.
    const QStringList order = {u"Ärger.mp3"_s, u"arzt.mp3"_s, u"Lied 10.mp3"_s, u"Lied 2.mp3"_s, u"zahm.mp3"_s};
    for (const QString &name : order)
        QVERIFY(testsupport::writeFile(source.filePath(name), 4000));

    Window w(source.path(), player.path());
    QVERIFY(w.ok());
    QCOMPARE(fs::mp3Files(source.path()), order);
    QCOMPARE(testsupport::entriesOf(w.find<FileListBox>("File1")), order);

    // Holds the fill in its own thread right before its first file, so the test can look at
    // the running window without a race.
    QSemaphore gate;
    std::atomic_bool held = false;
    QStringList walked;
    connect(
        w.runner(), &MixRunner::started, w.runner(),
        [&](const fs::FileNames &sourceNames) {
            for (const fs::FileName &name : sourceNames)
                walked.append(name.text());
            held = true;
            gate.acquire();
        },
        Qt::DirectConnection);
    const auto release = qScopeGuard([&] { gate.release(100); });

    QSignalSpy finished(w.runner(), &MixRunner::finished);
    w.start(Start::Click);
    QTRY_VERIFY(held.load());
    QCOMPARE(walked, order);

    auto *cancel = w.find<QPushButton>("cmd_cancel");
    QVERIFY(!w.find<QPushButton>("cmd_mix")->isEnabled());
    QVERIFY(!w.window->menuBar()->isEnabled());
    QVERIFY(!w.find<QAction>("mnutonvola")->isEnabled());
    QVERIFY(!w.find<FileListBox>("File1")->isEnabled());
    QVERIFY(w.find<QProgressBar>("Status1")->isVisible());
    QVERIFY(cancel->isVisible() && cancel->isEnabled());
    QCOMPARE(w.window->cursor().shape(), Qt::WaitCursor);

    // A second start is impossible.
    w.start(Start::Click);
    w.start(Start::Menu);

    if (withEscape)
        QTest::keyClick(w.window.get(), Qt::Key_Escape);
    else
        QTest::mouseClick(cancel, Qt::LeftButton);
    QVERIFY(!cancel->isEnabled());
    gate.release();

    QVERIFY(finished.wait(20000));
    QTest::qWait(50);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.constFirst().constFirst().value<MixResult>().status, MixResult::Status::Cancelled);
    QVERIFY(QDir(player.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    const QString locked = w.stillLocked();
    QVERIFY2(locked.isEmpty(), qPrintable(locked));
    QVERIFY2(w.summaryText().startsWith(u"Abgebrochen: 0 Dateien kopiert"_s), qPrintable(w.summaryText()));
}

// A file that plays is held open; the fill may delete or replace it, so playback ends first.
void tst_FillWindow::startingTheFillStopsPlayback()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString source = root.filePath(u"musik"_s);
    QVERIFY(QDir(root.path()).mkdir(u"musik"_s));
    const QString tone = fs::joinPath(source, u"tone.mp3"_s);
    QVERIFY(QFile::copy(QDir(testsupport::testDataDir()).filePath(u"tone-vbr-xing.mp3"_s), tone));
    TmpfsMount player(u"size=4m"_s);
    REQUIRE_FIXTURE(player);

    Window w(source, player.path());
    QVERIFY(w.ok());
    auto *preview = w.window->findChild<PreviewPlayer *>(u"PreviewPlayer"_s);
    auto *bar = w.find<MediaPlayerWidget>("MediaPlayer1");
    QVERIFY(preview && bar);

    w.find<FileListBox>("File1")->setListIndex(0);
    QCOMPARE(w.selectedFile(), QDir::cleanPath(tone));
    w.find<QAction>("mnuPlay")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(preview->isPlaying(tone), 10000);
    QVERIFY(bar->isVisible());

    QSignalSpy finished(w.runner(), &MixRunner::finished);
    w.start(Start::Click);
    QVERIFY(!preview->isPlaying(tone));
    QVERIFY(!bar->isVisible());
    QVERIFY(finished.wait(20000));
    QVERIFY(!preview->isPlaying(tone));
}

void tst_FillWindow::exchangeShareIsTheUsersSetting_data()
{
    QTest::addColumn<int>("given");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("stored");
    QTest::newRow("a share of its own") << 20 << true << 20;
    QTest::newRow("none: only free room is filled") << 0 << true << 0;
    QTest::newRow("Abbrechen keeps the share") << 80 << false << 35;
}

// "Extras → Austausch je Lauf …" shows the share and stores the one the user gives, beside the
// window's menus as they always were; every fill, also from the command line, takes it.
void tst_FillWindow::exchangeShareIsTheUsersSetting()
{
    QFETCH(int, given);
    QFETCH(bool, accepted);
    QFETCH(int, stored);
    QVERIFY(settings::setExchangePercent(35));
    QTemporaryDir source;
    QTemporaryDir player;
    QVERIFY(source.isValid() && player.isValid());
    Window w(source.path(), player.path());
    QVERIFY(w.ok());
    auto *entry = w.window->findChild<QAction *>(u"mnuExchange"_s);
    QVERIFY(entry);

    int shown = -1;
    QTimer::singleShot(0, w.window.get(), [&] {
        auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        shown = dialog->intValue();
        dialog->setIntValue(given);
        accepted ? dialog->accept() : dialog->reject();
    });
    entry->trigger();
    QCOMPARE(shown, 35);
    QCOMPARE(settings::exchangePercent(defaultExchangePercent), stored);
}

QTEST_MAIN(tst_FillWindow)
#include "tst_fillwindow.moc"
