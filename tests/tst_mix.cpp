#include "TestSupport.h"

#include "app/CommandLine.h"
#include "mix/MixEngine.h"
#include "mix/MixRandom.h"
#include "platform/FileOps.h"
#include "platform/Folder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <functional>
#include <optional>
#include <random>
#include <thread>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

using namespace tonvola;
using testsupport::TmpfsMount;

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 page = 4096;

using Snapshot = QMap<QString, QByteArray>;

// Every file of a folder, hidden ones too, with a hash of its content.
// A name as the tests see it: its text, or its bytes written out where the text is not exact.
QString keyOf(const QByteArray &native)
{
    const FileName name = FileName::fromNative(native);
    return name.isExactText() ? name.text() : QString::fromLatin1(native.toPercentEncoding());
}

// Every file of a folder, hidden ones too, by its name's bytes, with a hash of its content.
Snapshot snapshot(const QString &folder)
{
    Snapshot files;
    const fs::Folder dir(folder);
    for (const QByteArray &native : testsupport::fileNamesIn(folder)) {
        QFile file;
        files.insert(keyOf(native), fs::openForReading(dir, FileName::fromNative(native), file).ok()
                                        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1)
                                        : QByteArrayLiteral("unreadable"));
    }
    return files;
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

using Files = QMultiMap<QString, QByteArray>;

// The files of both folders, with a hash of their content each.
Files everything(const QString &source, const QString &player)
{
    Files files(snapshot(source));
    files.unite(Files(snapshot(player)));
    return files;
}

// The files of before whose bytes are in neither folder now: a repeat taken off the player is
// not lost, its twin is in the collection.
QStringList lost(const Files &before, const QString &source, const QString &player)
{
    const QList<QByteArray> now = snapshot(source).values() + snapshot(player).values();
    QStringList gone;
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (!now.contains(it.value()))
            gone.append(it.key());
    }
    return gone;
}

bool hasPartialFiles(const QString &folder)
{
    return !QDir(folder).entryList({u".tonvola-*"_s}, QDir::Files | QDir::Hidden).isEmpty();
}

// Content that differs from file to file, so that a copy of the wrong file shows.
QByteArray contentFor(const QString &name, qint64 size, int variant = 0)
{
    QByteArray content(size, '\0');
    std::mt19937 bytes(static_cast<unsigned>(qHash(name) + static_cast<unsigned>(variant) * 7919u));
    for (char &c : content)
        c = static_cast<char>(bytes() & 0xff);
    return content;
}

QString describe(const MixStep &step)
{
    switch (step.action) {
    case MixAction::Copied:
        return u"copied "_s + step.name;
    case MixAction::TakenOff:
        return u"taken off "_s + step.name;
    case MixAction::MovedBack:
        return u"moved back "_s + step.name;
    case MixAction::KeptOnPlayer:
        return u"kept "_s + step.name;
    case MixAction::NoRoom:
        return u"no room "_s + step.name;
    case MixAction::Skipped:
        return u"skipped "_s + step.name;
    }
    return {};
}

class Recorder : public MixObserver
{
public:
    void started(const FileNames &, const FileNames &, qsizetype first) override
    {
        start = first;
        if (onStarted)
            onStarted();
    }
    void visiting(qsizetype position) override
    {
        if (onVisiting)
            onVisiting(position);
    }
    void copying(MixAction action, const QString &name, qint64 done, qint64 total) override
    {
        if (onCopying)
            onCopying(action, name, done, total);
    }
    void acted(const MixStep &step) override { log.append(describe(step)); }
    void flushing() override { flushed = true; }

    qsizetype start = -1;
    QStringList log;
    bool flushed = false;
    std::function<void()> onStarted;
    std::function<void(qsizetype)> onVisiting;
    std::function<void(MixAction, const QString &, qint64, qint64)> onCopying;
};

MixResult fill(const QString &source, const QString &player, quint64 seed, Recorder *recorder = nullptr,
               bool dryRun = false, const std::atomic_bool *cancel = nullptr)
{
    MixOptions options;
    options.source = source;
    options.player = player;
    options.seed = seed;
    options.dryRun = dryRun;
    options.cancel = cancel;
    MixEngine engine(options, recorder);
    return engine.run();
}

// The first seed whose draws satisfy the test's wish, e.g. "start at 0, then move one back".
quint64 seedWhere(const std::function<bool(MixRandom &)> &wanted)
{
    for (quint64 seed = 1; seed < 100000; ++seed) {
        MixRandom random(seed);
        if (wanted(random))
            return seed;
    }
    return 0;
}

// The fill as first conceived, step by step: the player folder read again after every
// candidate that fits and its whole list compared name by name, a file of the same name taken
// off only when it is the same file. The engine must act the same.
struct Walked {
    QStringList log;
    QString lastSelected;
};

Walked straightforwardWalk(const QString &source, const QString &player, quint64 seed)
{
    Walked walked;
    MixRandom random(seed);
    const QStringList sourceList = fs::mp3Files(source);
    QStringList playerList = fs::mp3Files(player);
    const qsizetype count = sourceList.size();
    for (qsizetype i = random.nextPosition(count); i < count; ++i) {
        const QString &name = sourceList[i];
        const QString candidate = fs::joinPath(source, name);
        walked.lastSelected = candidate;
        if (!fitsOnPlayer(QFileInfo(candidate).size(), fs::availableBytes(player).value_or(0)))
            continue;
        bool present = false;
        for (const QString &entry : std::as_const(playerList)) {
            walked.lastSelected = fs::joinPath(player, entry);
            if (entry == name) {
                present = true;
                if (fs::haveSameContent(candidate, fs::joinPath(player, entry))) {
                    QFile::remove(fs::joinPath(player, entry));
                    walked.log.append(u"taken off "_s + name);
                } else {
                    walked.log.append(u"kept "_s + name);
                }
            }
        }
        if (!present) {
            if (random.next() < 0.5 && !playerList.isEmpty()) {
                const QString pick = playerList[random.nextPosition(playerList.size())];
                const QString from = fs::joinPath(player, pick);
                const QString into = fs::joinPath(source, pick);
                walked.lastSelected = from;
                if (!QFile::exists(into)) {
                    QFile::copy(from, into);
                    QFile::remove(from);
                    walked.log.append(u"moved back "_s + pick);
                } else if (fs::haveSameContent(from, into)) {
                    QFile::remove(from);
                    walked.log.append(u"moved back "_s + pick);
                } else {
                    walked.log.append(u"kept "_s + pick);
                }
            }
            QFile::copy(candidate, fs::joinPath(player, name));
            walked.log.append(u"copied "_s + name);
        }
        playerList = fs::mp3Files(player);
    }
    return walked;
}

// A collection and a player folder as a test describes them: name -> content.
struct Setup {
    QMap<QString, QByteArray> source;
    QMap<QString, QByteArray> player;
};

bool build(const Setup &setup, const QString &source, const QString &player)
{
    for (auto it = setup.source.cbegin(); it != setup.source.cend(); ++it) {
        if (!testsupport::writeBytes(fs::joinPath(source, it.key()), it.value()))
            return false;
    }
    for (auto it = setup.player.cbegin(); it != setup.player.cend(); ++it) {
        if (!testsupport::writeBytes(fs::joinPath(player, it.key()), it.value()))
            return false;
    }
    return true;
}

} // namespace

class tst_Mix : public QObject
{
    Q_OBJECT

private slots:
    void sizesRoundToWholeMiBHalfToEven_data();
    void sizesRoundToWholeMiBHalfToEven();
    void fitTestUsesTheRealFreeSpace_data();
    void fitTestUsesTheRealFreeSpace();
    void laterSmallerFileIsStillCopied();
    void singleFileOfAnyNameIsCopied_data();
    void singleFileOfAnyNameIsCopied();
    void playerFileGoesOnlyWhenItIsTheSameFile_data();
    void playerFileGoesOnlyWhenItIsTheSameFile();
    void emptyPlayerGivesNothingBack();
    void aboutHalfOfTheCopiesMoveAFileBack();
    void actsAsTheStraightforwardWalk();
    void sameFolderTouchesNothing_data();
    void sameFolderTouchesNothing();
    void missingFolderIsNamed();
    void moveBackIsAMoveThatReplacesNothing_data();
    void moveBackIsAMoveThatReplacesNothing();
    void fullPlayerIsAGoodEnding_data();
    void fullPlayerIsAGoodEnding();
    void rotatingFillsOnAnExfatStickLoseNothing();
    void pulledPlayerTakesNothingElsewhere();
    void collectionChangingDuringTheRun_data();
    void collectionChangingDuringTheRun();
    void oneFillPerPlayer();
    void unreadableFolderIsAnError_data();
    void unreadableFolderIsAnError();
    void cancelStopsWithoutPartialFile_data();
    void cancelStopsWithoutPartialFile();
    void dryRunTouchesNothingAndForetellsTheRun();
    void positionsBeyondSixteenBits();
    void commandLine_data();
    void commandLine();
    void windowOnlyWithoutOrWithQtOptions_data();
    void windowOnlyWithoutOrWithQtOptions();
};

void tst_Mix::sizesRoundToWholeMiBHalfToEven_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("mib");
    QTest::newRow("nothing") << qint64(0) << qint64(0);
    QTest::newRow("just under a half") << MiB / 2 - 1 << qint64(0);
    QTest::newRow("a half goes to 0") << MiB / 2 << qint64(0);
    QTest::newRow("just over a half") << MiB / 2 + 1 << qint64(1);
    QTest::newRow("1.5 goes to 2") << MiB * 3 / 2 << qint64(2);
    QTest::newRow("2.5 goes to 2") << MiB * 5 / 2 << qint64(2);
    QTest::newRow("3.4") << MiB * 34 / 10 << qint64(3);
    QTest::newRow("3.5 goes to 4") << MiB * 7 / 2 << qint64(4);
    QTest::newRow("3.6") << MiB * 36 / 10 << qint64(4);
    QTest::newRow("beyond 32 bits") << qint64(5000) * MiB + MiB / 2 << qint64(5000);
}

void tst_Mix::sizesRoundToWholeMiBHalfToEven()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, mib);
    QCOMPARE(wholeMiB(bytes), mib);
}

void tst_Mix::fitTestUsesTheRealFreeSpace_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("free");
    QTest::addColumn<bool>("copied");
    // Free space is a whole number of tmpfs pages, just under the figure the row names.
    QTest::newRow("3.4 MiB into 3.6 MiB") << MiB * 34 / 10 << 921 * page << true;
    QTest::newRow("3.6 MiB into 3.6 MiB") << MiB * 36 / 10 << 921 * page << false;
    QTest::newRow("0.4 MiB into 0.6 MiB") << MiB * 4 / 10 << 154 * page << true;
    QTest::newRow("0.4 MiB into exactly 0.5 MiB") << MiB * 4 / 10 << 128 * page << false;
    QTest::newRow("nothing into exactly 0.5 MiB") << qint64(0) << 128 * page << false;
}

void tst_Mix::fitTestUsesTheRealFreeSpace()
{
    QFETCH(qint64, size);
    QFETCH(qint64, free);
    QFETCH(bool, copied);

    QTemporaryDir source;
    TmpfsMount player(u"size=8m"_s);

    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    QVERIFY(testsupport::writeFile(source.filePath(u"lied.mp3"_s), size));
    QVERIFY(testsupport::writeFile(fs::joinPath(player.path(), u"ballast.bin"_s), 8 * MiB - free));
    QCOMPARE(fs::availableBytes(player.path()), std::optional<qint64>(free));

    const MixResult result = fill(source.path(), player.path(), 1);
    QVERIFY(result.ok());
    QCOMPARE(result.visited, 1);
    QCOMPARE(result.counts.copied, copied ? 1 : 0);
    QCOMPARE(QFile::exists(fs::joinPath(player.path(), u"lied.mp3"_s)), copied);
}

void tst_Mix::laterSmallerFileIsStillCopied()
{
    QTemporaryDir source;
    TmpfsMount player(u"size=8m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    QVERIFY(testsupport::writeFile(source.filePath(u"a-gross.mp3"_s), MiB * 36 / 10));
    QVERIFY(testsupport::writeFile(source.filePath(u"b-klein.mp3"_s), MiB * 34 / 10));
    QVERIFY(testsupport::writeFile(fs::joinPath(player.path(), u"ballast.bin"_s), 8 * MiB - 921 * page));

    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(2) == 0; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(recorder.start, 0);
    QCOMPARE(result.visited, 2);
    QCOMPARE(recorder.log, QStringList{u"copied b-klein.mp3"_s});
}

void tst_Mix::singleFileOfAnyNameIsCopied_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("lower case") << QByteArray("lied.mp3");
    QTest::newRow("upper case") << QByteArray("LIED.MP3");
    QTest::newRow("mixed case") << QByteArray("Lied.Mp3");
    QTest::newRow("UTF-8") << QByteArray("\xc3\x84rger.mp3");
    QTest::newRow("Latin-1 from an old copy") << QByteArray("\xc4rger.mp3");
}

void tst_Mix::singleFileOfAnyNameIsCopied()
{
    QFETCH(QByteArray, name);
    QTemporaryDir source;
    TmpfsMount player(u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    const auto tidy = qScopeGuard([&] { testsupport::removeFiles(source.path()); });
    const QByteArray content = contentFor(QString::fromLatin1(name), 3000);
    QVERIFY(testsupport::writeNative(source.path(), name, content));
    QVERIFY(testsupport::writeBytes(source.filePath(u"notiz.txt"_s), "kein Lied"));

    // A collection of one is visited whatever the draw; the empty player gives nothing back.
    const MixResult first = fill(source.path(), player.path(), 1);
    QVERIFY2(first.ok(), qPrintable(first.problem()));
    QCOMPARE(first.start, 0);
    QCOMPARE(first.counts.copied, 1);
    QCOMPARE(snapshot(player.path()).keys(), QStringList{keyOf(name)});
    QCOMPARE(snapshot(player.path()).value(keyOf(name)), snapshot(source.path()).value(keyOf(name)));
    QCOMPARE(first.lastSelected, (FilePath{source.path(), FileName::fromNative(name)}));

    const MixResult second = fill(source.path(), player.path(), 2);
    QVERIFY(second.ok());
    QCOMPARE(second.counts.takenOff, 1);
    QCOMPARE(second.counts.copied, 0);
    QVERIFY(snapshot(player.path()).isEmpty());
}

void tst_Mix::playerFileGoesOnlyWhenItIsTheSameFile_data()
{
    QTest::addColumn<QString>("onPlayer");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("log");

    const QStringList takenOff{u"taken off song.mp3"_s};
    const QStringList kept{u"kept song.mp3"_s};
    QTest::newRow("same file, time kept") << u"song.mp3"_s << u"same"_s << takenOff;
    QTest::newRow("same bytes, other time") << u"song.mp3"_s << u"same bytes, later"_s << takenOff;
    QTest::newRow("other content") << u"song.mp3"_s << u"other"_s << kept;
    QTest::newRow("same size, other bytes") << u"song.mp3"_s << u"other bytes, same size"_s << kept;
    QTest::newRow("same file, no write permission") << u"song.mp3"_s << u"same, read-only"_s << kept;
    QTest::newRow("same file, immutable") << u"song.mp3"_s << u"same, immutable"_s << kept;
    QTest::newRow("a folder of that name") << u"song.mp3"_s << u"folder"_s << kept;
    QTest::newRow("name in other letter case") << u"Song.mp3"_s << u"other"_s << QStringList{u"copied song.mp3"_s};
}

void tst_Mix::playerFileGoesOnlyWhenItIsTheSameFile()
{
    QFETCH(QString, onPlayer);
    QFETCH(QString, situation);
    QFETCH(QStringList, log);
    QTemporaryDir source;
    TmpfsMount player(u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    const QString song = source.filePath(u"song.mp3"_s);
    const QString there = fs::joinPath(player.path(), onPlayer);
    const QByteArray content = contentFor(u"song"_s, 5000);
    QVERIFY(testsupport::writeBytes(song, content));
    if (situation == u"folder"_s)
        QVERIFY(QDir(player.path()).mkdir(onPlayer));
    else if (situation.startsWith(u"other bytes"_s))
        QVERIFY(testsupport::writeBytes(there, contentFor(u"song"_s, 5000, 1)));
    else if (situation.startsWith(u"other"_s))
        QVERIFY(testsupport::writeBytes(there, contentFor(u"other"_s, 7000)));
    else
        QVERIFY(testsupport::writeBytes(there, content));
    const QDateTime modified = QFileInfo(song).lastModified();
    if (situation != u"folder"_s)
        QVERIFY(setModified(there, situation.endsWith(u"later"_s) ? modified.addDays(1) : modified));
    if (situation.endsWith(u"read-only"_s))
        QVERIFY(QFile::setPermissions(there, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    std::optional<testsupport::ImmutableFile> immutable;
    if (situation.endsWith(u"immutable"_s)) {
        immutable.emplace(there);
        REQUIRE_FIXTURE(*immutable);
    }
    const Snapshot collection = snapshot(source.path());
    const Snapshot before = snapshot(player.path());

    // The move-back draw must not come into it: the player's file would go back first.
    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(1) == 0 && r.next() >= 0.5; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(recorder.log, log);
    QCOMPARE(snapshot(source.path()), collection);
    if (log == QStringList{u"kept song.mp3"_s})
        QCOMPARE(snapshot(player.path()), before);
    QCOMPARE(QFileInfo::exists(there), log.constFirst().startsWith(u"kept"_s) || onPlayer != u"song.mp3"_s);
    QCOMPARE(result.counts.keptOnPlayer, log.constFirst().startsWith(u"kept"_s) ? 1 : 0);
    // The presence check went through the player's list last.
    if (situation != u"folder"_s)
        QCOMPARE(result.lastSelected.text(), there);
}

void tst_Mix::emptyPlayerGivesNothingBack()
{
    QTemporaryDir source;
    QVERIFY(source.isValid());
    for (int i = 0; i < 6; ++i)
        QVERIFY(testsupport::writeBytes(source.filePath(u"lied%1.mp3"_s.arg(i)), contentFor(QString::number(i), 900)));

    for (quint64 seed = 1; seed <= 30; ++seed) {
        TmpfsMount player(u"size=4m"_s);
        REQUIRE_FIXTURE(player);
        Recorder recorder;
        const MixResult result = fill(source.path(), player.path(), seed, &recorder);
        QVERIFY(result.ok());
        QVERIFY(!recorder.log.isEmpty());
        QVERIFY2(recorder.log.first().startsWith(u"copied"_s), qPrintable(recorder.log.join(u',')));
    }
}

void tst_Mix::aboutHalfOfTheCopiesMoveAFileBack()
{
    qsizetype copies = 0;
    qsizetype movesBack = 0;
    for (quint64 seed = 1; seed <= 40; ++seed) {
        QTemporaryDir source;
        TmpfsMount player(u"size=4m"_s);
        QVERIFY(source.isValid());
        REQUIRE_FIXTURE(player);
        Setup setup;
        for (int i = 0; i < 30; ++i) {
            const QString name = u"stamm%1.mp3"_s.arg(i, 2, 10, QLatin1Char('0'));
            setup.source.insert(name, contentFor(name, 600));
        }
        for (int i = 0; i < 5; ++i) {
            const QString name = u"player%1.mp3"_s.arg(i);
            setup.player.insert(name, contentFor(name, 700));
        }
        QVERIFY(build(setup, source.path(), player.path()));
        const Snapshot collection = snapshot(source.path());
        const Snapshot onPlayer = snapshot(player.path());

        Recorder recorder;
        const MixResult result = fill(source.path(), player.path(), seed, &recorder);
        QVERIFY(result.ok());
        // Moved back or not, every file is somewhere and the collection lost nothing.
        Snapshot expected = collection;
        for (const QString &step : std::as_const(recorder.log)) {
            if (step.startsWith(u"moved back player"_s))
                expected.insert(step.mid(11), onPlayer.value(step.mid(11)));
        }
        QCOMPARE(snapshot(source.path()), expected);
        copies += result.counts.copied;
        movesBack += result.counts.movedBack;
    }
    QVERIFY(copies > 300);
    const double share = double(movesBack) / double(copies);
    QVERIFY2(share > 0.4 && share < 0.6, qPrintable(QString::number(share)));
}

void tst_Mix::actsAsTheStraightforwardWalk()
{
    // Spellings of one name and German names: a file to move back is picked by its position
    // in the player's list, so the engine's own list must keep the listing's order.
    const QStringList pool = {
        u"Alpha.mp3"_s, u"alpha.mp3"_s,  u"ALPHA.MP3"_s,   u"beta.mp3"_s,    u"Beta.Mp3"_s,
        u"gamma.mp3"_s, u"delta.mp3"_s,  u"Epsilon.mp3"_s, u"zeta.mp3"_s,    u"eta.mp3"_s,
        u"Theta.mp3"_s, u"iota.mp3"_s,   u"kappa.mp3"_s,   u"lambda.mp3"_s,  u"My.mp3"_s,
        u"nu.MP3"_s,    u"xi.mp3"_s,     u"omikron.mp3"_s, u"Ärger.mp3"_s,   u"arzt.mp3"_s,
        u"Öl.mp3"_s,    u"Straße.mp3"_s, u"strasse.mp3"_s, u"Lied 10.mp3"_s, u"Lied 2.mp3"_s,
    };
    for (quint64 seed = 1; seed <= 25; ++seed) {
        std::mt19937 dice(static_cast<unsigned>(seed));
        Setup setup;
        for (const QString &name : pool) {
            const qint64 size = (5 + qint64(dice() % 150)) * page;
            const bool inSource = dice() % 3 != 0;
            if (inSource)
                setup.source.insert(name, contentFor(name, size));
            // The player's file of that name: the same file, or the user's own of another size
            // or of the same size.
            if (dice() % 3 == 0) {
                const unsigned kind = inSource ? dice() % 3 : 1;
                setup.player.insert(name, kind == 0   ? contentFor(name, size)
                                          : kind == 1 ? contentFor(name, size / 2, 1)
                                                      : contentFor(name, size, 1));
            }
        }
        QTemporaryDir sourceA;
        QTemporaryDir sourceB;
        TmpfsMount playerA(u"size=4m"_s);
        TmpfsMount playerB(u"size=4m"_s);
        QVERIFY(sourceA.isValid() && sourceB.isValid());
        REQUIRE_FIXTURE(playerA);
        REQUIRE_FIXTURE(playerB);
        QVERIFY(build(setup, sourceA.path(), playerA.path()));
        QVERIFY(build(setup, sourceB.path(), playerB.path()));

        const auto before = everything(sourceA.path(), playerA.path());

        Recorder recorder;
        const MixResult result = fill(sourceA.path(), playerA.path(), seed, &recorder);
        const Walked walked = straightforwardWalk(sourceB.path(), playerB.path(), seed);
        QVERIFY(result.ok());
        QCOMPARE(lost(before, sourceA.path(), playerA.path()), QStringList());
        QCOMPARE(recorder.log, walked.log);
        QCOMPARE(snapshot(playerA.path()), snapshot(playerB.path()));
        QCOMPARE(snapshot(sourceA.path()), snapshot(sourceB.path()));
        QString last = walked.lastSelected;
        last.replace(sourceB.path(), sourceA.path()).replace(playerB.path(), playerA.path());
        QCOMPARE(result.lastSelected.text(), last);
    }
}

void tst_Mix::sameFolderTouchesNothing_data()
{
    QTest::addColumn<QString>("spelling");
    QTest::newRow("same text") << u"%1"_s;
    QTest::newRow("trailing separator") << u"%1/"_s;
    QTest::newRow("dot dot") << u"%1/../musik"_s;
    QTest::newRow("dot") << u"%1/."_s;
    QTest::newRow("link") << u"link"_s;
}

void tst_Mix::sameFolderTouchesNothing()
{
    QFETCH(QString, spelling);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString musik = root.filePath(u"musik"_s);
    QVERIFY(QDir(root.path()).mkdir(u"musik"_s));
    QVERIFY(QFile::link(musik, root.filePath(u"link"_s)));
    for (int i = 0; i < 5; ++i)
        QVERIFY(
            testsupport::writeBytes(fs::joinPath(musik, u"lied%1.mp3"_s.arg(i)), contentFor(QString::number(i), 500)));
    const Snapshot before = snapshot(musik);
    const QString player = spelling == u"link"_s ? root.filePath(spelling) : spelling.arg(musik);

    for (quint64 seed = 1; seed <= 4; ++seed) {
        const MixResult result = fill(musik, player, seed);
        QCOMPARE(result.status, MixResult::Status::SameFolder);
        QCOMPARE(result.problem(), u"Bitte wählen Sie ein anderes Verzeichnis!"_s);
        QCOMPARE(snapshot(musik), before);
    }
}

void tst_Mix::missingFolderIsNamed()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString gone = root.filePath(u"stick"_s);
    const MixResult result = fill(root.path(), gone, 1);
    QCOMPARE(result.status, MixResult::Status::FolderMissing);
    QCOMPARE(result.path, gone);
    QVERIFY(result.problem().contains(QDir::toNativeSeparators(gone)));
    QCOMPARE(fill(gone, root.path(), 1).status, MixResult::Status::FolderMissing);
}

void tst_Mix::moveBackIsAMoveThatReplacesNothing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("step");
    QTest::addColumn<MixResult::Status>("status");

    const auto done = MixResult::Status::Done;
    QTest::newRow("only on the player") << u"only on the player"_s << u"moved back a.mp3"_s << done;
    QTest::newRow("same file in the collection") << u"same file"_s << u"moved back a.mp3"_s << done;
    QTest::newRow("different file of that name") << u"different file"_s << u"kept a.mp3"_s << done;
    QTest::newRow("a folder of that name") << u"folder"_s << u"kept a.mp3"_s << done;
    QTest::newRow("a dangling link of that name") << u"dangling link"_s << u"kept a.mp3"_s << done;
    QTest::newRow("no write permission") << u"read-only file"_s << u"kept a.mp3"_s << done;
    QTest::newRow("cannot be deleted") << u"immutable"_s << u"kept a.mp3"_s << done;
    QTest::newRow("read-only medium") << u"read-only medium"_s << QString() << MixResult::Status::Failed;
    QTest::newRow("collection full") << u"collection full"_s << QString() << MixResult::Status::Failed;
}

void tst_Mix::moveBackIsAMoveThatReplacesNothing()
{
    QFETCH(QString, situation);
    QFETCH(QString, step);
    QFETCH(MixResult::Status, status);
    // A collection on a medium of its own that cannot take another file.
    TmpfsMount source(situation == u"collection full"_s ? u"size=4m,nr_inodes=2"_s : u"size=4m"_s);
    TmpfsMount player(u"size=4m"_s);
    REQUIRE_FIXTURE(source);
    REQUIRE_FIXTURE(player);
    const QString inCollection = fs::joinPath(source.path(), u"a.mp3"_s);
    const QString onPlayer = fs::joinPath(player.path(), u"a.mp3"_s);
    const QByteArray content = contentFor(u"a"_s, 4000);
    QVERIFY(testsupport::writeBytes(fs::joinPath(source.path(), u"c.mp3"_s), contentFor(u"c"_s, 3000)));
    QVERIFY(testsupport::writeBytes(onPlayer, content));
    if (situation == u"same file"_s)
        QVERIFY(testsupport::writeBytes(inCollection, content));
    else if (situation == u"different file"_s)
        QVERIFY(testsupport::writeBytes(inCollection, contentFor(u"a"_s, 4000, 1)));
    else if (situation == u"folder"_s)
        QVERIFY(QDir(source.path()).mkdir(u"a.mp3"_s));
    else if (situation == u"dangling link"_s)
        QVERIFY(QFile::link(u"/nirgends"_s, inCollection));
    else if (situation == u"read-only file"_s)
        QVERIFY(QFile::setPermissions(onPlayer, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    std::optional<testsupport::ImmutableFile> immutable;
    if (situation == u"immutable"_s) {
        immutable.emplace(onPlayer);
        REQUIRE_FIXTURE(*immutable);
    }
    if (situation == u"read-only medium"_s)
        QVERIFY(QProcess::execute(u"mount"_s, {u"-o"_s, u"remount,ro"_s, player.path()}) == 0);
    const Snapshot collection = snapshot(source.path());
    const Snapshot before = snapshot(player.path());

    // Start at c.mp3, the last entry, then move a player file back.
    const qsizetype count = fs::mp3Files(source.path()).size();
    const quint64 seed =
        seedWhere([count](MixRandom &r) { return r.nextPosition(count) == count - 1 && r.next() < 0.5; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QCOMPARE(result.status, status);
    QCOMPARE(result.lastSelected.text(), onPlayer);
    if (status == MixResult::Status::Failed) {
        // The run says what failed, and the collection keeps no copy of a file still on the player.
        QVERIFY(recorder.log.isEmpty());
        QCOMPARE(result.counts.movedBack, 0);
        QVERIFY2(result.problem().contains(QDir::toNativeSeparators(onPlayer)), qPrintable(result.problem()));
        QCOMPARE(snapshot(source.path()), collection);
        QCOMPARE(snapshot(player.path()), before);
        return;
    }
    QCOMPARE(recorder.log, (QStringList{step, u"copied c.mp3"_s}));
    if (step.startsWith(u"kept"_s)) {
        QCOMPARE(result.counts.keptOnPlayer, 1);
        QCOMPARE(snapshot(source.path()), collection);
        QCOMPARE(snapshot(player.path()).value(u"a.mp3"_s), before.value(u"a.mp3"_s));
    } else {
        QVERIFY(!QFile::exists(onPlayer));
        QCOMPARE(testsupport::readBytes(inCollection), content);
    }
}

void tst_Mix::fullPlayerIsAGoodEnding_data()
{
    QTest::addColumn<QString>("filledBy");
    QTest::newRow("no file entries left") << u"entries"_s;
    QTest::newRow("another program fills it during a copy") << u"another program"_s;
}

// A copy that the free space allowed may still find the medium full (cluster slack, another
// program writing): it leaves no file, and smaller files may still fit.
void tst_Mix::fullPlayerIsAGoodEnding()
{
    QFETCH(QString, filledBy);
    QTemporaryDir source;
    // Room for the folder and three files: the fourth copy cannot be created.
    TmpfsMount player(filledBy == u"entries"_s ? u"size=4m,nr_inodes=4"_s : u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    for (int i = 0; i < 8; ++i)
        QVERIFY(testsupport::writeBytes(source.filePath(u"lied%1.mp3"_s.arg(i)), contentFor(QString::number(i), 2000)));
    const Snapshot collection = snapshot(source.path());

    // Start at the first file and never move back, so the player only fills.
    const quint64 seed = seedWhere([](MixRandom &r) {
        if (r.nextPosition(8) != 0)
            return false;
        for (int i = 0; i < 8; ++i) {
            if (r.next() < 0.5)
                return false;
        }
        return true;
    });
    Recorder recorder;
    recorder.onCopying = [&](MixAction, const QString &name, qint64 done, qint64) {
        if (filledBy != u"entries"_s && name == u"lied3.mp3"_s && done == 0) {
            const std::optional<qint64> free = fs::availableBytes(player.path());
            QVERIFY(free && testsupport::writeFile(fs::joinPath(player.path(), u"andere.bin"_s), *free - 1000));
        }
    };
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QCOMPARE(result.status, MixResult::Status::Done);
    QCOMPARE(result.counts.copied, 3);
    QVERIFY(result.counts.noRoom >= 1);
    QCOMPARE(recorder.log.mid(0, 4), (QStringList{u"copied lied0.mp3"_s, u"copied lied1.mp3"_s, u"copied lied2.mp3"_s,
                                                  u"no room lied3.mp3"_s}));
    QVERIFY(result.summary().contains(u"passte"_s));
    // What was done stays done, and nothing half-written is left.
    const Snapshot now = snapshot(player.path());
    for (const QString &name : {u"lied0.mp3"_s, u"lied1.mp3"_s, u"lied2.mp3"_s})
        QCOMPARE(now.value(name), collection.value(name));
    QVERIFY(!now.contains(u"lied3.mp3"_s));
    QVERIFY(!hasPartialFiles(player.path()));
    QCOMPARE(snapshot(source.path()), collection);
}

// The stick the program is made for: exFAT through FUSE, 32 GB as sold (its free space takes a
// while to count), holding files of the user's own, and a collection with names exFAT refuses,
// names that differ only in letter case and names from an old Latin-1 copy. Every run ends
// well, and no file is ever lost.
void tst_Mix::rotatingFillsOnAnExfatStickLoseNothing()
{
    testsupport::ExfatMount stick(u"32000000000"_s);
    REQUIRE_FIXTURE(stick);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const auto tidy = qScopeGuard([&] { testsupport::removeFiles(source.path()); });
    QList<QByteArray> collection = {"Zeit: 12.mp3", "Frage?.mp3", "Duo.mp3",      "DUO.MP3",
                                    "\xc4rger.mp3", "\xd6l.mp3",  "Track 01.mp3", "Stern*.mp3"};
    for (int i = 0; i < 24; ++i)
        collection.append("Lied " + QByteArray::number(i) + ".mp3");
    for (const QByteArray &name : std::as_const(collection))
        QVERIFY(testsupport::writeNative(source.path(), name, contentFor(QString::fromLatin1(name), 20 * KiB)));
    // The user's own: a recording under a name the collection uses for another file, one of
    // the collection's names in other letters, and one the collection does not know.
    QVERIFY(testsupport::writeNative(stick.path(), "Track 01.mp3", contentFor(u"eigene Aufnahme"_s, 30 * KiB)));
    QVERIFY(testsupport::writeNative(stick.path(), "duo.mp3", contentFor(u"duo auf dem Stick"_s, 25 * KiB)));
    QVERIFY(testsupport::writeNative(stick.path(), "Notiz.mp3", contentFor(u"Notiz"_s, 5 * KiB)));

    for (quint64 seed = 1; seed <= 10; ++seed) {
        const auto before = everything(source.path(), stick.path());
        const MixResult result = fill(source.path(), stick.path(), seed);
        QVERIFY2(result.ok(), qPrintable(result.problem()));
        QCOMPARE(lost(before, source.path(), stick.path()), QStringList());
        QVERIFY(!hasPartialFiles(stick.path()));
        const Snapshot onStick = snapshot(stick.path());
        for (const QString &refused : {u"Zeit: 12.mp3"_s, u"Frage?.mp3"_s, u"Stern*.mp3"_s})
            QVERIFY(!onStick.contains(refused));
        for (const MixStep &step : result.skipped)
            QCOMPARE(step.why, MixReason::NameRefused);
        // The stick ignores case: one file for all spellings.
        QVERIFY(int(onStick.contains(u"duo.mp3"_s)) + int(onStick.contains(u"Duo.mp3"_s))
                    + int(onStick.contains(u"DUO.MP3"_s))
                <= 1);
    }
}

void tst_Mix::pulledPlayerTakesNothingElsewhere()
{
    QTemporaryDir source;
    QVERIFY(source.isValid());
    for (int i = 0; i < 6; ++i)
        QVERIFY(testsupport::writeBytes(source.filePath(u"lied%1.mp3"_s.arg(i)), contentFor(QString::number(i), 3000)));
    TmpfsMount stick(u"size=4m"_s);
    REQUIRE_FIXTURE(stick);
    const QString mountPoint = stick.path();

    // Pulled as the third copy begins; the mount point stays behind as a bare folder.
    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(6) == 0; });
    Recorder recorder;
    bool pulled = false;
    recorder.onCopying = [&](MixAction action, const QString &, qint64 done, qint64) {
        if (!pulled && action == MixAction::Copied && done == 0 && recorder.log.filter(u"copied"_s).size() == 2)
            pulled = QProcess::execute(u"umount"_s, {u"-l"_s, mountPoint}) == 0;
    };
    const MixResult result = fill(source.path(), mountPoint, seed, &recorder);
    QVERIFY(pulled);
    QCOMPARE(result.status, MixResult::Status::Failed);
    QCOMPARE(result.problem(), u"Der Player ist nicht mehr erreichbar."_s);
    QVERIFY2(result.summary().startsWith(u"Fehler: "_s), qPrintable(result.summary()));
    QVERIFY(result.counts.copied >= 2);
    // Nothing to write out to a player that is gone.
    QVERIFY(!recorder.flushed);
    QVERIFY(QDir(mountPoint).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void tst_Mix::collectionChangingDuringTheRun_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("skipped");
    QTest::newRow("a file vanishes") << u"remove"_s << u"b.mp3 (nicht mehr im StammVerzeichnis)"_s;
    QTest::newRow("a file becomes a pipe") << u"pipe"_s << u"b.mp3 (keine gewöhnliche Datei)"_s;
}

// Another program tidies the collection while the fill runs: the file is passed over and named.
void tst_Mix::collectionChangingDuringTheRun()
{
    QFETCH(QString, change);
    QFETCH(QString, skipped);
    QTemporaryDir source;
    TmpfsMount player(u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    for (const QString &name : {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s})
        QVERIFY(testsupport::writeBytes(source.filePath(name), contentFor(name, 3000)));
    const QByteArray b = QFile::encodeName(source.filePath(u"b.mp3"_s));

    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(3) == 0 && r.next() >= 0.5; });
    Recorder recorder;
    recorder.onVisiting = [&](qsizetype position) {
        if (position == 0)
            QVERIFY(::unlink(b.constData()) == 0 && (change != u"pipe"_s || ::mkfifo(b.constData(), 0644) == 0));
    };
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(recorder.log.mid(0, 2), (QStringList{u"copied a.mp3"_s, u"skipped b.mp3"_s}));
    QVERIFY2(result.summary().endsWith(u"; übersprungen: "_s + skipped), qPrintable(result.summary()));
    QVERIFY(QFile::exists(fs::joinPath(player.path(), u"c.mp3"_s)));
}

void tst_Mix::oneFillPerPlayer()
{
    QTemporaryDir source;
    TmpfsMount player(u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    for (const QString &name : {u"a.mp3"_s, u"b.mp3"_s})
        QVERIFY(testsupport::writeBytes(source.filePath(name), contentFor(name, 3000)));

    // The first fill holds the player while the second one tries.
    QSemaphore holding;
    QSemaphore release;
    Recorder first;
    first.onStarted = [&] {
        holding.release();
        release.acquire();
    };
    MixResult firstResult;
    std::thread running([&] { firstResult = fill(source.path(), player.path(), 1, &first); });
    bool joined = false;
    const auto finish = [&] {
        if (!joined) {
            release.release();
            running.join();
            joined = true;
        }
    };
    const auto guard = qScopeGuard(finish);
    holding.acquire();
    const Snapshot before = snapshot(player.path());

    const MixResult second = fill(source.path(), player.path(), 2);
    QCOMPARE(second.status, MixResult::Status::PlayerBusy);
    QCOMPARE(second.problem(), u"Auf diesem Player läuft bereits eine Füllung."_s);
    QString printed;
    QString complained;
    QTextStream out(&printed);
    QTextStream err(&complained);
    QCOMPARE(cli::run({u"tonvola"_s, u"--fill"_s, source.path(), player.path()}, out, err), int(cli::Failure));
    err.flush();
    QCOMPARE(complained, u"Auf diesem Player läuft bereits eine Füllung.\n"_s);
    QCOMPARE(snapshot(player.path()), before);

    finish();
    QVERIFY(firstResult.ok());
    QVERIFY(fill(source.path(), player.path(), 3).ok());
}

void tst_Mix::unreadableFolderIsAnError_data()
{
    QTest::addColumn<QString>("unreadable");
    QTest::newRow("collection") << u"musik"_s;
    QTest::newRow("player, writable but not readable") << u"stick"_s;
}

// Root reads every folder, so the program runs as a user without rights.
void tst_Mix::unreadableFolderIsAnError()
{
    QFETCH(QString, unreadable);
    if (!testsupport::runningAsRoot())
        QSKIP("needs root to run the program as another user");
    if (QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
        QSKIP("setpriv is not installed");
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    QVERIFY(dir.mkdir(u"musik"_s) && dir.mkdir(u"stick"_s));
    QVERIFY(testsupport::writeBytes(dir.filePath(u"musik/a.mp3"_s), contentFor(u"a"_s, 3000)));
    const auto all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                     | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(root.path(), all));
    QVERIFY(QFile::setPermissions(dir.filePath(u"stick"_s), all | QFile::WriteGroup | QFile::WriteOther));
    QVERIFY(QFile::setPermissions(dir.filePath(unreadable), QFile::WriteOwner | QFile::ExeOwner | QFile::WriteGroup
                                                                | QFile::ExeGroup | QFile::WriteOther
                                                                | QFile::ExeOther));

    QProcess program;
    program.start(u"setpriv"_s,
                  {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, QStringLiteral(TONVOLA_PROGRAM),
                   u"--fill"_s, dir.filePath(u"musik"_s), dir.filePath(u"stick"_s)});
    QVERIFY(program.waitForFinished(60000));
    const QString complained = QString::fromLocal8Bit(program.readAllStandardError());
    QCOMPARE(program.exitCode(), int(cli::Failure));
    QVERIFY2(complained.startsWith(u"Das Verzeichnis %1 kann nicht gelesen werden: "_s.arg(dir.filePath(unreadable))),
             qPrintable(complained));
    QVERIFY(QFile::setPermissions(dir.filePath(unreadable), all));
    QCOMPARE(QDir(dir.filePath(u"stick"_s)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(QDir(dir.filePath(u"musik"_s)).entryList(QDir::Files), QStringList{u"a.mp3"_s});
}

void tst_Mix::cancelStopsWithoutPartialFile_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("insideTheFile");
    QTest::newRow("before the third copy") << 2 * KiB << false;
    QTest::newRow("within a large file") << 9 * MiB << true;
}

void tst_Mix::cancelStopsWithoutPartialFile()
{
    QFETCH(qint64, size);
    QFETCH(bool, insideTheFile);
    QTemporaryDir source;
    TmpfsMount player(u"size=64m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    for (int i = 0; i < 4; ++i)
        QVERIFY(testsupport::writeFile(source.filePath(u"lied%1.mp3"_s.arg(i)), size));

    const quint64 seed = seedWhere([](MixRandom &r) {
        if (r.nextPosition(4) != 0)
            return false;
        return r.next() >= 0.5 && r.next() >= 0.5 && r.next() >= 0.5;
    });
    std::atomic_bool cancel = false;
    Recorder recorder;
    recorder.onCopying = [&](MixAction, const QString &name, qint64 done, qint64) {
        if (name == u"lied2.mp3"_s && (insideTheFile ? done > 0 : done == 0))
            cancel = true;
    };
    const MixResult result = fill(source.path(), player.path(), seed, &recorder, false, &cancel);
    QCOMPARE(result.status, MixResult::Status::Cancelled);
    QCOMPARE(result.counts.copied, 2);
    QCOMPARE(result.summary(),
             u"Abgebrochen: 2 Dateien kopiert, 0 vom Player genommen, 0 zurück ins StammVerzeichnis"_s);
    QCOMPARE(snapshot(player.path()).keys(), (QStringList{u"lied0.mp3"_s, u"lied1.mp3"_s}));
    QVERIFY(!hasPartialFiles(player.path()));
}

void tst_Mix::dryRunTouchesNothingAndForetellsTheRun()
{
    for (quint64 seed = 1; seed <= 6; ++seed) {
        QTemporaryDir source;
        TmpfsMount player(u"size=2m"_s);
        QVERIFY(source.isValid());
        REQUIRE_FIXTURE(player);
        Setup setup;
        for (int i = 0; i < 14; ++i) {
            const QString name = u"lied%1.mp3"_s.arg(i, 2, 10, QLatin1Char('0'));
            setup.source.insert(name, contentFor(name, (20 + i * 9) * page));
            if (i % 4 == 0)
                setup.player.insert(name, setup.source.value(name));
        }
        setup.player.insert(u"fremd.mp3"_s, contentFor(u"fremd"_s, 30 * page));
        // What a killed run left, and hidden files of the user's that only look alike; empty,
        // so that the space they hold does not tell the dry run from the real one.
        const QStringList leftovers = {u".tonvola-9f3a0c.part"_s, u".tonvola-probe-1b"_s};
        const QStringList usersOwn = {u".tonvola-notizen.part"_s, u".tonvola-9f3a0c.part.txt"_s};
        for (const QString &name : leftovers + usersOwn)
            setup.player.insert(name, QByteArray());
        setup.source.insert(leftovers.first(), QByteArray());
        QVERIFY(build(setup, source.path(), player.path()));
        const Snapshot collection = snapshot(source.path());
        const Snapshot onPlayer = snapshot(player.path());

        Recorder foretold;
        const MixResult dry = fill(source.path(), player.path(), seed, &foretold, true);
        QVERIFY(dry.ok());
        QCOMPARE(snapshot(source.path()), collection);
        QCOMPARE(snapshot(player.path()), onPlayer);

        Recorder done;
        const MixResult real = fill(source.path(), player.path(), seed, &done);
        QVERIFY(real.ok());
        QCOMPARE(foretold.log, done.log);
        QVERIFY(!done.log.isEmpty());
        QCOMPARE(dry.summary(), real.summary());
        QCOMPARE(dry.lastSelected, real.lastSelected);
        // Only the player is the run's alone; another fill may be writing into the collection.
        for (const QString &name : leftovers + usersOwn)
            QCOMPARE(QFileInfo::exists(fs::joinPath(player.path(), name)), usersOwn.contains(name));
        QVERIFY(QFileInfo::exists(source.filePath(leftovers.first())));
    }
}

void tst_Mix::positionsBeyondSixteenBits()
{
    constexpr int count = 33000;
    TmpfsMount source(u"size=4m"_s);
    TmpfsMount player(u"size=4m"_s);
    REQUIRE_FIXTURE(source);
    REQUIRE_FIXTURE(player);
    for (int i = 0; i < count; ++i)
        QVERIFY(testsupport::writeFile(fs::joinPath(source.path(), u"%1.mp3"_s.arg(i, 5, 10, QLatin1Char('0'))), 0));

    // Start past the last position a 16-bit count can hold.
    const quint64 seed = seedWhere([](MixRandom &r) {
        const qsizetype start = r.nextPosition(count);
        return start > 32767 && start < count - 50;
    });
    const MixResult result = fill(source.path(), player.path(), seed);
    QVERIFY(result.ok());
    QCOMPARE(result.sourceCount, qsizetype(count));
    QVERIFY(result.start > 32767);
    QCOMPARE(result.visited, count - result.start);
    QVERIFY(result.counts.copied > 0);
    QCOMPARE(result.counts.copied - result.counts.movedBack, qsizetype(fs::mp3Files(player.path()).size()));
    QVERIFY(fs::mp3Files(player.path()).contains(u"%1.mp3"_s.arg(count - 1)));
}

void tst_Mix::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString src = u"SRC"_s;
    const QString dst = u"DST"_s;
    QTest::newRow("fill") << QStringList{u"--fill"_s, u"--seed"_s, u"7"_s, src, dst} << 0
                          << QStringLiteral("kopiert: lied.mp3\nDaten werden auf den Player geschrieben …\n"
                                            "1 Datei kopiert, 0 vom Player genommen, 0 zurück ins "
                                            "StammVerzeichnis\nStartwert: 7, Beginn bei Eintrag 1 von 1\n")
                          << QString();
    QTest::newRow("dry run") << QStringList{u"--fill"_s, u"--dry-run"_s, u"--seed=7"_s, src, dst} << 0
                             << QStringLiteral(
                                    "kopiert: lied.mp3\n1 Datei kopiert, 0 vom Player genommen, 0 zurück ins "
                                    "StammVerzeichnis\nStartwert: 7, Beginn bei Eintrag 1 von 1\n"
                                    "Probelauf: keine Datei wurde verändert.\n")
                             << QString();
    QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"Tonvola 1.0.15\n"_s << QString();
    QTest::newRow("help")
        << QStringList{u"--help"_s} << 0
        << u"Aufruf: tonvola [Qt-Fensteroptionen]\n        tonvola --fill [--seed N] [--dry-run] [--quiet] "
           "SOURCE PLAYER\n"_s
        << QString();
    QTest::newRow("one folder") << QStringList{u"--fill"_s, src} << 2 << QString() << u"SOURCE PLAYER"_s;
    QTest::newRow("bad seed") << QStringList{u"--fill"_s, u"--seed=x"_s, src, u"b"_s} << 2 << QString() << u"--seed"_s;
    QTest::newRow("seed without fill") << QStringList{u"--seed=1"_s, src, u"b"_s} << 2 << QString() << u"--fill"_s;
    QTest::newRow("unknown option") << QStringList{u"--fill"_s, u"--schnell"_s, src, u"b"_s} << 2 << QString()
                                    << u"Unbekannte Option: --schnell\nAufruf: tonvola"_s;
    QTest::newRow("unknown option alone")
        << QStringList{u"-bogus=1"_s} << 2 << QString() << u"Unbekannte Option: -bogus\nAufruf: tonvola"_s;
    QTest::newRow("stray arguments") << QStringList{u"a"_s, u"b"_s} << 2 << QString()
                                     << u"Unerwartetes Argument: a (Verzeichnisse nur zusammen mit --fill)\nAufruf:"_s;
    QTest::newRow("window option with fill") << QStringList{u"--fill"_s, u"-style"_s, u"fusion"_s, u"a"_s, u"b"_s} << 2
                                             << QString() << u"Die Option -style gilt nur für das Fenster"_s;
    QTest::newRow("same folder") << QStringList{u"--fill"_s, src, src + QLatin1Char('/')} << 1 << QString()
                                 << u"Bitte wählen Sie ein anderes Verzeichnis!\n"_s;
    QTest::newRow("missing folder") << QStringList{u"--fill"_s, src, dst + u"/weg"_s} << 1 << QString()
                                    << u"ist nicht erreichbar"_s;
    QTest::newRow("full player") << QStringList{u"--fill"_s, u"--seed=3"_s, src, u"FULL"_s} << 0
                                 << QStringLiteral("passte nicht mehr: lied.mp3\n0 Dateien kopiert, 0 vom Player "
                                                   "genommen, 0 zurück ins StammVerzeichnis, 1 passte nicht mehr\n"
                                                   "Startwert: 3, Beginn bei Eintrag 1 von 1\n")
                                 << QString();
}

void tst_Mix::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QTemporaryDir source;
    QVERIFY(source.isValid());
    // Only a run that gets as far as the player needs media of its own.
    const QString given = arguments.join(u' ');
    std::optional<TmpfsMount> player;
    std::optional<TmpfsMount> full;
    if (given.contains(u"DST"_s) || given.contains(u"FULL"_s)) {
        player.emplace(u"size=4m"_s);
        full.emplace(u"size=4m,nr_inodes=1"_s);
        REQUIRE_FIXTURE(*player);
        REQUIRE_FIXTURE(*full);
    }
    QVERIFY(testsupport::writeBytes(source.filePath(u"lied.mp3"_s), contentFor(u"lied"_s, 3000)));
    const Snapshot collection = snapshot(source.path());
    const bool dryRun = arguments.contains(u"--dry-run"_s);
    for (QString &argument : arguments) {
        argument.replace(u"SRC"_s, source.path());
        if (player)
            argument.replace(u"DST"_s, player->path()).replace(u"FULL"_s, full->path());
    }
    arguments.prepend(u"tonvola"_s);

    QString printed;
    QString complained;
    QTextStream outStream(&printed);
    QTextStream errStream(&complained);
    QCOMPARE(cli::run(arguments, outStream, errStream), exitCode);
    outStream.flush();
    errStream.flush();
    if (exitCode == 0 && !arguments.contains(u"--help"_s))
        QCOMPARE(printed, out);
    else
        QVERIFY2(printed.contains(out), qPrintable(printed));
    QVERIFY2(complained.contains(err), qPrintable(complained));
    QCOMPARE(err.isEmpty(), complained.isEmpty());
    QCOMPARE(snapshot(source.path()), collection);
    if (dryRun)
        QVERIFY(snapshot(player->path()).isEmpty());
}

void tst_Mix::windowOnlyWithoutOrWithQtOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("window");
    QTest::newRow("no arguments") << QStringList{} << true;
    QTest::newRow("window options") << QStringList{u"-platform"_s, u"offscreen"_s, u"-style=fusion"_s, u"--reverse"_s}
                                    << true;
    QTest::newRow("fill") << QStringList{u"--fill"_s, u"a"_s, u"b"_s} << false;
    QTest::newRow("help") << QStringList{u"-h"_s} << false;
    QTest::newRow("version") << QStringList{u"--version"_s} << false;
    QTest::newRow("seed alone") << QStringList{u"--seed=4"_s} << false;
    QTest::newRow("unknown option") << QStringList{u"-platform"_s, u"xcb"_s, u"--bogus"_s} << false;
    QTest::newRow("stray argument") << QStringList{u"lied.mp3"_s} << false;
    QTest::newRow("window option without its value") << QStringList{u"-style"_s} << false;
}

void tst_Mix::windowOnlyWithoutOrWithQtOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, window);
    arguments.prepend(u"tonvola"_s);
    QCOMPARE(cli::wantsWindow(arguments), window);
}

QTEST_GUILESS_MAIN(tst_Mix)
#include "tst_mix.moc"
