// Helper for bench/run.py.
//   tonvola_bench stall SOURCE PLAYER
//       runs one fill in the real main window (offscreen is fine) and prints the longest gap
//       between two ticks of a 5 ms timer, from the click on the start button until the
//       window has shown the end of the run.
//   tonvola_bench watch FOLDER OTHER CHANGES
//       shows FOLDER in the source pane of the real main window (OTHER in the player pane), then
//       lets another thread add and remove a file in FOLDER, CHANGES times, as another program
//       would, and prints the longest gap between two ticks of a 5 ms timer meanwhile and how
//       often the file list showed the folder anew.
//   tonvola_bench fills SOURCE PLAYER RUNS
//       runs RUNS fills one after the other in the real main window, each started once the
//       window has settled after the last, and prints the resident memory (VmRSS) at the start
//       and after each fill, the most the process held so far (VmHWM), and the heap's blocks
//       in use then.
//   tonvola_bench plan SOURCES PLAYERS
//       plans a run over a collection of SOURCES files and a full player of PLAYERS of them, held
//       in memory, and prints how long ordering the names and planning took.
//   tonvola_bench naive SEED SOURCE PLAYER
//       the fill as first conceived, for comparison: for every candidate that fits, the whole
//       player list is gone through entry by entry and the player folder is read again.
//       Same draws as the engine, so it does the same file work with the same seed.

#include "app/Application.h"
#include "app/frm_Start.h"
#include "config/ConfigFile.h"
#include "mix/MixEngine.h"
#include "mix/MixMemory.h"
#include "mix/MixPlan.h"
#include "mix/MixRandom.h"
#include "mix/MixRunner.h"
#include "platform/Copy.h"
#include "platform/FolderByPath.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/NameRules.h"
#include "platform/Path.h"
#include "platform/Process.h"
#include "widgets/FileListBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <optional>
#include <random>
#include <thread>

#include <malloc.h>
#include <sys/resource.h>

using namespace tonvola;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

// The main window as a user starts it, in a folder whose config.dat names both folders, with
// the button that starts a fill and the runner that carries it out.
class StartedWindow
{
    // Made first and gone last: the window reads config.dat from it.
    QTemporaryDir m_home;

public:
    StartedWindow(const QString &source, const QString &player)
    {
        if (!m_home.isValid() || !QDir::setCurrent(m_home.path()) || !config::save(source, player).ok()) {
            out() << "cannot write config.dat\n";
            return;
        }
        window.emplace();
        window->show();
        runner = window->findChild<MixRunner *>(QStringLiteral("MixRunner"));
        start = window->findChild<QPushButton *>(QStringLiteral("cmd_mix"));
        if (!runner || !start)
            out() << "main window without start button\n";
    }

    [[nodiscard]] bool ready() const { return runner && start; }

    std::optional<frm_Start> window;
    MixRunner *runner = nullptr;
    QPushButton *start = nullptr;
};

int measureStall(const QString &source, const QString &player)
{
    StartedWindow started(source, player);
    if (!started.ready())
        return 1;
    frm_Start &window = *started.window;
    MixRunner *runner = started.runner;
    QPushButton *start = started.start;

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    qint64 longestAt = 0;
    qint64 ticks = 0;
    bool done = false;
    MixResult result;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    // Connected after the window's own handler, so the window has shown the end when this runs.
    QObject::connect(runner, &MixRunner::finished, &window, [&](const MixResult &finished) {
        result = finished;
        done = true;
    });
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (now - last > longest) {
            longest = now - last;
            longestAt = last;
        }
        last = now;
        ++ticks;
        if (done) {
            tick.stop();
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(300, &window, [&] {
        clock.start();
        tick.start();
        start->click();
    });
    QApplication::exec();

    out() << "stall_ms=" << double(longest) / 1e6 << " stall_at_ms=" << double(longestAt) / 1e6
          << " duration_ms=" << double(last) / 1e6 << " ticks=" << ticks << " visited=" << result.visited
          << " of=" << result.sourceCount << " copied=" << result.counts.copied << " status=" << int(result.status)
          << '\n';
    return result.ok() ? 0 : 1;
}

// The process's resident memory now and at its largest, in KiB, as the system counts it.
std::pair<qint64, qint64> residentKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    qint64 now = -1;
    qint64 peak = -1;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            const auto value = [&line] {
                return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toLongLong();
            };
            if (line.startsWith("VmRSS:"))
                now = value();
            else if (line.startsWith("VmHWM:"))
                peak = value();
        }
    }
    return {now, peak};
}

int measureFills(const QString &source, const QString &player, int runs)
{
    StartedWindow started(source, player);
    if (!started.ready())
        return 1;
    frm_Start &window = *started.window;
    MixRunner *runner = started.runner;
    QPushButton *start = started.start;
    // Long enough for the lists to have shown the end of a run and for changes the watch
    // tells of to have been read.
    constexpr int settleMs = 1500;
    int run = 0;
    bool ok = true;
    QStringList rows;
    const auto measure = [&](const QString &when) {
        const auto [now, peak] = residentKib();
        // What the heap hands out, apart from what it holds: freed memory kept shows as the gap.
        const struct mallinfo2 heap = ::mallinfo2();
        rows.append(QStringLiteral("%1_kib=%2 %1_peak_kib=%3 %1_used_kib=%4")
                        .arg(when)
                        .arg(now)
                        .arg(peak)
                        .arg((heap.uordblks + heap.hblkhd) / 1024));
    };
    QObject::connect(runner, &MixRunner::finished, &window, [&](const MixResult &result) {
        ++run;
        ok = ok && result.ok();
        rows.append(QStringLiteral("run%1_visited=%2 run%1_copied=%3 run%1_removed=%4")
                        .arg(run)
                        .arg(result.visited)
                        .arg(result.counts.copied)
                        .arg(result.counts.takenOff + result.counts.movedBack));
        QTimer::singleShot(settleMs, &window, [&] {
            measure(QStringLiteral("run%1").arg(run));
            if (run < runs && ok)
                start->click();
            else
                QCoreApplication::quit();
        });
    });
    QTimer::singleShot(settleMs, &window, [&] {
        measure(QStringLiteral("start"));
        start->click();
    });
    QApplication::exec();
    out() << rows.join(QLatin1Char(' ')) << '\n';
    return ok ? 0 : 1;
}

int measureWatch(const QString &folder, const QString &other, int changes)
{
    QTemporaryDir home;
    if (!home.isValid() || !QDir::setCurrent(home.path()) || !config::save(folder, other).ok()) {
        out() << "cannot write config.dat\n";
        return 1;
    }
    frm_Start window;
    window.show();
    auto *list = window.findChild<FileListBox *>(QStringLiteral("File1"));
    if (!list || list->path() != QDir::cleanPath(folder)) {
        out() << "the window does not show " << folder << '\n';
        return 1;
    }
    const qsizetype listed = list->listCount();

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    int reads = 0;
    QObject::connect(list, &FileListBox::listChanged, &window, [&] { ++reads; });
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    // Another program: one file comes, and goes again at the next change, with room between
    // the changes for the list to settle and read the folder.
    constexpr int pauseMs = 400;
    std::thread writer;
    QTimer::singleShot(300, &window, [&] {
        clock.start();
        tick.start();
        writer = std::thread([&] {
            const QString extra = QDir(folder).filePath(QStringLiteral("zz bench extra.mp3"));
            for (int i = 0; i < changes; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                if (i % 2 == 0) {
                    QFile file(extra);
                    (void)file.open(QIODevice::WriteOnly);
                } else {
                    QFile::remove(extra);
                }
            }
            QFile::remove(extra);
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        });
    });
    QApplication::exec();
    writer.join();

    out() << "stall_ms=" << double(longest) / 1e6 << " reads=" << reads << " changes=" << changes
          << " listed=" << listed << " duration_ms=" << double(last) / 1e6 << '\n';
    return reads > 0 ? 0 : 1;
}

// The file operations the naive fill uses, on files given by their paths.
fs::FileResult copyInto(const QString &source, const QString &folder)
{
    const QFileInfo info(source);
    const fs::Folder to(folder);
    fs::CopyBatch batch(to);
    if (const fs::FileResult added = batch.add(fs::Folder(info.path()), fs::FileName::fromText(info.fileName()));
        !added.ok())
        return added;
    return batch.commit().constFirst().result;
}

fs::FileResult removeFile(const QString &path)
{
    const QFileInfo info(path);
    return fs::Folder(info.path()).remove(fs::FileName::fromText(info.fileName()));
}

int naiveFill(quint64 seed, const QString &source, const QString &player)
{
    QElapsedTimer clock;
    clock.start();
    MixRandom random(seed);
    const QStringList sourceList = fs::mp3Files(source);
    QStringList playerList = fs::mp3Files(player);
    const qsizetype count = sourceList.size();
    MixCounts counts;
    QString selected;
    for (qsizetype i = random.nextPosition(count); i < count; ++i) {
        const QString &name = sourceList[i];
        const QString candidate = fs::joinPath(source, name);
        selected = candidate;
        if (!fitsOnPlayer(QFileInfo(candidate).size(), fs::availableBytes(player).value_or(0)))
            continue;
        bool present = false;
        for (const QString &entry : std::as_const(playerList)) {
            selected = fs::joinPath(player, entry);
            if (entry == name) {
                present = true;
                if (!removeFile(selected).ok())
                    return 1;
                ++counts.takenOff;
            }
        }
        if (!present) {
            if (random.next() < 0.5 && !playerList.isEmpty()) {
                const QString back = fs::joinPath(player, playerList[random.nextPosition(playerList.size())]);
                (void)removeFile(fs::joinPath(source, QFileInfo(back).fileName()));
                if (!copyInto(back, source).ok() || !removeFile(back).ok())
                    return 1;
                ++counts.movedBack;
            }
            (void)removeFile(fs::joinPath(player, name));
            if (!copyInto(candidate, player).ok())
                return 1;
            ++counts.copied;
        }
        playerList = fs::mp3Files(player);
    }
    out() << "naive_ms=" << clock.elapsed() << " copied=" << counts.copied << " taken_off=" << counts.takenOff
          << " moved_back=" << counts.movedBack << '\n';
    return 0;
}

// The most memory the process has held so far.
qint64 peakKib()
{
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The plan of a run over a collection and a player held in memory, as the simulated medium of
// the tests holds them: what planning costs apart from reading the folders.
int measurePlan(qsizetype sourceCount, qsizetype playerCount)
{
    std::mt19937_64 dice(1);
    fs::FileNames sourceNames;
    fs::FileNames playerNames;
    QHash<QString, qint64> sizes;
    for (qsizetype i = 0; i < sourceCount; ++i) {
        const QString name = QStringLiteral("Titel %1 - Interpret %2.mp3").arg(i, 6, 10, QLatin1Char('0')).arg(i % 97);
        sourceNames.append(fs::FileName::fromText(name));
        sizes.insert(name, qint64(1024 * 1024 + dice() % (7 * 1024 * 1024)));
    }
    qint64 used = 0;
    for (qsizetype i = 0; i < playerCount; ++i) {
        const fs::FileName &name = sourceNames[qsizetype(dice() % quint64(sourceCount))];
        if (!playerNames.contains(name)) {
            playerNames.append(name);
            used += sizes.value(name.text());
        }
    }
    QElapsedTimer clock;
    clock.start();
    const std::vector<fs::ListKey> sourceKeys = fs::inListOrder(sourceNames);
    const std::vector<fs::ListKey> playerKeys = fs::inListOrder(playerNames);
    const qint64 orderMs = clock.restart();
    MixInput input;
    for (const fs::ListKey &key : sourceKeys) {
        auto &file = input.source.emplace_back();
        file.name = key.name();
        file.entry.kind = fs::Entry::Kind::File;
        file.entry.size = sizes.value(key.name().text());
    }
    for (const fs::ListKey &key : playerKeys) {
        auto &file = input.player.emplace_back();
        file.name = key.name();
        file.entry.kind = fs::Entry::Kind::File;
        file.entry.size = sizes.value(key.name().text());
    }
    input.assignKeys(sourceKeys, playerKeys, fs::LetterCase::Ignored);
    // A full player, so that the exchange and the walk's moves back have work.
    input.freeBytes = 0;
    input.cluster = 32 * 1024;
    const qint64 inputMs = clock.restart();
    const qint64 heldKib = peakKib();
    // The memory at its largest: every file of the collection was on the player once, in runs
    // spread over a year of weekly fills.
    const auto nameAt = [&input](qsizetype i) { return input.source[std::size_t(i)].name; };
    const auto count = qsizetype(input.source.size());
    (void)MixMemory({"bench collection"}, {"bench player"}).save(count, nameAt, [](qsizetype) { return true; });
    for (int run = 0; run < 52; ++run) {
        MixMemory memory({"bench collection"}, {"bench player"});
        if (const fs::FileResult saved = memory.save(count, nameAt, [run](qsizetype i) { return i % 52 == run; });
            !saved.ok()) {
            out() << "memory not saved: " << fs::describe(saved) << '\n';
            return 1;
        }
    }
    clock.restart();
    MixMemory memory({"bench collection"}, {"bench player"});
    for (MixInput::Source &file : input.source)
        file.lastRun = memory.lastRun(file.name);
    const qint64 readMs = clock.restart();
    const MixPlan plan =
        makeMixPlan(input, 1, defaultExchangePercent, [](qsizetype, qsizetype) { return fs::Likeness::SameBytes; });
    const qint64 planMs = clock.restart();
    if (!memory.save(count, nameAt, [](qsizetype i) { return i % 10 == 0; }).ok())
        return 1;
    const qint64 writeMs = clock.elapsed();
    out() << "order_ms=" << orderMs << " input_ms=" << inputMs << " plan_ms=" << planMs << " held_kib=" << heldKib
          << " plan_kib=" << peakKib() - heldKib << " copies=" << plan.copies.size()
          << " removals=" << plan.removals.size() << " memory_read_ms=" << readMs << " memory_write_ms=" << writeMs
          << " memory_kib=" << QFileInfo(memory.path()).size() / 1024 << '\n';
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    // As the window program does.
    fs::process::shareOneHeap();
    // Planning needs no window, and its memory is measured without the window's libraries.
    if (argc == 4 && QByteArrayView(argv[1]) == "plan")
        return measurePlan(QByteArray(argv[2]).toLongLong(), QByteArray(argv[3]).toLongLong());
    QApplication app(argc, argv);
    setupApplication(app);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 4 && arguments[1] == QStringLiteral("stall"))
        return measureStall(arguments[2], arguments[3]);
    if (arguments.size() == 5 && arguments[1] == QStringLiteral("fills"))
        return measureFills(arguments[2], arguments[3], arguments[4].toInt());
    if (arguments.size() == 5 && arguments[1] == QStringLiteral("watch"))
        return measureWatch(arguments[2], arguments[3], arguments[4].toInt());
    if (arguments.size() == 5 && arguments[1] == QStringLiteral("naive"))
        return naiveFill(arguments[2].toULongLong(), arguments[3], arguments[4]);
    out() << "usage: tonvola_bench stall SOURCE PLAYER | fills SOURCE PLAYER RUNS | watch FOLDER OTHER CHANGES | plan "
             "SOURCES PLAYERS | naive "
             "SEED SOURCE PLAYER\n";
    return 2;
}
