#include "TestSupport.h"

#include "app/CommandLine.h"
#include "mix/MixEngine.h"
#include "mix/MixPlan.h"
#include "mix/MixRandom.h"
#include "platform/Folder.h"
#include "platform/FolderByPath.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/NameRules.h"
#include "platform/Path.h"
#include "platform/Temporary.h"
#include "platform/WrittenRecord.h"
#include "text/MixText.h"

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
#include <numeric>
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
// What the summary of a run that wrote adds on the portable platform, which cannot make sure that
// everything is on the medium when the run ends.
QString afterWriting()
{
    return testsupport::portablePlatform() ? u"; Hinweis: das System bestätigt nicht, dass alles auf dem Datenträger "
                                             u"steht; bitte den Player vor dem Abziehen auswerfen"_s
                                           : QString();
}

QString keyOf(const QByteArray &native)
{
    const fs::FileName name = fs::FileName::fromNative(native);
    return name.isExactText() ? name.text() : QString::fromLatin1(native.toPercentEncoding());
}

// Every file of a folder, hidden ones too, by its name's bytes, with a hash of its content.
Snapshot snapshot(const QString &folder)
{
    Snapshot files;
    const fs::Folder dir(folder);
    for (const QByteArray &native : testsupport::fileNamesIn(folder)) {
        // The program's record of its copies is its own bookkeeping.
        if (native == fs::WrittenRecord::fileName().native())
            continue;
        QFile file;
        files.insert(keyOf(native), fs::openForReading(dir, fs::FileName::fromNative(native), file).ok()
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
    const QStringList hidden = QDir(folder).entryList({u".tonvola-*"_s}, QDir::Files | QDir::Hidden);
    return std::any_of(hidden.cbegin(), hidden.cend(),
                       [](const QString &name) { return fs::isLeftoverName(QFile::encodeName(name)); });
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
    const QString name = step.name.text();
    switch (step.action) {
    case MixAction::Copied:
        return u"copied "_s + name;
    case MixAction::TakenOff:
        return u"taken off "_s + name;
    case MixAction::MovedBack:
        return u"moved back "_s + name;
    case MixAction::RemovedBroken:
        return u"broken "_s + name;
    case MixAction::KeptOnPlayer:
        return u"kept "_s + name;
    case MixAction::NoRoom:
        return u"no room "_s + name;
    case MixAction::Skipped:
        return u"skipped "_s + name;
    }
    return {};
}

QStringList describe(const MixPlan &plan)
{
    QStringList lines;
    for (const QList<MixStep> *steps : {&plan.notes, &plan.removals, &plan.copies}) {
        for (const MixStep &step : *steps)
            lines.append(describe(step));
    }
    return lines;
}

class Recorder : public MixObserver
{
public:
    void started(const fs::FileNames &, const fs::FileNames &, qsizetype first) override
    {
        start = first;
        if (onStarted)
            onStarted();
    }
    void planned(const MixPlan &plan) override
    {
        if (onPlanned)
            onPlanned(plan);
    }
    void transferring(const MixTransfer &transfer) override
    {
        if (onTransfer)
            onTransfer(transfer);
    }
    void acted(const MixStep &step) override
    {
        log.append(describe(step));
        steps.append(step);
    }
    void flushing() override { flushed = true; }
    void preparing(const MixPreparing &seen) override { prepared = seen; }

    qsizetype start = -1;
    MixPreparing prepared;
    QStringList log;
    QList<MixStep> steps;
    bool flushed = false;
    std::function<void()> onStarted;
    std::function<void(const MixPlan &)> onPlanned;
    std::function<void(const MixTransfer &)> onTransfer;
};

MixResult fill(const QString &source, const QString &player, quint64 seed, Recorder *recorder = nullptr,
               bool dryRun = false, const std::atomic_bool *cancel = nullptr, int exchange = defaultExchangePercent)
{
    MixOptions options;
    options.source = source;
    options.player = player;
    options.seed = seed;
    options.dryRun = dryRun;
    options.cancel = cancel;
    options.exchangePercent = exchange;
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

// The order in which a fill visits a collection of count files that the player never held: the
// positions dealt like cards.
std::vector<qsizetype> dealt(MixRandom &r, qsizetype count)
{
    std::vector<qsizetype> order(static_cast<std::size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    for (qsizetype n = count - 1; n > 0; --n)
        std::swap(order[std::size_t(n)], order[std::size_t(r.nextPosition(n + 1))]);
    return order;
}

quint64 seedVisitingFirst(const std::vector<qsizetype> &first, qsizetype count)
{
    return seedWhere([&](MixRandom &r) { return std::equal(first.cbegin(), first.cend(), dealt(r, count).cbegin()); });
}

// A collection and a player medium in memory, for the plan alone: each file is a name and a
// size, and a player file of a collection file's name holds the same bytes unless it is
// listed among otherBytes. The player folder is alone on its medium.
struct Simulated {
    QList<std::pair<QString, qint64>> source;
    QList<std::pair<QString, qint64>> player;
    QSet<QString> otherBytes;
    qint64 room = 0;
    qint64 cluster = 4 * KiB;
    fs::LetterCase letterCase = fs::LetterCase::Exact;
    // The memory of the pair: the last run each collection file was on the player, and the
    // run in which each player file was written, as the record tells it.
    QHash<QString, qint64> lastRun;
    QHash<QString, qint64> writtenAt;
    qint64 runs = 0;

    [[nodiscard]] qint64 allocated(qint64 size) const { return (size + cluster - 1) / cluster * cluster; }
    [[nodiscard]] qint64 used() const
    {
        qint64 sum = 0;
        for (const auto &[name, size] : player)
            sum += allocated(size);
        return sum;
    }

    [[nodiscard]] MixInput input() const
    {
        MixInput in;
        const auto sorted = [](const QList<std::pair<QString, qint64>> &files, auto &into) {
            fs::FileNames names;
            QHash<QString, qint64> sizes;
            for (const auto &[name, size] : files) {
                names.append(fs::FileName::fromText(name));
                sizes.insert(name, size);
            }
            std::vector<fs::ListKey> keys = fs::inListOrder(names);
            for (const fs::ListKey &key : keys) {
                auto &file = into.emplace_back();
                file.name = key.name();
                file.entry.kind = fs::Entry::Kind::File;
                file.entry.size = sizes.value(key.name().text());
                file.entry.modifiedNs = qint64(1600000000) * 1000000000;
            }
            return keys;
        };
        const std::vector<fs::ListKey> sourceKeys = sorted(source, in.source);
        const std::vector<fs::ListKey> playerKeys = sorted(player, in.player);
        for (MixInput::Source &file : in.source)
            file.lastRun = lastRun.value(file.name.text(), -1);
        for (MixInput::OnPlayer &file : in.player)
            file.writtenAtS = writtenAt.value(file.name.text(), -1);
        in.assignKeys(sourceKeys, playerKeys, letterCase);
        in.freeBytes = room - used();
        in.cluster = cluster;
        return in;
    }

    [[nodiscard]] MixComparer comparer(const MixInput &in) const
    {
        return [&in, other = otherBytes](qsizetype, qsizetype j) {
            return other.contains(in.player[std::size_t(j)].name.text()) ? fs::Likeness::OtherBytes
                                                                         : fs::Likeness::SameBytes;
        };
    }

    // The player and the collection as the plan leaves them.
    void carryOut(const MixInput &in, const MixPlan &plan)
    {
        for (const MixStep &step : plan.removals) {
            const QString name = step.name.text();
            const auto it = std::find_if(player.begin(), player.end(), [&](const auto &f) { return f.first == name; });
            if (step.action == MixAction::MovedBack && !step.alreadyInCollection)
                source.append(*it);
            player.erase(it);
        }
        ++runs;
        for (qsizetype k = 0; k < plan.copies.size(); ++k) {
            player.append({plan.copies[k].name.text(), in.source[std::size_t(plan.copyIndex[k])].entry.size});
            writtenAt.insert(plan.copies[k].name.text(), runs);
        }
        for (const auto &[name, size] : std::as_const(player))
            lastRun.insert(name, runs);
    }
};

// Files of random sizes between the bounds, named "Lied 0001.mp3" and on.
QList<std::pair<QString, qint64>> randomFiles(qint64 total, qint64 smallest, qint64 largest, std::mt19937 &dice)
{
    QList<std::pair<QString, qint64>> files;
    for (qint64 sum = 0; sum < total;) {
        const qint64 size = smallest + qint64(dice() % quint32(largest - smallest + 1));
        files.append({u"Lied %1.mp3"_s.arg(files.size() + 1, 4, 10, QLatin1Char('0')), size});
        sum += size;
    }
    return files;
}

// The plan made as a person would walk it with pen and paper: plain lists gone through entry
// by entry, no keys and no trees. The engine's plan must be the same, line for line.
QStringList walkedByHand(const Simulated &sim, quint64 seed, int exchange)
{
    MixRandom random(seed);
    QStringList source;
    for (const auto &[name, size] : sim.source)
        source.append(name);
    fs::sortInListOrder(source);
    const auto sizeIn = [](const QList<std::pair<QString, qint64>> &files, const QString &name) {
        for (const auto &[n, size] : files) {
            if (n == name)
                return size;
        }
        return qint64(-1);
    };
    const auto same = [&](const QString &a, const QString &b) {
        return fs::isSameName(fs::FileName::fromText(a), fs::FileName::fromText(b), sim.letterCase);
    };
    const auto findIn = [&](const QStringList &list, const QString &name) {
        for (qsizetype i = 0; i < list.size(); ++i) {
            if (same(list[i], name))
                return i;
        }
        return qsizetype(-1);
    };
    QStringList onPlayer;
    for (const auto &[name, size] : sim.player)
        onPlayer.append(name);
    fs::sortInListOrder(onPlayer);
    const QStringList there = onPlayer;
    // Dealt like cards, then those the player held least recently first; the player's files
    // the same way, by the time the program wrote them.
    const auto deal = [&random](QStringList cards, const std::function<qint64(const QString &)> &rank) {
        for (qsizetype n = cards.size() - 1; n > 0; --n)
            cards.swapItemsAt(n, random.nextPosition(n + 1));
        std::stable_sort(cards.begin(), cards.end(),
                         [&](const QString &a, const QString &b) { return rank(a) < rank(b); });
        return cards;
    };
    const QStringList order = deal(source, [&](const QString &name) { return sim.lastRun.value(name, -1); });
    const QStringList leaving = deal(there, [&](const QString &name) { return sim.writtenAt.value(name, -1); });
    QStringList resting;
    QStringList copied;
    QStringList unmovable;
    QStringList notes;
    struct Event {
        bool copy;
        QString name;
        QString line;
    };
    QList<Event> events;
    qint64 free = sim.room - sim.used();
    // The record of the program's copies on the player grows with each change, and takes room.
    qint64 record = 0;
    const auto recordGrows = [&](const QString &name, bool copy) {
        const qint64 before = sim.allocated(record);
        record = std::max(record, fs::WrittenRecord::headerSize())
                 + fs::WrittenRecord::growthFor(fs::FileName::fromText(name), copy);
        free -= sim.allocated(record) - before;
    };

    // The files that were there at the start and may still go back, in the order they go.
    const auto movable = [&] {
        QStringList list;
        for (const QString &name : leaving) {
            if (onPlayer.contains(name) && !unmovable.contains(name))
                list.append(name);
        }
        return list;
    };
    qint64 budget = 0;
    qint64 spent = 0;
    const auto inCollection = [&](const QString &name) {
        for (const QString &s : std::as_const(source)) {
            if (same(s, name))
                return true;
        }
        return false;
    };
    const auto remove = [&](const QString &name, const QString &what) {
        onPlayer.removeOne(name);
        free += sim.allocated(sizeIn(sim.player, name));
        recordGrows(name, false);
        spent += sim.allocated(sizeIn(sim.player, name));
        resting.append(name);
        events.append({false, name, what + name});
    };
    const auto moveBack = [&](const QString &name) {
        if (inCollection(name) && sim.otherBytes.contains(name)) {
            unmovable.append(name);
            notes.append(u"kept "_s + name);
            return;
        }
        remove(name, u"moved back "_s);
    };
    const auto copy = [&](const QString &name) {
        onPlayer.append(name);
        fs::sortInListOrder(onPlayer);
        copied.append(name);
        free -= sim.allocated(sizeIn(sim.source, name));
        recordGrows(name, true);
        events.append({true, name, u"copied "_s + name});
    };

    qint64 taken = 0;
    for (const auto &[name, size] : sim.player)
        taken += sim.allocated(size);
    budget = (taken * exchange + 99) / 100;
    while (free < budget && spent < budget && !movable().isEmpty())
        moveBack(movable().constFirst());
    for (const QString &name : order) {
        if (!fitsOnPlayer(sizeIn(sim.source, name), free))
            continue;
        if (const qsizetype at = findIn(onPlayer, name); at >= 0) {
            const QString repeat = onPlayer[at];
            if (findIn(copied, name) >= 0 || unmovable.contains(repeat) || spent >= budget)
                continue;
            if (sim.otherBytes.contains(repeat)) {
                unmovable.append(repeat);
                notes.append(u"kept "_s + repeat);
                continue;
            }
            remove(repeat, u"taken off "_s);
            continue;
        }
        if (findIn(resting, name) >= 0)
            continue;
        if (random.next() < 0.5 && spent < budget && !movable().isEmpty())
            moveBack(movable().constFirst());
        copy(name);
    }
    for (const QString &name : order) {
        if (findIn(onPlayer, name) < 0 && fitsOnPlayer(sizeIn(sim.source, name), free))
            copy(name);
    }
    // What left and came back stays.
    QStringList removals;
    QList<Event> planned;
    for (const Event &event : std::as_const(events)) {
        const bool backAgain = findIn(there, event.name) >= 0 && findIn(onPlayer, event.name) >= 0;
        if (backAgain)
            continue;
        if (event.copy)
            planned.append(event);
        else
            removals.append(event.line);
    }
    // Carried out in order, every removal first: a copy that does not fit then is left out, and
    // the room left goes to what still fits of the files that were not on the player.
    free = sim.room - sim.used();
    record = 0;
    for (const Event &event : std::as_const(events)) {
        if (!event.copy && removals.contains(event.line)) {
            free += sim.allocated(sizeIn(sim.player, event.name));
            recordGrows(event.name, false);
        }
    }
    QStringList copies;
    for (const Event &event : std::as_const(planned)) {
        if (fitsOnPlayer(sizeIn(sim.source, event.name), free)) {
            free -= sim.allocated(sizeIn(sim.source, event.name));
            recordGrows(event.name, true);
            copies.append(event.line);
        } else {
            onPlayer.removeAt(findIn(onPlayer, event.name));
        }
    }
    for (const QString &name : order) {
        if (findIn(onPlayer, name) < 0 && findIn(there, name) < 0 && fitsOnPlayer(sizeIn(sim.source, name), free)) {
            onPlayer.append(name);
            free -= sim.allocated(sizeIn(sim.source, name));
            recordGrows(name, true);
            copies.append(u"copied "_s + name);
        }
    }
    return notes + removals + copies;
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

qint64 mp3Bytes(const QString &folder)
{
    qint64 sum = 0;
    for (const QString &name : fs::mp3Files(folder))
        sum += QFileInfo(fs::joinPath(folder, name)).size();
    return sum;
}

} // namespace

class tst_Mix : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // The plan, on a medium simulated in memory.
    void sizesRoundToWholeMiBHalfToEven_data();
    void sizesRoundToWholeMiBHalfToEven();
    void walkScenarios_data();
    void walkScenarios();
    void planIsTheWalkByHand();
    void aboutHalfOfTheCopiesMoveAFileBack();

    // The fill on real folders and media.
    void fitTestUsesTheRealFreeSpace_data();
    void fitTestUsesTheRealFreeSpace();
    void singleFileOfAnyNameIsCopied_data();
    void singleFileOfAnyNameIsCopied();
    void playerFileGoesOnlyWhenTheCollectionHoldsItsBytes_data();
    void playerFileGoesOnlyWhenTheCollectionHoldsItsBytes();
    void sameFolderTouchesNothing_data();
    void sameFolderTouchesNothing();
    void missingFolderIsNamed();
    void moveBackIsAMoveThatReplacesNothing_data();
    void moveBackIsAMoveThatReplacesNothing();
    void collectionInFolders_data();
    void collectionInFolders();
    void filesOtherProgramsChange_data();
    void filesOtherProgramsChange();
    void brokenCopiesGoUsersFilesStay_data();
    void brokenCopiesGoUsersFilesStay();
    void fullPlayerIsAGoodEnding_data();
    void fullPlayerIsAGoodEnding();
    void repeatedRunsKeepThePlayerFullAndNew_data();
    void repeatedRunsKeepThePlayerFullAndNew();
    void pulledPlayerTakesNothingElsewhere();
    void oneFillPerPlayer_data();
    void oneFillPerPlayer();
    void unreadableFolderIsAnError_data();
    void unreadableFolderIsAnError();
    void cancelStopsWithoutPartialFile_data();
    void cancelStopsWithoutPartialFile();
    void dryRunTouchesNothingAndForetellsTheRun();
    void memoryOfEachPlayer_data();
    void memoryOfEachPlayer();
    void positionsBeyondSixteenBits();
    void fatRulesOfTheKernelsDriver();
    void powerCutsLeaveOnlyWholeFiles();
    void commandLine_data();
    void commandLine();
    void windowOnlyWithoutOrWithQtOptions_data();
    void windowOnlyWithoutOrWithQtOptions();
};

void tst_Mix::initTestCase()
{
    // The exchange the command line takes by default is the user's setting; the tests' own.
    static QTemporaryDir settings;
    QVERIFY(settings.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(settings.path()));
    qputenv("XDG_STATE_HOME", QFile::encodeName(settings.path() + u"/state"_s));
}

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

// Each row: a collection, a player and its medium, described as "key=value" words:
//   room=MiB             the medium's size; the player folder is alone on it
//   collection=FACTOR    random files of 1-4 MiB, FACTOR times the room in all
//   files=a:3,b:2.5      named files of so many MiB instead
//   player=empty|half|full   filled with random files of the collection, or
//   player=a:3           named files (the same bytes as the collection's of that name)
//   other=a              player files whose bytes differ from the collection's
//   case=ascii|all       the medium ignores letter case in ASCII only (FAT) or in all letters
//   spread               run 1 takes files from all over the collection, as a random choice does
//   changed              each run takes the exchange's share of the player's bytes off it, to
//                        within one file (no more than that on a player with room)
//   turn                 the runs bring the files the player never held first, until the whole
//                        collection has been on it, and none stays longer than three runs
// After each of `runs` runs the player is at least minFill % full and at least minNew % of its
// files are new; the bytes copied are the bytes of the files new on the player, and what the
// first run does is `first` (unchecked when empty; "nothing" for a run that changes nothing).
void tst_Mix::walkScenarios_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("exchange");
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("minFill");
    QTest::addColumn<int>("minNew");
    QTest::addColumn<QStringList>("first");

    const QStringList any;
    QTest::newRow("empty player, collection 1.2 times its room")
        << u"room=150 collection=1.2 player=empty"_s << 50 << 1 << 95 << 0 << any;
    QTest::newRow("empty player, collection twice its room")
        << u"room=150 collection=2 player=empty"_s << 50 << 1 << 95 << 0 << any;
    QTest::newRow("empty player, collection five times its room: a random choice")
        << u"room=150 collection=5 player=empty spread"_s << 50 << 1 << 95 << 0 << any;
    QTest::newRow("part-full player") << u"room=150 collection=1.2 player=half changed"_s << 50 << 5 << 90 << 0 << any;
    QTest::newRow("part-full player, exchange 10")
        << u"room=150 collection=5 player=half changed"_s << 10 << 3 << 90 << 0 << any;
    QTest::newRow("full player, 1.2 times, default exchange")
        << u"room=150 collection=1.2 player=full"_s << 50 << 6 << 90 << 0 << any;
    QTest::newRow("full player, twice, exchange 50")
        << u"room=150 collection=2 player=full changed"_s << 50 << 6 << 90 << 40 << any;
    QTest::newRow("full player, twice, exchange 0")
        << u"room=150 collection=2 player=full changed"_s << 0 << 4 << 90 << 0 << any;
    QTest::newRow("full player, five times, exchange 10")
        << u"room=150 collection=5 player=full changed"_s << 10 << 4 << 90 << 5 << any;
    QTest::newRow("full player, five times, exchange 25")
        << u"room=150 collection=5 player=full changed"_s << 25 << 4 << 90 << 20 << any;
    QTest::newRow("full player, twice, exchange 100")
        << u"room=150 collection=2 player=full changed"_s << 100 << 4 << 90 << 80 << any;
    QTest::newRow("ten runs from an empty player bring the whole collection in turn")
        << u"room=150 collection=5 player=empty turn"_s << 50 << 10 << 90 << 40 << any;
    QTest::newRow("large files onto a full player")
        << u"room=150 collection=2 player=full big=1"_s << 50 << 4 << 85 << 40 << any;
    QTest::newRow("collection smaller than the player")
        << u"room=150 collection=0.5 player=empty"_s << 50 << 2 << 45 << 0 << any;
    QTest::newRow("one file") << u"room=10 files=a:1"_s << 50 << 2 << 10 << 0 << QStringList{u"copied a.mp3"_s};
    QTest::newRow("rounding at the edge: 3.4 of 3.6 fits, 3.6 does not")
        << u"room=3.6 files=a:3.6,b:3.4"_s << 50 << 1 << 90 << 0 << QStringList{u"copied b.mp3"_s};
    QTest::newRow("a repeat goes and rests; its room takes another")
        << u"room=5 files=a:2,b:3 player=a:2"_s << 100 << 1 << 55 << 0
        << QStringList{u"taken off a.mp3"_s, u"copied b.mp3"_s};
    QTest::newRow("a repeat stays once the exchange is spent")
        << u"room=5 files=a:2,b:3 player=a:2"_s << 0 << 1 << 40 << 0 << QStringList{u"nothing"_s};
    QTest::newRow("a repeat that the refill brings back stays")
        << u"room=10 files=a:2 player=a:2"_s << 100 << 1 << 20 << 0 << QStringList{u"nothing"_s};
    QTest::newRow("a player file of other bytes stays, told once")
        << u"room=5 files=a:2,b:3 player=a:2 other=a"_s << 100 << 1 << 40 << 0 << QStringList{u"kept a.mp3"_s};
    QTest::newRow("a player file of other bytes that the exchange meets is told once")
        << u"room=3 files=a:2,b:1 player=a:2 other=a"_s << 100 << 1 << 60 << 0 << QStringList{u"kept a.mp3"_s};
    QTest::newRow("exchange moves back what was there, then walks")
        << u"room=3 files=a:2,c:2 player=a:2"_s << 100 << 1 << 60 << 100
        << QStringList{u"moved back a.mp3"_s, u"copied c.mp3"_s};
    QTest::newRow("names one only in ASCII letters on FAT")
        << u"room=10 files=Öl:1,öl:1,Duo:1,DUO:1 case=ascii"_s << 50 << 2 << 20 << 0 << any;
    QTest::newRow("names one in every alphabet on exFAT")
        << u"room=10 files=Öl:1,öl:1,Duo:1,DUO:1 case=all"_s << 50 << 2 << 20 << 0 << any;
}

void tst_Mix::walkScenarios()
{
    QFETCH(QString, setup);
    QFETCH(int, exchange);
    QFETCH(int, runs);
    QFETCH(int, minFill);
    QFETCH(int, minNew);
    QFETCH(QStringList, first);

    QHash<QString, QString> given;
    for (const QString &word : setup.split(u' '))
        given.insert(word.section(u'=', 0, 0), word.section(u'=', 1));
    const auto sized = [](const QString &list) {
        QList<std::pair<QString, qint64>> files;
        for (const QString &file : list.split(u',', Qt::SkipEmptyParts))
            files.append({file.section(u':', 0, 0) + u".mp3"_s, qint64(file.section(u':', 1).toDouble() * MiB)});
        return files;
    };
    std::mt19937 dice(7);
    Simulated sim;
    sim.room = qint64(given.value(u"room"_s).toDouble() * MiB);
    if (given.contains(u"collection"_s)) {
        const qint64 largest = given.contains(u"big"_s) ? 20 * MiB : 4 * MiB;
        sim.source =
            randomFiles(qint64(given.value(u"collection"_s).toDouble() * double(sim.room)), MiB, largest, dice);
    } else {
        sim.source = sized(given.value(u"files"_s));
    }
    const QString player = given.value(u"player"_s);
    if (player == u"half"_s || player == u"full"_s) {
        QList<std::pair<QString, qint64>> pool = sim.source;
        std::shuffle(pool.begin(), pool.end(), dice);
        const qint64 wanted = player == u"half"_s ? sim.room / 2 : sim.room;
        for (const auto &file : std::as_const(pool)) {
            if (sim.used() + sim.allocated(file.second) <= wanted)
                sim.player.append(file);
        }
    } else if (player != u"empty"_s) {
        sim.player = sized(player);
    }
    for (const QString &name : given.value(u"other"_s).split(u',', Qt::SkipEmptyParts))
        sim.otherBytes.insert(name + u".mp3"_s);
    if (given.value(u"case"_s) == u"ascii"_s)
        sim.letterCase = fs::LetterCase::IgnoredAscii;
    else if (given.value(u"case"_s) == u"all"_s)
        sim.letterCase = fs::LetterCase::Ignored;

    QHash<QString, int> stay;
    for (int run = 1; run <= runs; ++run) {
        const quint64 seed = quint64(run * 7919);
        const MixInput in = sim.input();
        const MixPlan plan = makeMixPlan(in, seed, exchange, sim.comparer(in));
        if (run == 1 && !first.isEmpty())
            QCOMPARE(describe(plan), first == QStringList{u"nothing"_s} ? QStringList() : first);

        QSet<QByteArray> before;
        for (const auto &[name, size] : sim.player)
            before.insert(fs::caseKey(fs::FileName::fromText(name), sim.letterCase));
        const qint64 usedBefore = sim.used();
        qint64 notOnPlayer = 0;
        for (const auto &[name, size] : std::as_const(sim.source)) {
            const bool there = std::any_of(sim.player.cbegin(), sim.player.cend(), [&](const auto &file) {
                return fs::isSameName(fs::FileName::fromText(file.first), fs::FileName::fromText(name), sim.letterCase);
            });
            notOnPlayer += there ? 0 : sim.allocated(size);
        }
        qint64 unseenBytes = 0;
        for (const auto &[name, size] : std::as_const(sim.source))
            unseenBytes += sim.lastRun.contains(name) ? 0 : size;
        if (given.contains(u"turn"_s) && unseenBytes > 2 * sim.room) {
            for (const MixStep &step : plan.copies)
                QVERIFY2(!sim.lastRun.contains(step.name.text()), qPrintable(step.name.text()));
        }
        sim.carryOut(in, plan);
        if (given.contains(u"changed"_s) && usedBefore > 0) {
            qint64 left = 0;
            for (const MixStep &step : plan.removals)
                left += sim.allocated(step.size);
            const qint64 share = 100 * left / usedBefore;
            QVERIFY2(share <= exchange + 5, qPrintable(u"run %1: %2 %% left"_s.arg(run).arg(share)));
            // On a full player, as long as the collection has enough to bring instead.
            if (sim.room - usedBefore < 4 * MiB && notOnPlayer > usedBefore * (exchange + 5) / 100)
                QVERIFY2(share >= exchange - 5, qPrintable(u"run %1: %2 %% left"_s.arg(run).arg(share)));
        }
        if (given.contains(u"spread"_s)) {
            // A random choice of k of n files in list order forms about k (n - k + 1) / n stretches.
            QStringList names;
            for (const auto &[name, size] : std::as_const(sim.source))
                names.append(name);
            fs::sortInListOrder(names);
            qsizetype stretches = 0;
            for (qsizetype i = 0; i < names.size(); ++i)
                stretches += sim.lastRun.contains(names[i]) && (i == 0 || !sim.lastRun.contains(names[i - 1]));
            const double k = double(sim.player.size());
            const double n = double(names.size());
            QVERIFY2(double(stretches) >= 0.8 * k * (n - k + 1) / n, qPrintable(QString::number(stretches)));
        }
        for (const auto &[name, size] : std::as_const(sim.player)) {
            ++stay[name];
            QVERIFY2(!given.contains(u"turn"_s) || stay[name] <= 3, qPrintable(name));
        }
        for (auto it = stay.begin(); it != stay.end();)
            it = sim.lastRun.value(it.key()) == sim.runs ? std::next(it) : stay.erase(it);
        // Nothing copied is removed again, and what was copied is what is new.
        QSet<QByteArray> removed;
        for (const MixStep &step : plan.removals)
            removed.insert(fs::caseKey(step.name, sim.letterCase));
        for (const MixStep &step : plan.copies)
            QVERIFY2(!removed.contains(fs::caseKey(step.name, sim.letterCase)), qPrintable(step.name.text()));
        qint64 newBytes = 0;
        qsizetype newFiles = 0;
        QSet<QByteArray> onMedium;
        for (const auto &[name, size] : std::as_const(sim.player)) {
            const QByteArray key = fs::caseKey(fs::FileName::fromText(name), sim.letterCase);
            // Names that are one on the medium are there once.
            QVERIFY2(!onMedium.contains(key), qPrintable(name));
            onMedium.insert(key);
            if (!before.contains(key)) {
                newBytes += size;
                ++newFiles;
            }
        }
        QCOMPARE(plan.copyBytes, newBytes);
        // The plan's own count of the free room holds the record of the copies too.
        QVERIFY(plan.freeAfter <= sim.room - sim.used());
        const qint64 fill = 100 * sim.used() / sim.room;
        QVERIFY2(fill >= minFill, qPrintable(u"run %1: %2 %% full"_s.arg(run).arg(fill)));
        if (!before.isEmpty()) {
            const qint64 fresh = 100 * newFiles / std::max<qsizetype>(1, sim.player.size());
            QVERIFY2(fresh >= minNew, qPrintable(u"run %1: %2 %% new"_s.arg(run).arg(fresh)));
        }
    }
    if (given.contains(u"turn"_s))
        QVERIFY2(sim.lastRun.size() >= sim.source.size() * 95 / 100, qPrintable(QString::number(sim.lastRun.size())));
}

// Random collections and players, with spellings of one name, files of other bytes and every
// exchange share: the plan, made with keys and trees, is the walk by hand.
void tst_Mix::planIsTheWalkByHand()
{
    const QStringList pool = {
        u"Alpha.mp3"_s,   u"alpha.mp3"_s,   u"ALPHA.MP3"_s, u"beta.mp3"_s, u"Beta.Mp3"_s,   u"gamma.mp3"_s,
        u"delta.mp3"_s,   u"Epsilon.mp3"_s, u"zeta.mp3"_s,  u"eta.mp3"_s,  u"Theta.mp3"_s,  u"iota.mp3"_s,
        u"kappa.mp3"_s,   u"lambda.mp3"_s,  u"My.mp3"_s,    u"nu.MP3"_s,   u"xi.mp3"_s,     u"omikron.mp3"_s,
        u"Ärger.mp3"_s,   u"ärger.mp3"_s,   u"arzt.mp3"_s,  u"Öl.mp3"_s,   u"Straße.mp3"_s, u"strasse.mp3"_s,
        u"Lied 10.mp3"_s, u"Lied 2.mp3"_s,
    };
    const int shares[] = {0, 30, 50, 100};
    const fs::LetterCase rules[] = {fs::LetterCase::Exact, fs::LetterCase::IgnoredAscii, fs::LetterCase::Ignored};
    for (quint64 seed = 1; seed <= 60; ++seed) {
        std::mt19937 dice(static_cast<unsigned>(seed));
        Simulated sim;
        sim.letterCase = rules[dice() % 3];
        sim.room = (8 + qint64(dice() % 12)) * MiB;
        QSet<QByteArray> onMedium;
        for (const QString &name : pool) {
            const qint64 size = qint64(dice() % (3 * MiB));
            if (dice() % 3 != 0)
                sim.source.append({name, size});
            const QByteArray key = fs::caseKey(fs::FileName::fromText(name), sim.letterCase);
            if (dice() % 3 == 0 && !onMedium.contains(key) && sim.used() + sim.allocated(size) <= sim.room) {
                onMedium.insert(key);
                sim.player.append({name, size});
                if (dice() % 4 == 0)
                    sim.otherBytes.insert(name);
            }
        }
        // Another spelling of a collection file on the player holds that file's size.
        for (auto &[name, size] : sim.player) {
            for (const auto &[other, otherSize] : std::as_const(sim.source)) {
                if (fs::isSameName(fs::FileName::fromText(name), fs::FileName::fromText(other), sim.letterCase)
                    && !sim.otherBytes.contains(name))
                    size = otherSize;
            }
        }
        if (sim.used() > sim.room)
            continue;
        const int exchange = shares[dice() % 4];
        const MixInput in = sim.input();
        const MixPlan plan = makeMixPlan(in, seed, exchange, sim.comparer(in));
        QCOMPARE(describe(plan), walkedByHand(sim, seed, exchange));
    }
}

// Before each copy an even chance moves a file that was on the player back.
void tst_Mix::aboutHalfOfTheCopiesMoveAFileBack()
{
    Simulated sim;
    sim.room = 4000 * MiB;
    for (int i = 0; i < 300; ++i)
        sim.player.append({u"alt %1.mp3"_s.arg(i, 3, 10, QLatin1Char('0')), MiB});
    for (int i = 0; i < 200; ++i)
        sim.source.append({u"neu %1.mp3"_s.arg(i, 3, 10, QLatin1Char('0')), MiB});
    qsizetype copies = 0;
    qsizetype movesBack = 0;
    for (quint64 seed = 1; seed <= 10; ++seed) {
        const MixInput in = sim.input();
        const MixPlan plan = makeMixPlan(in, seed, 100, sim.comparer(in));
        copies += plan.copies.size();
        movesBack += plan.removals.size();
    }
    QCOMPARE(copies, 2000);
    const double share = double(movesBack) / double(copies);
    QVERIFY2(share > 0.45 && share < 0.55, qPrintable(QString::number(share)));
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
    if (!fs::FileName::fromNative(name).isExactText())
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::byteNames);
    QTemporaryDir source;
    TmpfsMount player(u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    const auto tidy = qScopeGuard([&] { testsupport::removeFiles(source.path()); });
    const QByteArray content = contentFor(QString::fromLatin1(name), 3000);
    QVERIFY(testsupport::writeNative(source.path(), name, content));
    QVERIFY(testsupport::writeBytes(source.filePath(u"notiz.txt"_s), "kein Lied"));

    const MixResult first = fill(source.path(), player.path(), 1);
    QVERIFY2(first.ok(), qPrintable(mixtext::problem(first)));
    QCOMPARE(first.start, 0);
    QCOMPARE(first.counts.copied, 1);
    QCOMPARE(snapshot(player.path()).keys().filter(u".mp3"_s, Qt::CaseInsensitive), QStringList{keyOf(name)});
    QCOMPARE(snapshot(player.path()).value(keyOf(name)), snapshot(source.path()).value(keyOf(name)));
    QCOMPARE(first.lastSelected, (fs::FilePath{source.path(), fs::FileName::fromNative(name)}));

    // It comes up again and is taken off, and the refill brings it back: it simply stays.
    const Snapshot onPlayer = snapshot(player.path());
    const MixResult second = fill(source.path(), player.path(), 2);
    QVERIFY(second.ok());
    QCOMPARE(second.counts.copied + second.counts.takenOff + second.counts.movedBack, 0);
    QCOMPARE(snapshot(player.path()), onPlayer);
}

void tst_Mix::playerFileGoesOnlyWhenTheCollectionHoldsItsBytes_data()
{
    QTest::addColumn<QString>("onPlayer");
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QStringList>("log");

    const QStringList takenOff{u"taken off song.mp3"_s, u"copied big.mp3"_s};
    const QStringList kept{u"kept song.mp3"_s};
    QTest::newRow("same file, time kept") << u"song.mp3"_s << u"same"_s << takenOff;
    QTest::newRow("same bytes, other time") << u"song.mp3"_s << u"same bytes, later"_s << takenOff;
    QTest::newRow("other content") << u"song.mp3"_s << u"other"_s << kept;
    QTest::newRow("same size and time, other bytes") << u"song.mp3"_s << u"other bytes, same size"_s << kept;
    QTest::newRow("same file, no write permission") << u"song.mp3"_s << u"same, read-only"_s << kept;
    QTest::newRow("same file, immutable")
        << u"song.mp3"_s << u"same, immutable"_s << QStringList{u"kept song.mp3"_s, u"no room big.mp3"_s};
    QTest::newRow("the collection's entry is a link to it") << u"song.mp3"_s << u"link"_s << kept;
    // A copy the record vouches for, sizes and times as written, is compared by its tags alone,
    // just before it goes; other tags keep it, and its room is not there for big.mp3.
    QTest::newRow("a vouched copy, its tags rewritten in the collection")
        << u"song.mp3"_s << u"vouched, other tags"_s << QStringList{u"kept song.mp3"_s, u"no room big.mp3"_s};
    QTest::newRow("a vouched copy, its middle other") << u"song.mp3"_s << u"vouched, other middle"_s << takenOff;
    QTest::newRow("a folder of that name") << u"song.mp3"_s << u"folder"_s << QStringList{u"skipped song.mp3"_s};
    QTest::newRow("name in other letter case")
        << u"Song.mp3"_s << u"other bytes, same size"_s << QStringList{u"copied song.mp3"_s};
}

// A repeat is taken off only where the collection holds its very bytes in a file of its own.
// The sizes are chosen so that its room then takes big.mp3, and the refill cannot bring it back.
void tst_Mix::playerFileGoesOnlyWhenTheCollectionHoldsItsBytes()
{
    QFETCH(QString, onPlayer);
    QFETCH(QString, situation);
    QFETCH(QStringList, log);
    QTemporaryDir source;
    TmpfsMount player(u"size=8m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    const QString song = source.filePath(u"song.mp3"_s);
    const QString there = fs::joinPath(player.path(), onPlayer);
    const qint64 songSize = MiB * 22 / 10;
    const QByteArray content = contentFor(u"song"_s, songSize);
    QVERIFY(testsupport::writeBytes(source.filePath(u"big.mp3"_s), contentFor(u"big"_s, MiB * 26 / 10)));
    if (situation == u"folder"_s)
        QVERIFY(QDir(player.path()).mkdir(onPlayer));
    else if (situation.startsWith(u"other bytes"_s))
        QVERIFY(testsupport::writeBytes(there, contentFor(u"song"_s, songSize, 1)));
    else if (situation.startsWith(u"other"_s))
        QVERIFY(testsupport::writeBytes(there, contentFor(u"other"_s, songSize - 7000)));
    else
        QVERIFY(testsupport::writeBytes(there, content));
    QByteArray inCollection = content;
    if (situation.startsWith(u"vouched"_s))
        inCollection[situation.endsWith(u"tags"_s) ? 10 : songSize / 2] = '#';
    if (situation == u"link"_s)
        QVERIFY(QFile::link(there, song));
    else
        QVERIFY(testsupport::writeBytes(song, inCollection));
    if (situation != u"folder"_s && situation != u"link"_s) {
        const QDateTime modified = QFileInfo(song).lastModified();
        QVERIFY(setModified(there, situation.endsWith(u"later"_s) ? modified.addSecs(600) : modified));
    }
    if (situation.startsWith(u"vouched"_s)) {
        const fs::Folder folder(player.path());
        fs::WrittenRecord record(folder);
        record.noteCopies({{fs::FileName::fromText(onPlayer),
                            fs::Folder(source.path()).look(fs::FileName::fromText(u"song.mp3"_s))}});
    }
    if (situation.endsWith(u"read-only"_s))
        QVERIFY(QFile::setPermissions(there, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    std::optional<testsupport::ImmutableFile> immutable;
    if (situation.endsWith(u"immutable"_s)) {
        immutable.emplace(there);
        REQUIRE_FIXTURE(*immutable);
    }
    // 2.7 MiB free beside the file: enough for the song, not for big.mp3 unless the song goes.
    const std::optional<qint64> free = fs::availableBytes(player.path());
    QVERIFY(free && testsupport::writeFile(fs::joinPath(player.path(), u"ballast.bin"_s), *free - MiB * 27 / 10));
    const Snapshot collection = snapshot(source.path());
    const Snapshot before = snapshot(player.path());

    // From the first entry, and no move-back draw before a copy; the whole song may go.
    const quint64 seed = seedWhere([](MixRandom &r) { return dealt(r, 2).front() == 0 && r.next() >= 0.5; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder, false, nullptr, 100);
    QVERIFY2(result.ok(), qPrintable(mixtext::problem(result)));
    QCOMPARE(recorder.log, log);
    QCOMPARE(snapshot(source.path()), collection);
    if (log.constFirst().startsWith(u"kept"_s)) {
        QCOMPARE(snapshot(player.path()).value(onPlayer), before.value(onPlayer));
        QCOMPARE(result.counts.keptOnPlayer, 1);
    }
    QCOMPARE(QFileInfo::exists(there), !log.constFirst().startsWith(u"taken off"_s));
}

void tst_Mix::sameFolderTouchesNothing_data()
{
    QTest::addColumn<QString>("spelling");
    QTest::newRow("same text") << u"%1"_s;
    QTest::newRow("trailing separator") << u"%1/"_s;
    QTest::newRow("dot dot") << u"%1/../musik"_s;
    QTest::newRow("dot") << u"%1/."_s;
    QTest::newRow("link") << u"link"_s;
    // exfat-fuse numbers each spelling of a folder on its own.
    QTest::newRow("other letter case on exFAT") << u"exfat"_s;
}

void tst_Mix::sameFolderTouchesNothing()
{
    QFETCH(QString, spelling);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    std::optional<testsupport::ExfatMount> stick;
    if (spelling == u"exfat"_s) {
        stick.emplace();
        REQUIRE_FIXTURE(*stick);
    }
    const QString base = stick ? stick->path() : root.path();
    const QString musik = fs::joinPath(base, stick ? u"Musik"_s : u"musik"_s);
    QVERIFY(QDir(base).mkdir(QFileInfo(musik).fileName()));
    QVERIFY(QFile::link(musik, root.filePath(u"link"_s)));
    for (int i = 0; i < 5; ++i)
        QVERIFY(
            testsupport::writeBytes(fs::joinPath(musik, u"lied%1.mp3"_s.arg(i)), contentFor(QString::number(i), 500)));
    const Snapshot before = snapshot(musik);
    const QString player = spelling == u"link"_s    ? root.filePath(spelling)
                           : spelling == u"exfat"_s ? fs::joinPath(base, u"MUSIK"_s)
                                                    : spelling.arg(musik);

    for (quint64 seed = 1; seed <= 4; ++seed) {
        const MixResult result = fill(musik, player, seed);
        QCOMPARE(result.status, MixResult::Status::SameFolder);
        QCOMPARE(mixtext::problem(result), u"Bitte wählen Sie ein anderes Verzeichnis!"_s);
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
    QVERIFY(mixtext::problem(result).contains(QDir::toNativeSeparators(gone)));
    QCOMPARE(fill(gone, root.path(), 1).status, MixResult::Status::FolderMissing);
}

void tst_Mix::moveBackIsAMoveThatReplacesNothing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("step");
    QTest::addColumn<MixResult::Status>("status");

    const auto done = MixResult::Status::Done;
    QTest::newRow("only on the player") << u"only on the player"_s << u"moved back a.mp3"_s << done;
    // It goes, and the refill brings it back: it stays where it is.
    QTest::newRow("same file in the collection") << u"same file"_s << QString() << done;
    QTest::newRow("different file of that name") << u"different file"_s << u"kept a.mp3"_s << done;
    QTest::newRow("a folder of that name") << u"folder"_s << u"kept a.mp3"_s << done;
    QTest::newRow("a dangling link of that name") << u"dangling link"_s << u"kept a.mp3"_s << done;
    QTest::newRow("a link to the player's own file") << u"link to it"_s << u"kept a.mp3"_s << done;
    QTest::newRow("no write permission: it stays") << u"read-only file"_s << QString() << done;
    QTest::newRow("cannot be deleted") << u"immutable"_s << u"kept a.mp3"_s << done;
    QTest::newRow("a name the collection cannot hold") << u"long name"_s << u"kept "_s << done;
    // The medium refuses the file: it stays, the copies go on, and the run says so as a failure.
    const auto refused = MixResult::Status::Failed;
    QTest::newRow("collection full") << u"collection full"_s << u"kept a.mp3"_s << refused;
    QTest::newRow("a read-only collection") << u"read-only collection"_s << u"kept a.mp3"_s << refused;
    QTest::newRow("the collection gone during the move") << u"collection gone"_s << u"kept a.mp3"_s << refused;
    QTest::newRow("read-only medium") << u"read-only medium"_s << QString() << MixResult::Status::Failed;
}

// The exchange moves the player's one file back before the walk copies c.mp3.
void tst_Mix::moveBackIsAMoveThatReplacesNothing()
{
    QFETCH(QString, situation);
    QFETCH(QString, step);
    QFETCH(MixResult::Status, status);
    if (situation == u"collection full"_s)
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::fileEntries);
    // A collection on a medium of its own that cannot take another file.
    TmpfsMount source(situation == u"collection full"_s ? u"size=4m,nr_inodes=2"_s : u"size=4m"_s);
    REQUIRE_FIXTURE(source);
    // A name of 130 letters ö is fine on exFAT and too long for the collection's file system.
    std::optional<TmpfsMount> tmpfs;
    std::optional<testsupport::ExfatMount> exfat;
    if (situation == u"long name"_s) {
        exfat.emplace();
        REQUIRE_FIXTURE(*exfat);
    } else {
        tmpfs.emplace(u"size=4m"_s);
        REQUIRE_FIXTURE(*tmpfs);
    }
    const QString player = exfat ? exfat->path() : tmpfs->path();
    const QString name = situation == u"long name"_s ? QString(130, QChar(u'ö')) + u".mp3"_s : u"a.mp3"_s;
    const QString inCollection = fs::joinPath(source.path(), name);
    const QString onPlayer = fs::joinPath(player, name);
    const QByteArray content = contentFor(u"a"_s, 4000);
    QVERIFY(testsupport::writeBytes(fs::joinPath(source.path(), u"c.mp3"_s), contentFor(u"c"_s, 3000)));
    QVERIFY(testsupport::writeBytes(onPlayer, content));
    if (situation == u"same file"_s)
        QVERIFY(testsupport::writeBytes(inCollection, content));
    else if (situation == u"different file"_s)
        QVERIFY(testsupport::writeBytes(inCollection, contentFor(u"a"_s, 4000, 1)));
    else if (situation == u"folder"_s)
        QVERIFY(QDir(source.path()).mkdir(name));
    else if (situation == u"dangling link"_s)
        QVERIFY(QFile::link(u"/nirgends"_s, inCollection));
    else if (situation == u"link to it"_s)
        QVERIFY(QFile::link(onPlayer, inCollection));
    else if (situation == u"read-only file"_s)
        QVERIFY(QFile::setPermissions(onPlayer, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    std::optional<testsupport::ImmutableFile> immutable;
    if (situation == u"immutable"_s) {
        immutable.emplace(onPlayer);
        REQUIRE_FIXTURE(*immutable);
    }
    if (situation == u"read-only medium"_s || situation == u"read-only collection"_s)
        QVERIFY(QProcess::execute(
                    u"mount"_s, {u"-o"_s, u"remount,ro"_s, situation == u"read-only medium"_s ? player : source.path()})
                == 0);
    const Snapshot collection = snapshot(source.path());
    const Snapshot before = snapshot(player);

    Recorder recorder;
    if (situation == u"collection gone"_s) {
        recorder.onTransfer = [&](const MixTransfer &transfer) {
            if (transfer.action == MixAction::MovedBack)
                QProcess::execute(u"umount"_s, {u"-l"_s, source.path()});
        };
    }
    const MixResult result = fill(source.path(), player, 1, &recorder, false, nullptr, 100);
    QCOMPARE(result.status, status);
    if (situation == u"read-only medium"_s) {
        // The run says what failed, and the collection keeps no copy of a file still on the player.
        QCOMPARE(result.counts.movedBack, 0);
        QVERIFY2(mixtext::problem(result).contains(QDir::toNativeSeparators(onPlayer)),
                 qPrintable(mixtext::problem(result)));
        QCOMPARE(snapshot(source.path()), collection);
        QCOMPARE(snapshot(player), before);
        return;
    }
    // Read by its path, a collection that is gone has no file left to copy.
    QStringList expected{situation == u"collection gone"_s && testsupport::portablePlatform() ? u"skipped c.mp3"_s
                                                                                              : u"copied c.mp3"_s};
    if (!step.isEmpty())
        expected.prepend(step.endsWith(u' ') ? step + name : step);
    QCOMPARE(recorder.log, expected);
    if (status == MixResult::Status::Failed) {
        QVERIFY2(mixtext::problem(result).contains(QDir::toNativeSeparators(onPlayer)),
                 qPrintable(mixtext::problem(result)));
        QVERIFY2(mixtext::summary(result).contains(u"nicht ins StammVerzeichnis zurückgelegt: a.mp3"_s),
                 qPrintable(mixtext::summary(result)));
    }
    if (step.startsWith(u"moved back"_s)) {
        QVERIFY(!QFile::exists(onPlayer));
        QCOMPARE(testsupport::readBytes(inCollection), content);
        // Written into the collection, and the summary says so apart from mere removals.
        QCOMPARE(result.counts.intoCollection, 1);
        QVERIFY2(mixtext::summary(result).contains(u"1 zurück ins StammVerzeichnis (1 dort neu geschrieben)"_s),
                 qPrintable(mixtext::summary(result)));
    } else {
        QCOMPARE(result.counts.keptOnPlayer, step.isEmpty() ? 0 : 1);
        if (situation != u"collection gone"_s)
            QCOMPARE(snapshot(source.path()), collection);
        QCOMPARE(snapshot(player).value(name), before.value(name));
    }
    if (situation == u"read-only collection"_s) {
        // The same run from the command line ends with its failure.
        QVERIFY(QFile::remove(fs::joinPath(player, u"c.mp3"_s)));
        QString printed;
        QTextStream out(&printed);
        QTextStream err(&printed);
        QCOMPARE(
            cli::run({u"tonvola"_s, u"--fill"_s, u"--seed=1"_s, u"--exchange=100"_s, source.path(), player}, out, err),
            int(cli::Failure));
    }
}

void tst_Mix::collectionInFolders_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("same-named files in two albums") << u"two albums"_s;
    QTest::newRow("a joined name too long for FAT") << u"long name"_s;
    QTest::newRow("moves back into a folder that is gone") << u"folder gone"_s;
    QTest::newRow("links to folders are not followed") << u"links"_s;
    QTest::newRow("an unreadable folder is named and left out") << u"unreadable"_s;
    QTest::newRow("switched off again, tree copies on the player") << u"switched off"_s;
    QTest::newRow("switched off, a collection of folders only") << u"folders only"_s;
    QTest::newRow("a record that leads out of the collection") << u"forged record"_s;
}

// Artist and album folders, with the choice to take them on: the player stays flat.
void tst_Mix::collectionInFolders()
{
    QFETCH(QString, situation);
    TmpfsMount source(u"size=8m"_s);
    REQUIRE_FIXTURE(source);
    std::optional<TmpfsMount> tmpfs;
    std::optional<testsupport::ExfatMount> exfat;
    if (situation == u"long name"_s) {
        exfat.emplace();
        REQUIRE_FIXTURE(*exfat);
    } else {
        tmpfs.emplace(u"size=4m"_s);
        REQUIRE_FIXTURE(*tmpfs);
    }
    const QString player = exfat ? exfat->path() : tmpfs->path();
    const QDir collection(source.path());
    // Each album's file takes so much of the player that a full exchange sends both back.
    const qint64 size = situation == u"long name"_s ? 4 * KiB : 1400 * KiB;
    const QString a = situation == u"long name"_s ? QString(120, QChar(u'ö')) + u"/"_s + QString(120, QChar(u'ä'))
                                                  : u"Artist A/Album X"_s;
    const QString b = situation == u"long name"_s ? QString(120, QChar(u'ö')) + u"/"_s + QString(120, QChar(u'ü'))
                                                  : u"Artist B/Album Y"_s;
    QVERIFY(collection.mkpath(a) && collection.mkpath(b));
    QVERIFY(testsupport::writeBytes(collection.filePath(a + u"/01 Intro.mp3"_s), contentFor(u"a"_s, size)));
    QVERIFY(testsupport::writeBytes(collection.filePath(b + u"/01 Intro.mp3"_s), contentFor(u"b"_s, size)));
    if (situation != u"folders only"_s)
        QVERIFY(testsupport::writeBytes(collection.filePath(u"c.mp3"_s), contentFor(u"c"_s, 3000)));
    QTemporaryDir elsewhere;
    QVERIFY(testsupport::writeBytes(elsewhere.filePath(u"fremd.mp3"_s), contentFor(u"fremd"_s, 3000)));
    if (situation == u"links"_s) {
        QVERIFY(QFile::link(collection.filePath(u"Artist A"_s), collection.filePath(u"Noch einmal A"_s)));
        QVERIFY(QFile::link(elsewhere.path(), collection.filePath(u"Anderswo"_s)));
    }
    const Files before = everything(source.path(), player);
    const Snapshot ownFiles = snapshot(source.path());

    MixOptions options;
    options.source = source.path();
    options.player = player;
    options.seed = 1;
    options.subfolders = situation != u"folders only"_s;
    if (situation == u"forged record"_s) {
        // The record is a file on the player that anyone may write: a move back stays inside.
        QVERIFY(collection.mkpath(u"Musik/Album"_s) && collection.mkpath(u"Draußen"_s));
        options.source = collection.filePath(u"Musik"_s);
        options.exchangePercent = 100;
        QVERIFY(testsupport::writeBytes(fs::joinPath(player, u"x.mp3"_s), contentFor(u"x"_s, 3000 * KiB)));
        const fs::Folder onPlayer(player);
        const fs::FileName x = fs::FileName::fromText(u"x.mp3"_s);
        fs::WrittenRecord(onPlayer).noteCopies({{x, onPlayer.look(x)}}, {}, {QByteArray("../Draußen/x.mp3")});
        QVERIFY(MixEngine(options).run().ok());
        QCOMPARE(QDir(collection.filePath(u"Draußen"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(testsupport::readBytes(fs::joinPath(options.source, u"x.mp3"_s)), contentFor(u"x"_s, 3000 * KiB));
        return;
    }
    if (situation == u"unreadable"_s) {
        // Root reads every folder: the program runs as a user without rights to one of them.
        if (!testsupport::runningAsRoot() || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
            QSKIP("needs root and setpriv to run the program as another user");
        QVERIFY(QProcess::execute(u"chmod"_s, {u"-R"_s, u"a+rwX"_s, source.path(), player}) == 0);
        QVERIFY(QProcess::execute(u"chmod"_s, {u"a-r"_s, collection.filePath(u"Artist B"_s)}) == 0);
        QProcess program;
        program.start(u"setpriv"_s,
                      {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s, QStringLiteral(TONVOLA_PROGRAM),
                       u"--fill"_s, u"--subfolders"_s, source.path(), player});
        QVERIFY(program.waitForFinished(60000));
        const QString printed = QString::fromUtf8(program.readAllStandardOutput());
        QCOMPARE(program.exitCode(), 0);
        QVERIFY2(
            printed.startsWith(u"übersprungen: Artist B (Ordner nicht lesbar, seine Dateien bleiben außen vor)\n"_s),
            qPrintable(printed));
        QCOMPARE(fs::mp3Files(player), (QStringList{u"01 Intro.mp3"_s, u"c.mp3"_s}));
        return;
    }
    MixResult result = MixEngine(options).run();
    if (situation == u"folders only"_s) {
        QCOMPARE(result.status, MixResult::Status::OnlyInSubfolders);
        QCOMPARE(mixtext::problem(result), u"Das StammVerzeichnis enthält keine MP3-Dateien; Unterordner werden nicht "
                                           u"berücksichtigt (Extras → Unterordner einbeziehen)."_s);
        QVERIFY(snapshot(player).isEmpty());
        return;
    }
    QVERIFY2(result.ok(), qPrintable(mixtext::problem(result)));
    QStringList names = fs::mp3Files(player);
    QCOMPARE(names.size(), 3);
    QVERIFY(names.removeAll(u"c.mp3"_s) == 1);
    if (situation == u"long name"_s) {
        // Cut to what the medium holds, each still one file's own name, and still an MP3.
        for (const QString &name : std::as_const(names))
            QVERIFY2(name.size() <= 255 && name.startsWith(u"öö"_s) && name.endsWith(u".mp3"_s)
                         && !name.contains(u"  "_s),
                     qPrintable(name));
        QVERIFY(names[0] != names[1]);
        return;
    }
    // Neither the collection's own folder again through a link nor another folder.
    QCOMPARE(names, (QStringList{u"Artist A - Album X - 01 Intro.mp3"_s, u"Artist B - Album Y - 01 Intro.mp3"_s}));
    if (situation == u"links"_s)
        return;
    const fs::Folder onPlayer(player);
    QCOMPARE(fs::WrittenRecord(onPlayer).originOf(fs::FileName::fromText(names[1])),
             QByteArray("Artist B/Album Y/01 Intro.mp3"));

    options.seed = 2;
    if (situation == u"two albums"_s) {
        // The same names again: repeats, and nothing lost or written twice.
        options.exchangePercent = 0;
        result = MixEngine(options).run();
        QCOMPARE(result.counts.copied, 0);
        QCOMPARE(everything(source.path(), player).size(), before.size() + 3);
        return;
    }
    options.exchangePercent = 100;
    if (situation == u"folder gone"_s) {
        // One album is gone, the other lost only its file: each copy goes back where it can.
        QVERIFY(QDir(collection.filePath(u"Artist B"_s)).removeRecursively());
        QVERIFY(QFile::remove(collection.filePath(a + u"/01 Intro.mp3"_s)));
        // What a move back killed midway left in the album it went to.
        QVERIFY(testsupport::writeBytes(collection.filePath(a + u"/.tonvola-00000000000000aa.part"_s), "halb"));
    } else {
        options.subfolders = false;
    }
    result = MixEngine(options).run();
    QVERIFY2(result.ok(), qPrintable(mixtext::problem(result)));
    QCOMPARE(fs::mp3Files(player), QStringList{u"c.mp3"_s});
    QCOMPARE(result.counts.movedBack, 2);
    if (situation == u"switched off"_s) {
        // Their sources hold the same bytes: the copies are only taken off the player.
        QCOMPARE(result.counts.intoCollection, 0);
        QCOMPARE(snapshot(source.path()), ownFiles);
        return;
    }
    QCOMPARE(testsupport::readBytes(collection.filePath(a + u"/01 Intro.mp3"_s)), contentFor(u"a"_s, size));
    QCOMPARE(testsupport::readBytes(collection.filePath(u"Artist B - Album Y - 01 Intro.mp3"_s)),
             contentFor(u"b"_s, size));
    QCOMPARE(lost(before, source.path(), player), QStringList());
    QVERIFY(!QFileInfo::exists(collection.filePath(a + u"/.tonvola-00000000000000aa.part"_s)));
}

void tst_Mix::filesOtherProgramsChange_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("line");

    QTest::newRow("a collection file vanishes")
        << u"remove b"_s << u"übersprungen: b.mp3 (nicht mehr im StammVerzeichnis)"_s;
    QTest::newRow("a collection file becomes a pipe")
        << u"pipe b"_s << u"übersprungen: b.mp3 (keine gewöhnliche Datei)"_s;
    QTest::newRow("a collection file grows while it is copied")
        << u"grow b"_s << u"übersprungen: b.mp3 (wurde während des Laufs verändert)"_s;
    QTest::newRow("a collection file written moments ago is waited for") << u"fresh b"_s << u"kopiert: b.mp3"_s;
    QTest::newRow("a collection file that grows all the while")
        << u"download b"_s << u"übersprungen: b.mp3 (wird gerade geschrieben, bleibt für einen späteren Lauf)"_s;
    QTest::newRow("a player file grows while it goes back")
        << u"grow p"_s << u"auf dem Player belassen (wurde während des Laufs verändert): p.mp3"_s;
    QTest::newRow("a player file was written moments ago") << u"fresh p"_s << QString();
}

// Another program writes or tidies while the fill runs: no file of it is deleted or moved, no
// copy of it stays, and the run names it and goes on.
void tst_Mix::filesOtherProgramsChange()
{
    QFETCH(QString, change);
    QFETCH(QString, line);
    QTemporaryDir source;
    TmpfsMount player(u"size=8m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    for (const QString &name : {u"a.mp3"_s, u"b.mp3"_s, u"c.mp3"_s})
        QVERIFY(testsupport::writeBytes(source.filePath(name), contentFor(name, 600 * KiB)));
    const QString p = fs::joinPath(player.path(), u"p.mp3"_s);
    QVERIFY(testsupport::writeBytes(p, contentFor(u"p"_s, 600 * KiB)));
    const QString file = change.endsWith(u" p"_s) ? p : source.filePath(u"b.mp3"_s);
    const QByteArray native = QFile::encodeName(file);
    if (change.startsWith(u"fresh"_s) || change == u"download b"_s)
        QVERIFY(setModified(file, QDateTime::currentDateTime()));
    // A download that goes on for longer than any wait.
    std::atomic_bool done = false;
    std::thread writer;
    if (change == u"download b"_s) {
        writer = std::thread([&] {
            QFile more(file);
            while (!done && more.open(QIODevice::Append) && more.write(QByteArray(1000, 'x')) == 1000) {
                more.close();
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
        });
    }
    const auto stopWriting = qScopeGuard([&] {
        done = true;
        if (writer.joinable())
            writer.join();
    });

    Recorder recorder;
    recorder.onPlanned = [&](const MixPlan &) {
        if (change == u"remove b"_s || change == u"pipe b"_s)
            QVERIFY(::unlink(native.constData()) == 0
                    && (change != u"pipe b"_s || ::mkfifo(native.constData(), 0644) == 0));
    };
    bool grown = false;
    recorder.onTransfer = [&](const MixTransfer &transfer) {
        if (!grown && change.startsWith(u"grow"_s) && transfer.name.text() == QFileInfo(file).fileName()
            && transfer.fileDone > 0 && transfer.fileDone < transfer.fileSize) {
            QFile more(file);
            grown = more.open(QIODevice::Append) && more.write(QByteArray(1000, 'x')) == 1000;
        }
    };
    const Snapshot before = snapshot(player.path());
    // Every file of the player goes back first, the collection's come after.
    const MixResult result = fill(source.path(), player.path(), 1, &recorder, false, nullptr, 100);
    QVERIFY2(result.ok(), qPrintable(mixtext::problem(result)));
    QCOMPARE(grown, change.startsWith(u"grow"_s));
    QStringList lines;
    for (const MixStep &step : std::as_const(recorder.steps))
        lines.append(mixtext::line(step));
    if (!line.isEmpty())
        QVERIFY2(lines.contains(line), qPrintable(lines.join(u'\n')));
    for (const QString &name : {u"a.mp3"_s, u"c.mp3"_s})
        QVERIFY2(lines.contains(u"kopiert: "_s + name), qPrintable(lines.join(u'\n')));
    if (change.endsWith(u" p"_s)) {
        // Still on the player as the other program left it, and nowhere else.
        QVERIFY(QFile::exists(p));
        QVERIFY(!QFile::exists(source.filePath(u"p.mp3"_s)));
        QVERIFY(!lines.contains(u"zurück ins StammVerzeichnis: p.mp3"_s));
    } else {
        QCOMPARE(QFile::exists(fs::joinPath(player.path(), u"b.mp3"_s)), change == u"fresh b"_s);
    }
    QVERIFY(!hasPartialFiles(player.path()));
    QVERIFY(!hasPartialFiles(source.path()));
    Q_UNUSED(before);
}

void tst_Mix::brokenCopiesGoUsersFilesStay_data()
{
    QTest::addColumn<QString>("afterwards");
    QTest::addColumn<QString>("line");
    // The player's file stays as the second run found it.
    QTest::addColumn<bool>("kept");
    const QString otherContent = u"auf dem Player belassen (anderer Inhalt im StammVerzeichnis): x.mp3"_s;
    QTest::newRow("a copy cut short") << u"cut short"_s << u"beschädigte Kopie entfernt: x.mp3"_s << false;
    QTest::newRow("a copy cut short with a zero tail")
        << u"zero tail"_s << u"beschädigte Kopie entfernt: x.mp3"_s << false;
    QTest::newRow("the user's own file of that name, written later") << u"user's own"_s << otherContent << true;
    // A file manager's copy, mv and rsync -a keep a file's older time.
    QTest::newRow("a shorter user file with an older time") << u"older own"_s << otherContent << true;
    QTest::newRow("a recorded name renamed onto by another file") << u"renamed onto"_s << otherContent << true;
    // Nothing could take its place, so nothing removes it on the record's word.
    QTest::newRow("a record line for a file the collection lacks") << u"not in collection"_s << QString() << true;
    QTest::newRow("a broken record") << u"garbled record"_s << QString() << true;
}

// The player's record of the program's copies points at a copy that may not have arrived whole
// (as a power cut leaves one); its bytes, set beside the collection's file, tell it from a file of
// the user's.
void tst_Mix::brokenCopiesGoUsersFilesStay()
{
    QFETCH(QString, afterwards);
    QFETCH(QString, line);
    QFETCH(bool, kept);
    QTemporaryDir source;
    TmpfsMount player(u"size=8m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    const QByteArray x = contentFor(u"x"_s, 300 * KiB);
    QVERIFY(testsupport::writeBytes(source.filePath(u"x.mp3"_s), x));
    QVERIFY(fill(source.path(), player.path(), 1).ok());
    const QString copy = fs::joinPath(player.path(), u"x.mp3"_s);
    QCOMPARE(testsupport::readBytes(copy), x);
    const QDateTime copied = QFileInfo(copy).lastModified();
    const QByteArray own = contentFor(u"eigene Aufnahme"_s, 1000);
    if (afterwards == u"cut short"_s || afterwards == u"not in collection"_s) {
        QVERIFY(QFile::resize(copy, 1000));
        QVERIFY(setModified(copy, copied));
        if (afterwards == u"not in collection"_s)
            QVERIFY(QFile::remove(source.filePath(u"x.mp3"_s)));
    } else if (afterwards == u"zero tail"_s) {
        QVERIFY(testsupport::writeBytes(copy, x.first(500) + QByteArray(500, '\0')));
        QVERIFY(setModified(copy, copied));
    } else if (afterwards == u"user's own"_s) {
        QVERIFY(QFile::remove(copy) && testsupport::writeBytes(copy, own));
        QVERIFY(setModified(copy, QDateTime::currentDateTime().addSecs(60)));
    } else if (afterwards == u"older own"_s || afterwards == u"renamed onto"_s) {
        const QString written = afterwards == u"older own"_s ? copy : fs::joinPath(player.path(), u"eigen.mp3"_s);
        QVERIFY(QFile::remove(copy) && testsupport::writeBytes(written, own));
        QVERIFY(setModified(written, copied.addSecs(-3600)));
        if (written != copy)
            QVERIFY(QFile::rename(written, copy));
    } else {
        QVERIFY(testsupport::writeBytes(fs::joinPath(player.path(), u".tonvola-written"_s), QByteArray(700, '\1')));
    }
    const QByteArray before = testsupport::readBytes(copy);

    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), 2, &recorder);
    QVERIFY2(result.ok(), qPrintable(mixtext::problem(result)));
    QStringList lines;
    for (const MixStep &step : std::as_const(recorder.steps))
        lines.append(mixtext::line(step));
    if (!line.isEmpty())
        QVERIFY2(lines.contains(line), qPrintable(lines.join(u'\n')));
    QCOMPARE(testsupport::readBytes(copy), kept ? before : x);
    QCOMPARE(result.counts.removedBroken, kept ? 0 : 1);
}

void tst_Mix::fullPlayerIsAGoodEnding_data()
{
    QTest::addColumn<QString>("filledBy");
    QTest::newRow("no file entries left") << u"entries"_s;
    QTest::newRow("another program fills it during a copy") << u"another program"_s;
}

// A copy that the plan allowed may still find the medium full (cluster slack, another program
// writing): it leaves no file, and smaller files may still fit.
void tst_Mix::fullPlayerIsAGoodEnding()
{
    QFETCH(QString, filledBy);
    if (filledBy == u"entries"_s)
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::fileEntries);
    QTemporaryDir source;
    // Room for the folder and three files: the fourth copy cannot be created.
    TmpfsMount player(filledBy == u"entries"_s ? u"size=4m,nr_inodes=4"_s : u"size=4m"_s);
    QVERIFY(source.isValid());
    REQUIRE_FIXTURE(player);
    for (int i = 0; i < 8; ++i)
        QVERIFY(testsupport::writeBytes(source.filePath(u"lied%1.mp3"_s.arg(i)), contentFor(QString::number(i), 2000)));
    const Snapshot collection = snapshot(source.path());

    Recorder recorder;
    recorder.onTransfer = [&](const MixTransfer &transfer) {
        if (filledBy != u"entries"_s && transfer.name.text() == u"lied3.mp3"_s && transfer.filesDone == 3
            && !QFile::exists(fs::joinPath(player.path(), u"andere.bin"_s))) {
            const std::optional<qint64> free = fs::availableBytes(player.path());
            QVERIFY(free && testsupport::writeFile(fs::joinPath(player.path(), u"andere.bin"_s), *free - 1000));
        }
    };
    const MixResult result = fill(source.path(), player.path(), seedVisitingFirst({0, 1, 2, 3}, 8), &recorder);
    QCOMPARE(result.status, MixResult::Status::Done);
    QCOMPARE(result.counts.copied, 3);
    QVERIFY(result.counts.noRoom >= 1);
    QCOMPARE(recorder.log.mid(0, 4), (QStringList{u"copied lied0.mp3"_s, u"copied lied1.mp3"_s, u"copied lied2.mp3"_s,
                                                  u"no room lied3.mp3"_s}));
    QVERIFY(mixtext::summary(result).contains(u"passte"_s));
    // What was done stays done, and nothing half-written is left.
    const Snapshot now = snapshot(player.path());
    for (const QString &name : {u"lied0.mp3"_s, u"lied1.mp3"_s, u"lied2.mp3"_s})
        QCOMPARE(now.value(name), collection.value(name));
    QVERIFY(!now.contains(u"lied3.mp3"_s));
    QVERIFY(!hasPartialFiles(player.path()));
    QCOMPARE(snapshot(source.path()), collection);
}

void tst_Mix::repeatedRunsKeepThePlayerFullAndNew_data()
{
    QTest::addColumn<QString>("medium");
    QTest::newRow("tmpfs") << u"size=24m"_s;
    QTest::newRow("exFAT stick") << u"exfat"_s;
}

// The collection on the disk, twice the player's room, the player on a medium of its own: each
// run leaves the player full, about half of its files new, and nothing copied for nothing.
void tst_Mix::repeatedRunsKeepThePlayerFullAndNew()
{
    QFETCH(QString, medium);
    std::optional<TmpfsMount> tmpfs;
    std::optional<testsupport::ExfatMount> exfat;
    if (medium == u"exfat"_s)
        exfat.emplace(u"24M"_s);
    else
        tmpfs.emplace(medium);
    if (exfat)
        REQUIRE_FIXTURE(*exfat);
    else
        REQUIRE_FIXTURE(*tmpfs);
    const QString player = exfat ? exfat->path() : tmpfs->path();
    QTemporaryDir source;
    QVERIFY(source.isValid());
    const qint64 room = *fs::availableBytes(player);
    std::mt19937 dice(11);
    for (const auto &[name, size] : randomFiles(2 * room, MiB / 2, 2 * MiB, dice))
        QVERIFY(testsupport::writeBytes(source.filePath(name), contentFor(name, size)));

    for (quint64 seed = 1; seed <= 4; ++seed) {
        // Copies onto exFAT through the portable platform have the time of their copying, and so
        // count as in use for moments after; the next run waits for that, as a user's would.
        if (exfat && seed > 1 && testsupport::portablePlatform())
            QTest::qSleep(3000);
        const Snapshot before = snapshot(player);
        const auto everythingBefore = everything(source.path(), player);
        Recorder foretold;
        QVERIFY(fill(source.path(), player, seed, &foretold, true).ok());
        Recorder recorder;
        const MixResult result = fill(source.path(), player, seed, &recorder);
        QVERIFY2(result.ok(), qPrintable(mixtext::problem(result)));
        QCOMPARE(recorder.log, foretold.log);
        QCOMPARE(lost(everythingBefore, source.path(), player), QStringList());
        QVERIFY(!hasPartialFiles(player));
        const Snapshot after = snapshot(player);
        qint64 newBytes = 0;
        qsizetype newFiles = 0;
        for (auto it = after.cbegin(); it != after.cend(); ++it) {
            if (it.key().endsWith(u".mp3"_s) && !before.contains(it.key())) {
                newBytes += QFileInfo(fs::joinPath(player, it.key())).size();
                ++newFiles;
            }
        }
        QCOMPARE(result.copiedBytes, newBytes);
        const qint64 fill = 100 * mp3Bytes(player) / room;
        QVERIFY2(fill >= 90, qPrintable(u"run %1: %2 %% full"_s.arg(seed).arg(fill)));
        if (seed > 1) {
            const qint64 fresh = 100 * newFiles / fs::mp3Files(player).size();
            QVERIFY2(fresh >= 40, qPrintable(u"run %1: %2 %% new"_s.arg(seed).arg(fresh)));
        }
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
    Recorder recorder;
    bool pulled = false;
    recorder.onTransfer = [&](const MixTransfer &transfer) {
        if (!pulled && transfer.action == MixAction::Copied && transfer.filesDone == 2)
            pulled = QProcess::execute(u"umount"_s, {u"-l"_s, mountPoint}) == 0;
    };
    const MixResult result = fill(source.path(), mountPoint, 1, &recorder);
    QVERIFY(pulled);
    QCOMPARE(result.status, MixResult::Status::Failed);
    QCOMPARE(mixtext::problem(result), u"Der Player ist nicht mehr erreichbar."_s);
    QVERIFY2(mixtext::summary(result).startsWith(u"Fehler: "_s), qPrintable(mixtext::summary(result)));
    // Nothing to write out to a player that is gone, and nothing written where it was.
    QVERIFY(!recorder.flushed);
    QVERIFY(QDir(mountPoint).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

void tst_Mix::oneFillPerPlayer_data()
{
    QTest::addColumn<QString>("medium");
    QTest::newRow("the same path") << u"tmpfs"_s;
    QTest::newRow("another spelling on exFAT") << u"exfat"_s;
    QTest::newRow("a bind mount") << u"bind"_s;
}

void tst_Mix::oneFillPerPlayer()
{
    QFETCH(QString, medium);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    std::optional<TmpfsMount> tmpfs;
    std::optional<testsupport::ExfatMount> exfat;
    if (medium == u"exfat"_s)
        exfat.emplace();
    else
        tmpfs.emplace(u"size=4m"_s);
    if (exfat)
        REQUIRE_FIXTURE(*exfat);
    else
        REQUIRE_FIXTURE(*tmpfs);
    const QString top = exfat ? exfat->path() : tmpfs->path();
    QString player = medium == u"tmpfs"_s ? top : fs::joinPath(top, u"Musik"_s);
    QVERIFY(QDir().mkpath(player));
    QString otherSpelling = exfat ? fs::joinPath(top, u"MUSIK"_s) : player;
    if (medium == u"bind"_s) {
        otherSpelling = fs::joinPath(top, u"Gebunden"_s);
        QVERIFY(QDir().mkpath(otherSpelling));
        QCOMPARE(QProcess::execute(u"mount"_s, {u"--bind"_s, player, otherSpelling}), 0);
    }
    const auto unbind = qScopeGuard([&] {
        if (medium == u"bind"_s)
            QProcess::execute(u"umount"_s, {u"-l"_s, otherSpelling});
    });
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
    std::thread running([&] { firstResult = fill(source.path(), player, 1, &first); });
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
    const Snapshot before = snapshot(player);

    const MixResult second = fill(source.path(), otherSpelling, 2);
    QCOMPARE(second.status, MixResult::Status::PlayerBusy);
    QCOMPARE(mixtext::problem(second), u"Auf diesem Player läuft bereits eine Füllung."_s);
    QString printed;
    QString complained;
    QTextStream out(&printed);
    QTextStream err(&complained);
    QCOMPARE(cli::run({u"tonvola"_s, u"--fill"_s, source.path(), otherSpelling}, out, err), int(cli::Failure));
    err.flush();
    QCOMPARE(complained, u"Auf diesem Player läuft bereits eine Füllung.\n"_s);
    QCOMPARE(snapshot(player), before);

    finish();
    QVERIFY(firstResult.ok());
    QVERIFY(fill(source.path(), player, 3).ok());
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

    std::atomic_bool cancel = false;
    Recorder recorder;
    recorder.onTransfer = [&](const MixTransfer &transfer) {
        if (transfer.name.text() == u"lied2.mp3"_s && (insideTheFile ? transfer.bytesDone > 2 * size : true))
            cancel = true;
    };
    const MixResult result =
        fill(source.path(), player.path(), seedVisitingFirst({0, 1, 2}, 4), &recorder, false, &cancel);
    QCOMPARE(result.status, MixResult::Status::Cancelled);
    QCOMPARE(result.counts.copied, 2);
    QCOMPARE(mixtext::summary(result),
             u"Abgebrochen: 2 Dateien kopiert, 0 vom Player genommen, 0 zurück ins StammVerzeichnis"_s
                 + afterWriting());
    QCOMPARE(snapshot(player.path()).keys().filter(u".mp3"_s), (QStringList{u"lied0.mp3"_s, u"lied1.mp3"_s}));
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
        // The dry run's summary says that it is one.
        QCOMPARE(mixtext::summary(dry) + afterWriting(), u"Probelauf: "_s + mixtext::summary(real));
        QCOMPARE(dry.lastSelected, real.lastSelected);
        // No writer holds them any more, in either folder.
        for (const QString &name : leftovers + usersOwn)
            QCOMPARE(QFileInfo::exists(fs::joinPath(player.path(), name)), usersOwn.contains(name));
        QVERIFY(!QFileInfo::exists(source.filePath(leftovers.first())));
    }
}

void tst_Mix::memoryOfEachPlayer_data()
{
    QTest::addColumn<QString>("situation");
    for (const char *situation :
         {"kept", "garbled", "another pair's", "dry run", "cancelled", "two players",
          "the stick under another mount path", "with the folder's entries", "with a garbled count of entries"})
        QTest::newRow(situation) << QString::fromLatin1(situation);
}

// What each player held is remembered for the next run, whatever the memory's state, and only
// by a run that did its work.
void tst_Mix::memoryOfEachPlayer()
{
    QFETCH(QString, situation);
    const bool remounted = situation.contains(u"mount path"_s);
    QTemporaryDir state;
    QTemporaryDir source;
    QTemporaryDir elsewhere;
    QVERIFY(state.isValid() && source.isValid() && elsewhere.isValid());
    const QByteArray previous = qgetenv("XDG_STATE_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_STATE_HOME", previous); });
    qputenv("XDG_STATE_HOME", QFile::encodeName(state.path()));
    std::optional<TmpfsMount> tmpfs;
    std::optional<testsupport::ExfatMount> stick;
    if (remounted) {
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::mediumSerial);
        stick.emplace(u"32M"_s);
        if (!stick->valid())
            QSKIP(qPrintable(stick->unavailable()));
    } else {
        tmpfs.emplace(u"size=6m"_s);
        REQUIRE_FIXTURE(*tmpfs);
    }
    const QString medium = remounted ? stick->path() : tmpfs->path();
    for (const QString &folder : {u"Musik"_s, u"Hörbuch"_s})
        QVERIFY(QDir(medium).mkdir(folder));
    const QString player = fs::joinPath(medium, u"Musik"_s);
    for (int i = 0; i < 12; ++i)
        QVERIFY(testsupport::writeFile(source.filePath(u"lied %1.mp3"_s.arg(i, 2, 10, QLatin1Char('0'))), MiB));
    const QDir memories(fs::joinPath(state.path(), u"tonvola"_s));
    const auto runsIn = [&](const QString &file) {
        return testsupport::readBytes(memories.filePath(file)).split('\n').value(2);
    };

    std::atomic_bool cancel = false;
    Recorder first;
    first.onTransfer = [&](const MixTransfer &) { cancel = situation == u"cancelled"_s; };
    const MixResult one = fill(source.path(), player, 1, &first, situation == u"dry run"_s, &cancel);
    if (situation == u"dry run"_s || situation == u"cancelled"_s) {
        QVERIFY(one.counts.copied > 0 || one.status == MixResult::Status::Cancelled);
        QCOMPARE(memories.entryList(QDir::Files | QDir::Hidden), QStringList());
        return;
    }
    QVERIFY2(one.ok() && one.counts.copied >= 3, qPrintable(mixtext::summary(one)));
    const QStringList files = memories.entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(files.size(), 1);
    QCOMPARE(runsIn(files.constFirst()), "runs 1");
    const QStringList held = fs::mp3Files(player);

    QString secondPlayer = player;
    QByteArray expectedRuns = "runs 2";
    const bool entries = situation.contains(u"entries"_s);
    if (situation == u"garbled"_s || situation == u"another pair's"_s || entries) {
        QByteArray content = testsupport::readBytes(memories.filePath(files.constFirst()));
        if (entries)
            content.replace("runs 1\n",
                            situation.contains(u"garbled"_s) ? "runs 1\nentries 4o\n" : "runs 1\nentries 40\n");
        else
            content = situation == u"garbled"_s ? content.replace("\n1 ", "\nx ")
                                                : content.replace("tonvola-memory 1\n", "tonvola-memory 1\n00");
        QVERIFY(testsupport::writeBytes(memories.filePath(files.constFirst()), content));
        expectedRuns = situation == u"with the folder's entries"_s ? "runs 2" : "runs 1";
    } else if (situation == u"two players"_s) {
        secondPlayer = fs::joinPath(medium, u"Hörbuch"_s);
        expectedRuns = "runs 1";
    } else if (remounted) {
        QCOMPARE(QProcess::execute(u"mount"_s, {u"--bind"_s, medium, elsewhere.path()}), 0);
        secondPlayer = fs::joinPath(elsewhere.path(), u"Musik"_s);
    }
    const auto unbind = qScopeGuard([&] {
        if (remounted)
            QProcess::execute(u"umount"_s, {elsewhere.path()});
    });
    Recorder second;
    const MixResult two = fill(source.path(), secondPlayer, 2, &second, false, nullptr, 100);
    QVERIFY2(two.ok(), qPrintable(mixtext::summary(two)));
    const QStringList now = memories.entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(now.size(), situation == u"two players"_s ? 2 : 1);
    const QString kept =
        situation == u"two players"_s ? (now.first() == files.first() ? now.last() : now.first()) : now.first();
    QCOMPARE(runsIn(kept), expectedRuns);
    // What the folder holds of entries stays known from run to run.
    QCOMPARE(testsupport::readBytes(memories.filePath(kept)).split('\n').value(3) == "entries 40",
             situation == u"with the folder's entries"_s);
    // A remembered player gets what it never held before anything it held.
    if (expectedRuns == "runs 2") {
        for (const MixStep &step : std::as_const(second.steps)) {
            if (step.action == MixAction::Copied)
                QVERIFY2(!held.contains(step.name.text()), qPrintable(step.name.text()));
        }
    }
}

void tst_Mix::positionsBeyondSixteenBits()
{
    constexpr int count = 33000;
    TmpfsMount source(u"size=4m"_s);
    TmpfsMount player(u"size=8m"_s);
    REQUIRE_FIXTURE(source);
    REQUIRE_FIXTURE(player);
    for (int i = 0; i < count; ++i)
        QVERIFY(testsupport::writeFile(fs::joinPath(source.path(), u"%1.mp3"_s.arg(i, 5, 10, QLatin1Char('0'))), 0));

    // Start past the last position a 16-bit count can hold; every position is visited.
    const quint64 seed = seedWhere([](MixRandom &r) { return dealt(r, count).front() > 32767; });
    Recorder recorder;
    const MixResult result = fill(source.path(), player.path(), seed, &recorder);
    QVERIFY(result.ok());
    QCOMPARE(result.sourceCount, qsizetype(count));
    QVERIFY(result.start > 32767);
    QCOMPARE(result.visited, qsizetype(count));
    QCOMPARE(result.counts.copied, qsizetype(count));
    QCOMPARE(recorder.log.first(), u"copied %1.mp3"_s.arg(result.start, 5, 10, QLatin1Char('0')));
    // Looking at so many files is told as it goes, towards the count of both folders.
    QCOMPARE(recorder.prepared.stage, MixPreparing::Stage::Looking);
    QCOMPARE(recorder.prepared.total, qsizetype(count));
    QVERIFY(recorder.prepared.done > count - 256 && recorder.prepared.done <= count);
    QCOMPARE(fs::mp3Files(player.path()).size(), qsizetype(count));
}

// The kernel's own FAT driver, as a desktop mounts a stick: a file of 4 GiB or more, a name an
// 8.3 short name already holds, and names that differ only in letters beyond ASCII.
void tst_Mix::fatRulesOfTheKernelsDriver()
{
    SKIP_ON_PORTABLE_PLATFORM("learns no file numbers, so it cannot name the file that holds a FAT short name, and "
                              "cannot tell a folder without free entries from a full medium");
    testsupport::FatStick stick(u"9G"_s);
    REQUIRE_FIXTURE(stick);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    QVERIFY(testsupport::writeBytes(source.filePath(u"Lied.mp3"_s), contentFor(u"Lied"_s, 20 * KiB)));
    QVERIFY(testsupport::writeBytes(source.filePath(u"LIEDLA~1.MP3"_s), contentFor(u"kurz"_s, 20 * KiB)));
    const QByteArray oil = contentFor(u"Öl"_s, 20 * KiB);
    QVERIFY(testsupport::writeBytes(source.filePath(u"Ölig.mp3"_s), oil));
    QVERIFY(testsupport::writeBytes(source.filePath(u"ölig.mp3"_s), oil));
    // 4.5 GiB, but sparse: it takes no room on the disk, and the run never reads it.
    {
        QFile huge(source.filePath(u"Riesig.mp3"_s));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(4608) * MiB));
    }
    QVERIFY(setModified(source.filePath(u"Riesig.mp3"_s), QDateTime::currentDateTime().addDays(-1)));

    const QString player = stick.mountPoint() + u"/Musik"_s;
    const QString program = QStringLiteral(TONVOLA_PLAIN_PROGRAM);
    const QString fill = program + u" --fill --exchange 0 --seed %1 '"_s + source.path() + u"' '"_s + player + u"'"_s;
    const testsupport::FatStick::Run run =
        stick.run(u"mkdir -p '%1' && printf eigen > '%1/Lied lang.mp3' && touch -d 2020-01-01 '%1/Lied lang.mp3' && "
                  "chmod a-w '%1/Lied lang.mp3' && "
                  "echo ==1 && %2 ; echo ==exit $? && echo ==2 && %3 ; echo ==exit $? && ls -1 '%1'"_s.arg(
                      player, fill.arg(1), fill.arg(2)));
    QCOMPARE(run.exitCode, 0);
    const QString first = run.output.section(u"==1\n"_s, 1).section(u"==2\n"_s, 0, 0);
    const QString second = run.output.section(u"==2\n"_s, 1);
    QVERIFY2(first.contains(u"==exit 0"_s) && second.contains(u"==exit 0"_s), qPrintable(run.output));
    for (const QString &line : {u"übersprungen: Riesig.mp3 (zu groß für den Datenträger des Players)"_s,
                                u"übersprungen: LIEDLA~1.MP3 (Name auf dem Player schon vergeben an „Lied lang.mp3“)"_s,
                                u"kopiert: Ölig.mp3"_s, u"kopiert: Lied.mp3"_s})
        QVERIFY2(first.contains(line + u'\n'), qPrintable(first));
    // Both spellings fit a FAT short name, which is one for both: one of them is copied, once.
    QVERIFY2(!first.contains(u"ölig.mp3"_s), qPrintable(first));
    QVERIFY2(!second.section(u"==exit"_s, 0, 0).contains(u"lig.mp3"_s), qPrintable(second));
    QVERIFY2(second.contains(u"Lied lang.mp3\nLied.mp3\nÖlig.mp3\n"_s), qPrintable(second));

    // A FAT16 card whose player folder is its root: 512 entries, of which a long name takes
    // several, while the card has room to spare.
    testsupport::FatStick card(u"32M"_s, 16);
    REQUIRE_FIXTURE(card);
    QTemporaryDir many;
    QVERIFY(many.isValid());
    for (int i = 0; i < 250; ++i)
        QVERIFY(
            testsupport::writeBytes(many.filePath(u"Ein recht langer Titel %1.mp3"_s.arg(i, 3, 10, QLatin1Char('0'))),
                                    contentFor(QString::number(i), 1000)));
    // The first run finds the folder full and says what to do; the next ones free entries as
    // they free room, so the card rotates: each exchanges about half of it, as it was asked to.
    QTemporaryDir state;
    QVERIFY(state.isValid());
    const QString cardFill = u"XDG_STATE_HOME='"_s + state.path() + u"' "_s + program + u" --fill --seed %1 '"_s
                             + many.path() + u"' '"_s + card.mountPoint() + u"'; echo ==exit $?; ls -1 '"_s
                             + card.mountPoint() + u"' | grep -c mp3; ls -A1 '"_s + card.mountPoint()
                             + u"' | grep '^[.]tonvola-' | grep -vc '^[.]tonvola-written$'; ls -1 '"_s
                             + card.mountPoint() + u"' > '"_s + state.path() + u"/run%1'"_s;
    const testsupport::FatStick::Run full =
        card.run(cardFill.arg(1) + u"; echo ==2; "_s + cardFill.arg(2) + u"; echo ==3; "_s + cardFill.arg(3));
    const QString firstCardRun = full.output.section(u"==2\n"_s, 0, 0);
    QVERIFY2(firstCardRun.contains(u"==exit 1\n"_s) && firstCardRun.endsWith(u"\n0\n"_s),
             qPrintable(firstCardRun.right(2000)));
    QVERIFY2(
        firstCardRun.contains(u"nimmt keine weiteren Dateien auf, obwohl auf dem Datenträger noch Platz frei ist"_s)
            && firstCardRun.contains(u"Unterordner"_s),
        qPrintable(firstCardRun.right(2000)));
    const auto namesAfter = [&state](int cardRun) {
        QFile list(state.filePath(u"run%1"_s.arg(cardRun)));
        return list.open(QIODevice::ReadOnly) ? QString::fromUtf8(list.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                              : QStringList();
    };
    for (int cardRun = 2; cardRun <= 3; ++cardRun) {
        const QString output =
            full.output.section(u"==%1\n"_s.arg(cardRun), 1).section(u"==%1\n"_s.arg(cardRun + 1), 0, 0);
        QVERIFY2(output.contains(u"==exit 0\n"_s) && output.endsWith(u"\n0\n"_s), qPrintable(output.right(2000)));
        const QStringList before = namesAfter(cardRun - 1);
        const QStringList after = namesAfter(cardRun);
        const auto kept =
            std::count_if(after.cbegin(), after.cend(), [&](const QString &name) { return before.contains(name); });
        QVERIFY2(after.size() >= before.size() * 9 / 10, qPrintable(output.right(2000)));
        QVERIFY2(kept > after.size() / 4 && kept < after.size() * 3 / 4,
                 qPrintable(u"%1 of %2 stayed"_s.arg(kept).arg(after.size())));
    }
}

// A power cut (a stick pulled) at moments spread over fills of a real FAT32 stick: only whole
// files and the user's own stand under real names, and the next run leaves nothing behind.
void tst_Mix::powerCutsLeaveOnlyWholeFiles()
{
    SKIP_ON_PORTABLE_PLATFORM("cannot write out a folder's names or a volume's cache, as Qt flushes no more than a "
                              "file's own data; it asks the user to take the player out safely instead");
    testsupport::FatStick stick(u"64M"_s);
    REQUIRE_FIXTURE(stick);
    QTemporaryDir source;
    QVERIFY(source.isValid());
    QHash<QString, QByteArray> whole;
    for (int i = 0; i < 120; ++i) {
        const QString name = u"Lied %1.mp3"_s.arg(i, 3, 10, QLatin1Char('0'));
        const QByteArray content = contentFor(name, 100 * KiB + i);
        QVERIFY(testsupport::writeBytes(source.filePath(name), content));
        whole.insert(name, QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    }
    const QByteArray own = contentFor(u"eigen"_s, 5000);
    QVERIFY(testsupport::writeBytes(source.filePath(u"eigen.bin"_s), own));
    whole.insert(u"Eigene Aufnahme.mp3"_s, QCryptographicHash::hash(own, QCryptographicHash::Sha1).toHex());

    const QString mnt = stick.mountPoint();
    const QString list = u"echo ==list; (cd '%1' && ls -A1 && sha1sum -- *.mp3)"_s.arg(mnt);
    const QString fill =
        QStringLiteral(TONVOLA_PLAIN_PROGRAM) + u" --fill --seed %1 '"_s + source.path() + u"' '"_s + mnt + u"'"_s;
    // Checks what a listing shows: every MP3 whole, and (after a run that ended) nothing else.
    const auto check = [&](const QString &output, bool tidy) {
        const QString listed = output.section(u"==list\n"_s, 1);
        for (const QString &line : listed.split(u'\n', Qt::SkipEmptyParts)) {
            if (line.size() > 42 && line.at(40) == u' ') {
                const QString name = line.mid(42);
                if (!whole.contains(name) || whole.value(name) != line.left(40).toLatin1())
                    return u"not whole: "_s + name;
            } else if (tidy && !line.endsWith(u".mp3"_s) && line != u".tonvola-written"_s
                       && !line.startsWith(u"FSCK"_s)) {
                return u"left behind: "_s + line;
            }
        }
        return QString();
    };
    QCOMPARE(stick.run(u"cp '%1' '%2/Eigene Aufnahme.mp3'"_s.arg(source.filePath(u"eigen.bin"_s), mnt)).exitCode, 0);
    // The kernel takes some seconds to start; a fill then takes more than ten, as the desktop's
    // mount option "flush" makes the driver wait a tenth of a second after each file.
    for (const double cut : {7.5, 10.0, 12.5}) {
        const testsupport::FatStick::Run run = stick.run(list + u"; "_s + fill.arg(int(cut * 10)), cut);
        QVERIFY2(run.exitCode == 124 || run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(check(run.output, false), QString());
        // As the user would before the next fill; what the tool says is not the test's.
        QProcess fsck;
        fsck.start(u"fsck.vfat"_s, {u"-a"_s, stick.image()});
        QVERIFY(fsck.waitForFinished(60000));
    }
    const testsupport::FatStick::Run last = stick.run(list + u"; "_s + fill.arg(1) + u" >/dev/null; "_s + list);
    QCOMPARE(last.exitCode, 0);
    QCOMPARE(check(last.output.section(u"==list\n"_s, 1).section(u"==list\n"_s, 0, 0), false), QString());
    QCOMPARE(check(u"==list\n"_s + last.output.section(u"==list\n"_s, 2), true), QString());
    QVERIFY(last.output.section(u"==list\n"_s, 2).contains(u"Eigene Aufnahme.mp3"_s));
}

void tst_Mix::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");

    const QString src = u"SRC"_s;
    const QString dst = u"DST"_s;
    QTest::newRow("fill")
        << QStringList{u"--fill"_s, u"--seed"_s, u"7"_s, src, dst} << 0
        << u"kopiert: lied.mp3\n1 Datei kopiert, 0 vom Player genommen, 0 zurück ins StammVerzeichnis"_s
               + afterWriting() + u"\nStartwert: 7\n"_s
        << QString();
    QTest::newRow("dry run") << QStringList{u"--fill"_s, u"--dry-run"_s, u"--seed=7"_s, src, dst} << 0
                             << QStringLiteral(
                                    "kopiert: lied.mp3\nProbelauf: 1 Datei kopiert, 0 vom Player genommen, 0 "
                                    "zurück ins StammVerzeichnis\nStartwert: 7\n"
                                    "Probelauf: keine Datei wurde verändert.\n")
                             << QString();
    QTest::newRow("version") << QStringList{u"--version"_s} << 0 << u"Tonvola 1.0.15\n"_s << QString();
    QTest::newRow("help")
        << QStringList{u"--help"_s} << 0
        << u"Aufruf: tonvola [Qt-Fensteroptionen]\n        tonvola --fill [--seed N] [--dry-run] [--exchange PROZENT] "
           "[--quiet] SOURCE PLAYER\n"_s
        << QString();
    QTest::newRow("one folder") << QStringList{u"--fill"_s, src} << 2 << QString() << u"SOURCE PLAYER"_s;
    QTest::newRow("bad seed") << QStringList{u"--fill"_s, u"--seed=x"_s, src, u"b"_s} << 2 << QString() << u"--seed"_s;
    QTest::newRow("seed without fill") << QStringList{u"--seed=1"_s, src, u"b"_s} << 2 << QString() << u"--fill"_s;
    QTest::newRow("exchange beyond 100") << QStringList{u"--fill"_s, u"--exchange=120"_s, src, u"b"_s} << 2 << QString()
                                         << u"--exchange braucht eine ganze Zahl von 0 bis 100"_s;
    QTest::newRow("exchange of none") << QStringList{u"--fill"_s, u"--exchange"_s, u"0"_s, u"--seed=7"_s, src, dst} << 0
                                      << u"kopiert: lied.mp3\n"_s << QString();
    QTest::newRow("unknown option") << QStringList{u"--fill"_s, u"--schnell"_s, src, u"b"_s} << 2 << QString()
                                    << u"Unbekannte Option: --schnell\nAufruf: tonvola"_s;
    QTest::newRow("unknown option alone")
        << QStringList{u"-bogus=1"_s} << 2 << QString() << u"Unbekannte Option: -bogus\nAufruf: tonvola"_s;
    QTest::newRow("stray arguments") << QStringList{u"a"_s, u"b"_s} << 2 << QString()
                                     << u"Unerwartetes Argument: a (Verzeichnisse nur zusammen mit --fill)\nAufruf:"_s;
    QTest::newRow("window option with fill") << QStringList{u"--fill"_s, u"-style"_s, u"fusion"_s, u"a"_s, u"b"_s} << 2
                                             << QString() << u"Die Option -style gilt nur für das Fenster"_s;
    QTest::newRow("same folder") << QStringList{u"--fill"_s, src, src + QLatin1Char('/')} << 1 << QString()
                                 << u"Bitte wählen Sie ein anderes Verzeichnis!\nDas StammVerzeichnis "_s;
    QTest::newRow("missing folder") << QStringList{u"--fill"_s, src, dst + u"/weg"_s} << 1 << QString()
                                    << u"/weg ist nicht vorhanden.\n"_s;
    QTest::newRow("full player") << QStringList{u"--fill"_s, u"--seed=3"_s, src, u"FULL"_s} << 0
                                 << QStringLiteral(
                                        "passte nicht mehr: lied.mp3\n0 Dateien kopiert, 0 vom Player "
                                        "genommen, 0 zurück ins StammVerzeichnis, 1 passte nicht mehr; nichts "
                                        "kopiert: auf dem Player ist kein Platz frei\n"
                                        "Startwert: 3\n")
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
    if (given.contains(u"FULL"_s))
        SKIP_ON_PORTABLE_PLATFORM(testsupport::portable::fileEntries);
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
    if (exitCode == 0 && !arguments.contains(u"--help"_s) && !arguments.contains(u"--exchange"_s))
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
