#include "TestSupport.h"

#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "playback/MediaPlayerWidget.h"
#include "playback/MpegAudioProbe.h"
#include "playback/PreviewPlayer.h"
#include "widgets/FileListBox.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Generous: the sanitizer build on a busy machine may be slow to start GStreamer.
constexpr int playTimeout = 30000;

const QString threeSeconds = u"tone-vbr-xing.mp3"_s;
const QString twoSeconds = u"tone-cbr-noheader.mp3"_s;
const QString upperCase = u"LIED.MP3"_s;

const QStringList testFiles = {threeSeconds,   twoSeconds,    upperCase,    u"cut-short.mp3"_s,
                               u"empty.mp3"_s, u"text.mp3"_s, u"tone.wav"_s};

QString dataFile(const QString &name)
{
    return QDir(testsupport::testDataDir()).filePath(name);
}

QByteArray readData(const QString &name)
{
    QFile file(dataFile(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// An ID3v2.3 tag of the given body size, all padding.
QByteArray id3Tag(int bodySize)
{
    QByteArray tag("ID3\x03\x00\x00", 6);
    for (int shift : {21, 14, 7, 0})
        tag.append(static_cast<char>((bodySize >> shift) & 0x7F));
    return tag + QByteArray(bodySize, '\0');
}

bool containsPositionFrom(const QSignalSpy &spy, qint64 least)
{
    for (const QList<QVariant> &args : spy)
        if (args.at(0).toLongLong() >= least)
            return true;
    return false;
}

} // namespace

class PlaybackTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void probeTellsMpegAudioFromOtherData_data();
    void probeTellsMpegAudioFromOtherData();

    void playAndStopWithNothingChosen();
    void chosenFilePlays_data();
    void chosenFilePlays();
    void barShowsPositionAndTimes();
    void sliderDoesNotFightTheUser();
    void barButtonsPauseStopAndReplay();
    void endOfFileLetsGoOfIt();
    void unplayableFileIsReportedInStatusBar_data();
    void unplayableFileIsReportedInStatusBar();
    void isPlayingNamesTheHeldFile();

private:
    [[nodiscard]] FileListBox *list(const QString &name) const { return m_window->findChild<FileListBox *>(name); }
    [[nodiscard]] MediaPlayerWidget *bar() const { return m_window->findChild<MediaPlayerWidget *>(u"MediaPlayer1"_s); }
    [[nodiscard]] PreviewPlayer *preview() const { return m_window->findChild<PreviewPlayer *>(); }
    [[nodiscard]] QStatusBar *statusBar() const { return m_window->findChild<QStatusBar *>(u"StatusBar1"_s); }
    void trigger(const QString &action) const { m_window->findChild<QAction *>(action)->trigger(); }
    [[nodiscard]] QString folderOf(const QString &listName) const
    {
        return listName == "File1"_L1 ? m_source : m_player;
    }

    [[nodiscard]] bool clickEntry(const QString &listName, const QString &name, bool doubleClick = false) const
    {
        return testsupport::clickEntry(list(listName), name, doubleClick);
    }
    [[nodiscard]] bool playUntilPositionMoves(const QString &listName, const QString &name) const;

    std::unique_ptr<testsupport::WorkFolder> m_dir;
    QString m_source;
    QString m_player;
    std::unique_ptr<frm_Start> m_window;
};

void PlaybackTest::initTestCase()
{
    for (const QString &name : testFiles)
        QVERIFY2(QFile::exists(dataFile(name)), qPrintable(dataFile(name)));
}

// Every test gets its own folders and window: a source and a player folder that both hold
// every test file, read through config.dat like at a real start.
void PlaybackTest::init()
{
    m_dir = std::make_unique<testsupport::WorkFolder>();
    QVERIFY(m_dir->valid());
    const QDir top(m_dir->path());
    QVERIFY(top.mkdir(u"quelle"_s));
    QVERIFY(top.mkdir(u"player"_s));
    m_source = top.filePath(u"quelle"_s);
    m_player = top.filePath(u"player"_s);
    for (const QString &name : testFiles) {
        QVERIFY(QFile::copy(dataFile(name), QDir(m_source).filePath(name)));
        QVERIFY(QFile::copy(dataFile(name), QDir(m_player).filePath(name)));
    }
    QVERIFY(tonvola::config::save(m_source, m_player).ok());

    m_window = testsupport::showStartWindow();
    QVERIFY(m_window);
    QVERIFY(list(u"File1"_s)->isVisible());
    QVERIFY(list(u"File2"_s)->isVisible());
    QVERIFY(bar());
    QVERIFY(preview());
    QVERIFY(!bar()->isVisible());
}

void PlaybackTest::cleanup()
{
    m_window.reset();
    m_dir.reset();
}

bool PlaybackTest::playUntilPositionMoves(const QString &listName, const QString &name) const
{
    QSignalSpy positions(preview(), &PreviewPlayer::positionChanged);
    if (!clickEntry(listName, name, true))
        return false;
    return QTest::qWaitFor([&] { return containsPositionFrom(positions, 1); }, playTimeout);
}

void PlaybackTest::probeTellsMpegAudioFromOtherData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("expected");

    const QByteArray tone = readData(twoSeconds);
    QTest::newRow("VBR with Xing header") << readData(threeSeconds) << true;
    QTest::newRow("CBR without header") << tone << true;
    QTest::newRow("upper-case name") << readData(upperCase) << true;
    QTest::newRow("ID3 tag, then audio") << id3Tag(3000) + tone << true;
    QTest::newRow("ID3 tag larger than the search window") << id3Tag(200 * 1024) + tone << true;
    QTest::newRow("cut short after two frames") << readData(u"cut-short.mp3"_s) << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("text") << readData(u"text.mp3"_s) << false;
    QTest::newRow("wave audio") << readData(u"tone.wav"_s) << false;
    QTest::newRow("ID3 tag, then text") << id3Tag(100) + readData(u"text.mp3"_s) << false;
    QTest::newRow("a single frame") << tone.left(192) << false;
    QTest::newRow("AAC (ADTS) header") << QByteArray("\xFF\xF1\x50\x80\x02\x1F\xFC", 7).repeated(200) << false;
}

void PlaybackTest::probeTellsMpegAudioFromOtherData()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, expected);
    QBuffer buffer(&data);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(tonvola::playback::looksLikeMpegAudio(buffer), expected);
}

// Play, Stop and Enter with nothing chosen do nothing, also with the keyboard's focus on a
// file; Stop hides the bar however often it comes.
void PlaybackTest::playAndStopWithNothingChosen()
{
    QVERIFY(testsupport::tabTo(list(u"File1"_s)));
    QTest::keyClick(list(u"File1"_s), Qt::Key_Return);
    trigger(u"mnuPlay"_s);
    QVERIFY(!bar()->isVisible());
    QCOMPARE(preview()->state(), QMediaPlayer::StoppedState);
    QVERIFY(statusBar()->currentMessage().isEmpty());
    trigger(u"mnuStop"_s);
    QVERIFY(!bar()->isVisible());

    QVERIFY(playUntilPositionMoves(u"File1"_s, threeSeconds));
    trigger(u"mnuStop"_s);
    trigger(u"mnuStop"_s);
    QVERIFY(!bar()->isVisible());
    QCOMPARE(preview()->state(), QMediaPlayer::StoppedState);
}

void PlaybackTest::chosenFilePlays_data()
{
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("way");

    QTest::newRow("double-click in File1") << u"File1"_s << threeSeconds << u"double-click"_s;
    QTest::newRow("double-click in File2") << u"File2"_s << twoSeconds << u"double-click"_s;
    QTest::newRow("click in File1, then Play") << u"File1"_s << twoSeconds << u"Play"_s;
    QTest::newRow("click in File2, then Play") << u"File2"_s << threeSeconds << u"Play"_s;
    QTest::newRow("upper-case LIED.MP3") << u"File2"_s << upperCase << u"double-click"_s;
    QTest::newRow("keys and Enter in File1") << u"File1"_s << threeSeconds << u"Enter"_s;
    QTest::newRow("keys and Enter in File2") << u"File2"_s << twoSeconds << u"Enter"_s;
}

void PlaybackTest::chosenFilePlays()
{
    QFETCH(QString, listName);
    QFETCH(QString, fileName);
    QFETCH(QString, way);
    const QString path = QDir(folderOf(listName)).filePath(fileName);

    QSignalSpy positions(preview(), &PreviewPlayer::positionChanged);
    QSignalSpy failures(preview(), &PreviewPlayer::failed);
    if (way == "Enter"_L1) {
        // Chosen in the list, then chosen elsewhere: Enter plays the entry chosen in this list.
        QVERIFY(testsupport::tabTo(list(listName)));
        QVERIFY(testsupport::chooseWithKeys(list(listName), fileName));
        QVERIFY(clickEntry(listName == "File1"_L1 ? u"File2"_s : u"File1"_s, upperCase));
        QVERIFY(testsupport::tabTo(list(listName)));
        QTest::keyClick(list(listName), Qt::Key_Return);
    } else {
        QVERIFY(clickEntry(listName, fileName, way == "double-click"_L1));
    }
    QCOMPARE(m_window->selectedFile(), path);
    if (way == "Play"_L1)
        trigger(u"mnuPlay"_s);

    QVERIFY(bar()->isVisible());
    QCOMPARE(preview()->currentFile(), path);
    QTRY_VERIFY_WITH_TIMEOUT(containsPositionFrom(positions, 1), playTimeout);
    QCOMPARE(failures.count(), 0);
    QVERIFY(statusBar()->currentMessage().isEmpty());

    trigger(u"mnuStop"_s);
    QVERIFY(!bar()->isVisible());
    QVERIFY(preview()->currentFile().isEmpty());
}

void PlaybackTest::barShowsPositionAndTimes()
{
    auto *slider = bar()->findChild<QSlider *>(u"Position"_s);
    auto *elapsed = bar()->findChild<QLabel *>(u"Elapsed"_s);
    auto *total = bar()->findChild<QLabel *>(u"Total"_s);
    QVERIFY(slider && elapsed && total);

    QVERIFY(clickEntry(u"File1"_s, threeSeconds, true));
    QTRY_COMPARE_WITH_TIMEOUT(total->text(), u"0:03"_s, playTimeout);
    QVERIFY(slider->maximum() >= 2900);
    QTRY_VERIFY_WITH_TIMEOUT(slider->value() > 0, playTimeout);
    QTRY_COMPARE_WITH_TIMEOUT(elapsed->text(), u"0:01"_s, playTimeout);
    QVERIFY(slider->isEnabled());
}

void PlaybackTest::sliderDoesNotFightTheUser()
{
    auto *slider = bar()->findChild<QSlider *>(u"Position"_s);
    auto *elapsed = bar()->findChild<QLabel *>(u"Elapsed"_s);
    QVERIFY(playUntilPositionMoves(u"File1"_s, threeSeconds));
    QTRY_VERIFY_WITH_TIMEOUT(slider->isEnabled(), playTimeout);
    QVERIFY(slider->maximum() > 2500);

    // The user holds the handle at 2.5 s while playback reports earlier positions.
    QSignalSpy positions(preview(), &PreviewPlayer::positionChanged);
    slider->setSliderDown(true);
    slider->setValue(2500);
    QVERIFY(positions.wait(playTimeout));
    QVERIFY(positions.wait(playTimeout));
    QCOMPARE(slider->value(), 2500);
    QCOMPARE(elapsed->text(), u"0:02"_s);

    // Letting go seeks there.
    slider->setSliderDown(false);
    QTRY_VERIFY_WITH_TIMEOUT(containsPositionFrom(positions, 2500), playTimeout);
}

void PlaybackTest::barButtonsPauseStopAndReplay()
{
    auto *playPause = bar()->findChild<QToolButton *>(u"PlayPause"_s);
    auto *stop = bar()->findChild<QToolButton *>(u"StopButton"_s);
    QVERIFY(playPause && stop);
    QCOMPARE(stop->accessibleName(), u"Stop"_s);
    const QString path = QDir(m_source).filePath(threeSeconds);

    QVERIFY(playUntilPositionMoves(u"File1"_s, threeSeconds));
    QCOMPARE(playPause->accessibleName(), u"Pause"_s);
    QTest::mouseClick(playPause, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(preview()->state(), QMediaPlayer::PausedState, playTimeout);
    QCOMPARE(playPause->accessibleName(), u"Abspielen"_s);
    QVERIFY(preview()->isPlaying(path));

    // Enter on the focused button presses it, as a click does.
    QVERIFY(testsupport::tabTo(playPause));
    QTest::keyClick(playPause, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(preview()->state(), QMediaPlayer::PlayingState, playTimeout);

    // The bar's own stop lets go of the file but stays, ready to play it again.
    QTest::mouseClick(stop, Qt::LeftButton);
    QCOMPARE(preview()->state(), QMediaPlayer::StoppedState);
    QVERIFY(!preview()->isPlaying(path));
    QVERIFY(bar()->isVisible());

    QSignalSpy positions(preview(), &PreviewPlayer::positionChanged);
    QTest::mouseClick(playPause, Qt::LeftButton);
    QCOMPARE(preview()->currentFile(), path);
    QTRY_VERIFY_WITH_TIMEOUT(containsPositionFrom(positions, 1), playTimeout);
}

void PlaybackTest::endOfFileLetsGoOfIt()
{
    const QString path = QDir(m_player).filePath(upperCase);
    QVERIFY(clickEntry(u"File2"_s, upperCase, true));
    QVERIFY(preview()->isPlaying(path));
    QTRY_VERIFY_WITH_TIMEOUT(!preview()->isPlaying(path), playTimeout);
    QCOMPARE(preview()->state(), QMediaPlayer::StoppedState);
    QVERIFY(bar()->isVisible());
    QVERIFY(statusBar()->currentMessage().isEmpty());
}

void PlaybackTest::unplayableFileIsReportedInStatusBar_data()
{
    QTest::addColumn<QString>("listName");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("removeFirst");
    QTest::addColumn<bool>("viaMenu");
    QTest::addColumn<QString>("reason");

    QTest::newRow("gone since the click")
        << u"File1"_s << twoSeconds << true << true << u"Sie ist nicht mehr vorhanden."_s;
    QTest::newRow("empty") << u"File2"_s << u"empty.mp3"_s << false << false << u"Sie ist leer."_s;
    QTest::newRow("text named .mp3") << u"File1"_s << u"text.mp3"_s << false << false
                                     << u"Sie enthält keine MP3-Daten."_s;
    QTest::newRow("decoder gives up") << u"File2"_s << u"cut-short.mp3"_s << false << true
                                      << u"Ihr Inhalt lässt sich nicht als MP3 abspielen."_s;
}

void PlaybackTest::unplayableFileIsReportedInStatusBar()
{
    QFETCH(QString, listName);
    QFETCH(QString, fileName);
    QFETCH(bool, removeFirst);
    QFETCH(bool, viaMenu);
    QFETCH(QString, reason);

    QVERIFY(clickEntry(listName, fileName, !viaMenu));
    if (removeFirst)
        QVERIFY(QFile::remove(QDir(folderOf(listName)).filePath(fileName)));
    if (viaMenu)
        trigger(u"mnuPlay"_s);

    const QString note = u"Die Datei %1 kann nicht abgespielt werden: %2"_s.arg(fileName, reason);
    QTRY_COMPARE_WITH_TIMEOUT(statusBar()->currentMessage(), note, playTimeout);
    QVERIFY(!bar()->isVisible());
    QCOMPARE(preview()->state(), QMediaPlayer::StoppedState);
    QVERIFY(preview()->currentFile().isEmpty());

    // Nothing is left stuck: the next file plays.
    QVERIFY(playUntilPositionMoves(u"File1"_s, threeSeconds));
    QVERIFY(bar()->isVisible());
}

void PlaybackTest::isPlayingNamesTheHeldFile()
{
    const QString path = QDir(m_player).filePath(twoSeconds);
    QVERIFY(!preview()->isPlaying(path));
    QVERIFY(playUntilPositionMoves(u"File2"_s, twoSeconds));
    QVERIFY(preview()->isPlaying(path));
    QVERIFY(preview()->isPlaying(m_player + u"/./"_s + twoSeconds));
    QVERIFY(!preview()->isPlaying(QDir(m_source).filePath(twoSeconds)));
    QVERIFY(!preview()->isPlaying(QDir(m_player).filePath(threeSeconds)));
    trigger(u"mnuStop"_s);
    QVERIFY(!preview()->isPlaying(path));
}

QTEST_MAIN(PlaybackTest)
#include "tst_playback.moc"
