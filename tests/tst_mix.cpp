#include "TestSupport.h"

#include "app/CommandLine.h"
#include "mix/MixEngine.h"
#include "mix/MixRandom.h"
#include "platform/FileOps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include <functional>
#include <random>

using namespace tonvola;
using testsupport::TmpfsMount;

namespace {

constexpr qint64 KiB = 1024;
constexpr qint64 MiB = 1024 * 1024;
constexpr qint64 page = 4096;

using Snapshot = QMap<QString, QByteArray>;

// Every file of a folder, hidden ones too, with a hash of its content.
Snapshot snapshot(const QString &folder)
{
    Snapshot files;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        QFile file(entry.filePath());
        if (!file.open(QIODevice::ReadOnly)) {
            files.insert(entry.fileName(), QByteArrayLiteral("unreadable"));
            continue;
        }
        files.insert(entry.fileName(), QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1));
    }
    return files;
}

bool hasPartialFiles(const QString &folder)
{
    return !QDir(folder).entryList({QStringLiteral(".tonvola-*")}, QDir::Files | QDir::Hidden).isEmpty();
}

bool writeContent(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
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
        return QStringLiteral("copied ") + step.name;
    case MixAction::TakenOff:
        return QStringLiteral("taken off ") + step.name;
    case MixAction::MovedBack:
        return QStringLiteral("moved back ") + step.name;
    case MixAction::KeptOnPlayer:
        return QStringLiteral("kept ") + step.name;
    }
    return {};
}

class Recorder : public MixObserver
{
public:
    void started(const QStringList &, const QStringList &, qsizetype first) override { start = first; }
    void copying(MixAction action, const QString &name, qint64 done, qint64 total) override
    {
        if (onCopying)
            onCopying(action, name, done, total);
    }
    void acted(const MixStep &step) override { log.append(describe(step)); }

    qsizetype start = -1;
    QStringList log;
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
// candidate that fits and its whole list compared name by name. The engine must act the same.
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
                QFile::remove(fs::joinPath(player, entry));
                walked.log.append(QStringLiteral("taken off ") + name);
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
                    walked.log.append(QStringLiteral("moved back ") + pick);
                } else if (fs::haveSameContent(from, into)) {
                    QFile::remove(from);
                    walked.log.append(QStringLiteral("moved back ") + pick);
                } else {
                    walked.log.append(QStringLiteral("kept ") + pick);
                }
            }
            QFile::copy(candidate, fs::joinPath(player, name));
            walked.log.append(QStringLiteral("copied ") + name);
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
        if (!writeContent(fs::joinPath(source, it.key()), it.value()))
            return false;
    }
    for (auto it = setup.player.cbegin(); it != setup.player.cend(); ++it) {
        if (!writeContent(fs::joinPath(player, it.key()), it.value()))
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
    void singleFileOfAnyCaseIsCopied_data();
    void singleFileOfAnyCaseIsCopied();
    void repeatIsTakenOffByExactName_data();
    void repeatIsTakenOffByExactName();
    void emptyPlayerGivesNothingBack();
    void aboutHalfOfTheCopiesMoveAFileBack();
    void actsAsTheStraightforwardWalk();
    void sameFolderTouchesNothing_data();
    void sameFolderTouchesNothing();
    void missingFolderIsNamed();
    void moveBackNeverReplacesACollectionFile_data();
    void moveBackNeverReplacesACollectionFile();
    void fullPlayerEndsTheRunCleanly();
    void fullCollectionKeepsThePlayerFile();
    void undeletablePlayerFileEndsTheRun();
    void cancelStopsWithoutPartialFile_data();
    void cancelStopsWithoutPartialFile();
    void dryRunTouchesNothingAndForetellsTheRun();
    void positionsBeyondSixteenBits();
    void commandLine_data();
    void commandLine();
    void commandLineDryRunTouchesNothing();
    void commandLineIsOnlyForItsOptions_data();
    void commandLineIsOnlyForItsOptions();
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
    TmpfsMount player(QStringLiteral("size=8m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    QVERIFY(testsupport::writeFile(source.filePath(QStringLiteral("lied.mp3")), size));
    QVERIFY(testsupport::writeFile(fs::joinPath(player.path(), QStringLiteral("ballast.bin")), 8 * MiB - free));
    QCOMPARE(fs::availableBytes(player.path()), std::optional<qint64>(free));

    const MixResult result = fill(source.path(), player.path(), 1);
    QVERIFY(result.ok());
    QCOMPARE(result.visited, 1);
    QCOMPARE(result.counts.copied, copied ? 1 : 0);
    QCOMPARE(QFile::exists(fs::joinPath(player.path(), QStringLiteral("lied.mp3"))), copied);
}

void tst_Mix::laterSmallerFileIsStillCopied()
{
    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=8m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    QVERIFY(testsupport::writeFile(source.filePath(QStringLiteral("a-gross.mp3")), MiB * 36 / 10));
    QVERIFY(testsupport::writeFile(source.filePath(QStringLiteral("b-klein.mp3")), MiB * 34 / 10));
    QVERIFY(testsupport::writeFile(fs::joinPath(player.path(), QStringLiteral("ballast.bin")), 8 * MiB - 921 * page));

    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(2) == 0; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(recorder.start, 0);
    QCOMPARE(result.visited, 2);
    QCOMPARE(recorder.log, QStringList{QStringLiteral("copied b-klein.mp3")});
}

void tst_Mix::singleFileOfAnyCaseIsCopied_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("lower case") << QStringLiteral("lied.mp3");
    QTest::newRow("upper case") << QStringLiteral("LIED.MP3");
    QTest::newRow("mixed case") << QStringLiteral("Lied.Mp3");
}

void tst_Mix::singleFileOfAnyCaseIsCopied()
{
    QFETCH(QString, name);
    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    const QByteArray content = contentFor(name, 3000);
    QVERIFY(writeContent(source.filePath(name), content));
    QVERIFY(writeContent(source.filePath(QStringLiteral("notiz.txt")), "kein Lied"));

    // A collection of one is visited whatever the draw; the empty player gives nothing back.
    const MixResult first = fill(source.path(), player.path(), 1);
    QVERIFY(first.ok());
    QCOMPARE(first.start, 0);
    QCOMPARE(first.counts.copied, 1);
    QCOMPARE(snapshot(player.path()).keys(), QStringList{name});
    QCOMPARE(snapshot(player.path()).value(name), snapshot(source.path()).value(name));
    QCOMPARE(first.lastSelected, source.filePath(name));

    const MixResult second = fill(source.path(), player.path(), 2);
    QVERIFY(second.ok());
    QCOMPARE(second.counts.takenOff, 1);
    QCOMPARE(second.counts.copied, 0);
    QVERIFY(snapshot(player.path()).isEmpty());
}

void tst_Mix::repeatIsTakenOffByExactName_data()
{
    QTest::addColumn<QString>("onPlayer");
    QTest::addColumn<bool>("takenOff");
    QTest::newRow("same name") << QStringLiteral("song.mp3") << true;
    QTest::newRow("name in other letter case") << QStringLiteral("Song.mp3") << false;
}

void tst_Mix::repeatIsTakenOffByExactName()
{
    QFETCH(QString, onPlayer);
    QFETCH(bool, takenOff);
    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    QVERIFY(writeContent(source.filePath(QStringLiteral("song.mp3")), contentFor(QStringLiteral("song"), 5000)));
    QVERIFY(writeContent(fs::joinPath(player.path(), onPlayer), contentFor(QStringLiteral("other"), 7000)));
    const Snapshot collection = snapshot(source.path());

    // The move-back draw must not come into it: the player's file would go back first.
    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(1) == 0 && r.next() >= 0.5; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(snapshot(source.path()), collection);
    if (takenOff) {
        QCOMPARE(recorder.log, QStringList{QStringLiteral("taken off song.mp3")});
        QVERIFY(snapshot(player.path()).isEmpty());
    } else {
        QCOMPARE(recorder.log, QStringList{QStringLiteral("copied song.mp3")});
        QCOMPARE(snapshot(player.path()).keys(), (QStringList{QStringLiteral("Song.mp3"), QStringLiteral("song.mp3")}));
    }
    // The presence check went through the player's list last.
    QCOMPARE(result.lastSelected, fs::joinPath(player.path(), onPlayer));
}

void tst_Mix::emptyPlayerGivesNothingBack()
{
    QTemporaryDir source;
    QVERIFY(source.isValid());
    for (int i = 0; i < 6; ++i)
        QVERIFY(
            writeContent(source.filePath(QStringLiteral("lied%1.mp3").arg(i)), contentFor(QString::number(i), 900)));

    for (quint64 seed = 1; seed <= 30; ++seed) {
        TmpfsMount player(QStringLiteral("size=4m"));
        QVERIFY(player.valid());
        Recorder recorder;
        const MixResult result = fill(source.path(), player.path(), seed, &recorder);
        QVERIFY(result.ok());
        QVERIFY(!recorder.log.isEmpty());
        QVERIFY2(recorder.log.first().startsWith(QStringLiteral("copied")), qPrintable(recorder.log.join(u',')));
    }
}

void tst_Mix::aboutHalfOfTheCopiesMoveAFileBack()
{
    qsizetype copies = 0;
    qsizetype movesBack = 0;
    for (quint64 seed = 1; seed <= 40; ++seed) {
        QTemporaryDir source;
        TmpfsMount player(QStringLiteral("size=4m"));
        QVERIFY(source.isValid());
        QVERIFY(player.valid());
        Setup setup;
        for (int i = 0; i < 30; ++i) {
            const QString name = QStringLiteral("stamm%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
            setup.source.insert(name, contentFor(name, 600));
        }
        for (int i = 0; i < 5; ++i) {
            const QString name = QStringLiteral("player%1.mp3").arg(i);
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
            if (step.startsWith(QStringLiteral("moved back player")))
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
    const QStringList pool = {
        QStringLiteral("Alpha.mp3"), QStringLiteral("alpha.mp3"),   QStringLiteral("ALPHA.MP3"),
        QStringLiteral("beta.mp3"),  QStringLiteral("Beta.Mp3"),    QStringLiteral("gamma.mp3"),
        QStringLiteral("delta.mp3"), QStringLiteral("Epsilon.mp3"), QStringLiteral("zeta.mp3"),
        QStringLiteral("eta.mp3"),   QStringLiteral("Theta.mp3"),   QStringLiteral("iota.mp3"),
        QStringLiteral("kappa.mp3"), QStringLiteral("lambda.mp3"),  QStringLiteral("My.mp3"),
        QStringLiteral("nu.MP3"),    QStringLiteral("xi.mp3"),      QStringLiteral("omikron.mp3"),
    };
    for (quint64 seed = 1; seed <= 25; ++seed) {
        std::mt19937 dice(static_cast<unsigned>(seed));
        Setup setup;
        for (const QString &name : pool) {
            const qint64 size = (5 + qint64(dice() % 150)) * page;
            const bool inSource = dice() % 3 != 0;
            if (inSource)
                setup.source.insert(name, contentFor(name, size));
            if (dice() % 3 == 0)
                setup.player.insert(name,
                                    inSource && dice() % 2 ? contentFor(name, size) : contentFor(name, size / 2, 1));
        }
        QTemporaryDir sourceA;
        QTemporaryDir sourceB;
        TmpfsMount playerA(QStringLiteral("size=2m"));
        TmpfsMount playerB(QStringLiteral("size=2m"));
        QVERIFY(sourceA.isValid() && sourceB.isValid());
        QVERIFY(playerA.valid() && playerB.valid());
        QVERIFY(build(setup, sourceA.path(), playerA.path()));
        QVERIFY(build(setup, sourceB.path(), playerB.path()));

        Recorder recorder;
        const MixResult result = fill(sourceA.path(), playerA.path(), seed, &recorder);
        const Walked walked = straightforwardWalk(sourceB.path(), playerB.path(), seed);
        QVERIFY(result.ok());
        QCOMPARE(recorder.log, walked.log);
        QCOMPARE(snapshot(playerA.path()), snapshot(playerB.path()));
        QCOMPARE(snapshot(sourceA.path()), snapshot(sourceB.path()));
        QString last = walked.lastSelected;
        last.replace(sourceB.path(), sourceA.path()).replace(playerB.path(), playerA.path());
        QCOMPARE(result.lastSelected, last);
    }
}

void tst_Mix::sameFolderTouchesNothing_data()
{
    QTest::addColumn<QString>("spelling");
    QTest::newRow("same text") << QStringLiteral("%1");
    QTest::newRow("trailing separator") << QStringLiteral("%1/");
    QTest::newRow("dot dot") << QStringLiteral("%1/../musik");
    QTest::newRow("dot") << QStringLiteral("%1/.");
    QTest::newRow("link") << QStringLiteral("link");
}

void tst_Mix::sameFolderTouchesNothing()
{
    QFETCH(QString, spelling);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString musik = root.filePath(QStringLiteral("musik"));
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("musik")));
    QVERIFY(QFile::link(musik, root.filePath(QStringLiteral("link"))));
    for (int i = 0; i < 5; ++i)
        QVERIFY(writeContent(fs::joinPath(musik, QStringLiteral("lied%1.mp3").arg(i)),
                             contentFor(QString::number(i), 500)));
    const Snapshot before = snapshot(musik);
    const QString player = spelling == QStringLiteral("link") ? root.filePath(spelling) : spelling.arg(musik);

    for (quint64 seed = 1; seed <= 4; ++seed) {
        const MixResult result = fill(musik, player, seed);
        QCOMPARE(result.status, MixResult::Status::SameFolder);
        QCOMPARE(result.problem(), QStringLiteral("Bitte wählen Sie ein anderes Verzeichnis!"));
        QCOMPARE(snapshot(musik), before);
    }
}

void tst_Mix::missingFolderIsNamed()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString gone = root.filePath(QStringLiteral("stick"));
    const MixResult result = fill(root.path(), gone, 1);
    QCOMPARE(result.status, MixResult::Status::FolderMissing);
    QCOMPARE(result.path, gone);
    QVERIFY(result.problem().contains(QDir::toNativeSeparators(gone)));
    QCOMPARE(fill(gone, root.path(), 1).status, MixResult::Status::FolderMissing);
}

void tst_Mix::moveBackNeverReplacesACollectionFile_data()
{
    QTest::addColumn<bool>("sameContent");
    QTest::addColumn<QString>("step");
    QTest::newRow("same file in the collection") << true << QStringLiteral("moved back a.mp3");
    QTest::newRow("different file of that name") << false << QStringLiteral("kept a.mp3");
}

void tst_Mix::moveBackNeverReplacesACollectionFile()
{
    QFETCH(bool, sameContent);
    QFETCH(QString, step);
    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    const QByteArray collectionFile = contentFor(QStringLiteral("a"), 4000);
    QVERIFY(writeContent(source.filePath(QStringLiteral("a.mp3")), collectionFile));
    QVERIFY(writeContent(source.filePath(QStringLiteral("c.mp3")), contentFor(QStringLiteral("c"), 3000)));
    QVERIFY(writeContent(fs::joinPath(player.path(), QStringLiteral("a.mp3")),
                         sameContent ? collectionFile : contentFor(QStringLiteral("a"), 4000, 1)));
    const Snapshot collection = snapshot(source.path());
    const Snapshot onPlayer = snapshot(player.path());

    // Start at c.mp3, then move a player file back.
    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(2) == 1 && r.next() < 0.5; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(recorder.log, (QStringList{step, QStringLiteral("copied c.mp3")}));
    QCOMPARE(snapshot(source.path()), collection);
    QCOMPARE(QFile::exists(fs::joinPath(player.path(), QStringLiteral("a.mp3"))), !sameContent);
    if (!sameContent)
        QCOMPARE(snapshot(player.path()).value(QStringLiteral("a.mp3")), onPlayer.value(QStringLiteral("a.mp3")));
    QCOMPARE(result.lastSelected, fs::joinPath(player.path(), QStringLiteral("a.mp3")));
}

void tst_Mix::fullPlayerEndsTheRunCleanly()
{
    QTemporaryDir source;
    // Room for the folder and three files: the fourth copy cannot be created.
    TmpfsMount player(QStringLiteral("size=4m,nr_inodes=4"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    for (int i = 0; i < 8; ++i)
        QVERIFY(
            writeContent(source.filePath(QStringLiteral("lied%1.mp3").arg(i)), contentFor(QString::number(i), 2000)));
    const Snapshot collection = snapshot(source.path());

    // Start at the first file and never move back, so the player only fills.
    const quint64 seed = seedWhere([](MixRandom &r) {
        if (r.nextPosition(8) != 0)
            return false;
        for (int i = 0; i < 4; ++i) {
            if (r.next() < 0.5)
                return false;
        }
        return true;
    });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QCOMPARE(result.status, MixResult::Status::Failed);
    QCOMPARE(result.failedStep, MixResult::Step::Copy);
    QCOMPARE(result.path, source.filePath(QStringLiteral("lied3.mp3")));
    QVERIFY(!result.reason.isEmpty());
    QVERIFY(result.problem().startsWith(
        QStringLiteral("Die Datei %1 konnte nicht kopiert werden: ").arg(QDir::toNativeSeparators(result.path))));
    QCOMPARE(result.counts.copied, 3);
    QCOMPARE(recorder.log.size(), 3);
    // What was done stays done, and nothing half-written is left.
    QCOMPARE(snapshot(player.path()).keys(),
             (QStringList{QStringLiteral("lied0.mp3"), QStringLiteral("lied1.mp3"), QStringLiteral("lied2.mp3")}));
    for (const QString &name : snapshot(player.path()).keys())
        QCOMPARE(snapshot(player.path()).value(name), collection.value(name));
    QVERIFY(!hasPartialFiles(player.path()));
    QCOMPARE(snapshot(source.path()), collection);
}

void tst_Mix::fullCollectionKeepsThePlayerFile()
{
    // A collection that cannot take another file: the move-back copy fails.
    TmpfsMount source(QStringLiteral("size=4m,nr_inodes=2"));
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.valid());
    QVERIFY(player.valid());
    QVERIFY(writeContent(fs::joinPath(source.path(), QStringLiteral("a.mp3")), contentFor(QStringLiteral("a"), 3000)));
    QVERIFY(writeContent(fs::joinPath(player.path(), QStringLiteral("p.mp3")), contentFor(QStringLiteral("p"), 3000)));
    const Snapshot collection = snapshot(source.path());
    const Snapshot onPlayer = snapshot(player.path());

    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(1) == 0 && r.next() < 0.5; });
    const MixResult result = fill(source.path(), player.path(), seed);
    QCOMPARE(result.status, MixResult::Status::Failed);
    QCOMPARE(result.failedStep, MixResult::Step::MoveBack);
    QCOMPARE(result.path, fs::joinPath(player.path(), QStringLiteral("p.mp3")));
    QVERIFY(result.problem().contains(QStringLiteral("konnte nicht ins StammVerzeichnis zurückgelegt werden")));
    QCOMPARE(snapshot(player.path()), onPlayer);
    QCOMPARE(snapshot(source.path()), collection);
}

void tst_Mix::undeletablePlayerFileEndsTheRun()
{
    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    QVERIFY(writeContent(source.filePath(QStringLiteral("a.mp3")), contentFor(QStringLiteral("a"), 3000)));
    QVERIFY(writeContent(source.filePath(QStringLiteral("b.mp3")), contentFor(QStringLiteral("b"), 3000)));
    const QString locked = fs::joinPath(player.path(), QStringLiteral("a.mp3"));
    QVERIFY(writeContent(locked, contentFor(QStringLiteral("a"), 3000)));
    testsupport::ImmutableFile immutable(locked);
    QVERIFY(immutable.valid());

    const quint64 seed = seedWhere([](MixRandom &r) { return r.nextPosition(2) == 0; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QCOMPARE(result.status, MixResult::Status::Failed);
    QCOMPARE(result.failedStep, MixResult::Step::Delete);
    QCOMPARE(result.path, locked);
    QVERIFY(result.problem().startsWith(QStringLiteral("Die Datei %1 konnte nicht vom Player gelöscht werden: ")
                                            .arg(QDir::toNativeSeparators(locked))));
    // The run ended there: b.mp3 was never reached.
    QVERIFY(recorder.log.isEmpty());
    QCOMPARE(snapshot(player.path()).keys(), QStringList{QStringLiteral("a.mp3")});
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
    TmpfsMount player(QStringLiteral("size=64m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    for (int i = 0; i < 4; ++i)
        QVERIFY(testsupport::writeFile(source.filePath(QStringLiteral("lied%1.mp3").arg(i)), size));

    const quint64 seed = seedWhere([](MixRandom &r) {
        if (r.nextPosition(4) != 0)
            return false;
        return r.next() >= 0.5 && r.next() >= 0.5 && r.next() >= 0.5;
    });
    std::atomic_bool cancel = false;
    Recorder recorder;
    recorder.onCopying = [&](MixAction, const QString &name, qint64 done, qint64) {
        if (name == QStringLiteral("lied2.mp3") && (insideTheFile ? done > 0 : done == 0))
            cancel = true;
    };
    const MixResult result = fill(source.path(), player.path(), seed, &recorder, false, &cancel);
    QCOMPARE(result.status, MixResult::Status::Cancelled);
    QCOMPARE(result.counts.copied, 2);
    QCOMPARE(result.summary(),
             QStringLiteral("Abgebrochen: 2 Dateien kopiert, 0 vom Player genommen, 0 zurück ins StammVerzeichnis"));
    QCOMPARE(snapshot(player.path()).keys(), (QStringList{QStringLiteral("lied0.mp3"), QStringLiteral("lied1.mp3")}));
    QVERIFY(!hasPartialFiles(player.path()));
}

void tst_Mix::dryRunTouchesNothingAndForetellsTheRun()
{
    for (quint64 seed = 1; seed <= 6; ++seed) {
        QTemporaryDir source;
        TmpfsMount player(QStringLiteral("size=2m"));
        QVERIFY(source.isValid());
        QVERIFY(player.valid());
        Setup setup;
        for (int i = 0; i < 14; ++i) {
            const QString name = QStringLiteral("lied%1.mp3").arg(i, 2, 10, QLatin1Char('0'));
            setup.source.insert(name, contentFor(name, (20 + i * 9) * page));
            if (i % 4 == 0)
                setup.player.insert(name, setup.source.value(name));
        }
        setup.player.insert(QStringLiteral("fremd.mp3"), contentFor(QStringLiteral("fremd"), 30 * page));
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
    }
}

void tst_Mix::positionsBeyondSixteenBits()
{
    constexpr int count = 33000;
    TmpfsMount source(QStringLiteral("size=4m"));
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.valid());
    QVERIFY(player.valid());
    for (int i = 0; i < count; ++i)
        QVERIFY(testsupport::writeFile(
            fs::joinPath(source.path(), QStringLiteral("%1.mp3").arg(i, 5, 10, QLatin1Char('0'))), 0));

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
    QVERIFY(fs::mp3Files(player.path()).contains(QStringLiteral("%1.mp3").arg(count - 1)));
}

void tst_Mix::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString src = QStringLiteral("SRC");
    const QString dst = QStringLiteral("DST");
    QTest::newRow("fill") << QStringList{QStringLiteral("--fill"), QStringLiteral("--seed"), QStringLiteral("7"), src,
                                         dst}
                          << 0
                          << QStringLiteral("kopiert: lied.mp3\n1 Datei kopiert, 0 vom Player genommen, 0 zurück ins "
                                            "StammVerzeichnis\nStartwert: 7, Beginn bei Eintrag 1 von 1\n")
                          << QString();
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0 << QStringLiteral("Tonvola 1.0.15\n")
                             << QString();
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("--dry-run") << QString();
    QTest::newRow("one folder") << QStringList{QStringLiteral("--fill"), src} << 2 << QString()
                                << QStringLiteral("SOURCE PLAYER");
    QTest::newRow("bad seed") << QStringList{QStringLiteral("--fill"), QStringLiteral("--seed=x"), src, dst} << 2
                              << QString() << QStringLiteral("--seed");
    QTest::newRow("seed without fill") << QStringList{QStringLiteral("--seed=1"), src, dst} << 2 << QString()
                                       << QStringLiteral("--fill");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fill"), QStringLiteral("--schnell"), src, dst} << 2
                                    << QString() << QStringLiteral("schnell");
    QTest::newRow("same folder") << QStringList{QStringLiteral("--fill"), src, src + QLatin1Char('/')} << 1 << QString()
                                 << QStringLiteral("Bitte wählen Sie ein anderes Verzeichnis!\n");
    QTest::newRow("missing folder") << QStringList{QStringLiteral("--fill"), src, dst + QStringLiteral("/weg")} << 1
                                    << QString() << QStringLiteral("ist nicht erreichbar");
    QTest::newRow("failing copy") << QStringList{QStringLiteral("--fill"), QStringLiteral("--seed=3"), src,
                                                 QStringLiteral("FULL")}
                                  << 1 << QStringLiteral("0 Dateien kopiert")
                                  << QStringLiteral("konnte nicht kopiert werden: ");
}

void tst_Mix::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);

    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=4m"));
    TmpfsMount full(QStringLiteral("size=4m,nr_inodes=1"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid() && full.valid());
    QVERIFY(writeContent(source.filePath(QStringLiteral("lied.mp3")), contentFor(QStringLiteral("lied"), 3000)));
    for (QString &argument : arguments) {
        argument.replace(QStringLiteral("SRC"), source.path())
            .replace(QStringLiteral("DST"), player.path())
            .replace(QStringLiteral("FULL"), full.path());
    }
    arguments.prepend(QStringLiteral("tonvola"));

    QString printed;
    QString complained;
    QTextStream outStream(&printed);
    QTextStream errStream(&complained);
    QCOMPARE(cli::run(arguments, outStream, errStream), exitCode);
    outStream.flush();
    errStream.flush();
    if (exitCode == 0 && !arguments.contains(QStringLiteral("--help")))
        QCOMPARE(printed, out);
    else
        QVERIFY2(printed.contains(out), qPrintable(printed));
    QVERIFY2(complained.contains(err), qPrintable(complained));
    QCOMPARE(err.isEmpty(), complained.isEmpty());
}

void tst_Mix::commandLineDryRunTouchesNothing()
{
    QTemporaryDir source;
    TmpfsMount player(QStringLiteral("size=4m"));
    QVERIFY(source.isValid());
    QVERIFY(player.valid());
    for (int i = 0; i < 10; ++i) {
        const QString name = QStringLiteral("lied%1.mp3").arg(i);
        QVERIFY(writeContent(source.filePath(name), contentFor(name, 5000)));
        if (i % 3 == 0)
            QVERIFY(writeContent(fs::joinPath(player.path(), name), contentFor(name, 5000)));
    }
    const Snapshot collection = snapshot(source.path());
    const Snapshot onPlayer = snapshot(player.path());
    const auto runCommand = [&](bool dryRun) {
        QStringList arguments = {QStringLiteral("tonvola"), QStringLiteral("--fill"), QStringLiteral("--seed"),
                                 QStringLiteral("11")};
        if (dryRun)
            arguments.append(QStringLiteral("--dry-run"));
        arguments << source.path() << player.path();
        QString printed;
        QString complained;
        QTextStream out(&printed);
        QTextStream err(&complained);
        const int code = cli::run(arguments, out, err);
        out.flush();
        return std::make_pair(code, printed);
    };

    const auto [dryCode, foretold] = runCommand(true);
    QCOMPARE(dryCode, 0);
    QVERIFY(foretold.endsWith(QStringLiteral("Probelauf: keine Datei wurde verändert.\n")));
    QCOMPARE(snapshot(source.path()), collection);
    QCOMPARE(snapshot(player.path()), onPlayer);

    const auto [code, done] = runCommand(false);
    QCOMPARE(code, 0);
    QVERIFY(done.count(u'\n') > 3);
    QCOMPARE(foretold, done + QStringLiteral("Probelauf: keine Datei wurde verändert.\n"));
}

void tst_Mix::commandLineIsOnlyForItsOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("wanted");
    QTest::newRow("no arguments") << QStringList{} << false;
    QTest::newRow("window options") << QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")} << false;
    QTest::newRow("fill") << QStringList{QStringLiteral("--fill"), QStringLiteral("a"), QStringLiteral("b")} << true;
    QTest::newRow("help") << QStringList{QStringLiteral("-h")} << true;
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << true;
    QTest::newRow("seed alone") << QStringList{QStringLiteral("--seed=4")} << true;
}

void tst_Mix::commandLineIsOnlyForItsOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, wanted);
    arguments.prepend(QStringLiteral("tonvola"));
    QCOMPARE(cli::wanted(arguments), wanted);
}

QTEST_GUILESS_MAIN(tst_Mix)
#include "tst_mix.moc"
