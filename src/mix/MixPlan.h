#pragma once

#include "platform/FileName.h"
#include "platform/Folder.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/NameRules.h"

#include <QList>

#include <functional>
#include <limits>
#include <vector>

namespace tonvola {

enum class MixAction {
    Copied,        // a collection file went onto the player
    TakenOff,      // it came up again while the player held the same file, so it was deleted there
    MovedBack,     // a player file went back into the collection
    RemovedBroken, // a copy of the program's on the player that did not arrive whole was deleted
    KeptOnPlayer,  // a player file that was to go stays where it is (MixStep::why says why)
    NoRoom,        // the copy found the player full, though the plan said it would fit
    Skipped,       // a collection file that could not be copied (MixStep::why says why)
};

enum class MixReason {
    None,
    OtherContent,       // the collection holds a different file of that name
    WriteProtected,     // the user protected the player's file
    NoFileInCollection, // something other than a file holds the name in the collection
    NoFileOnPlayer,     // something other than a file holds the name on the player
    NameRefused,        // the player cannot hold a file of that name
    NotAFile,           // the collection's entry is no file (a pipe, a device)
    GoneFromCollection, // another program took the file away during the run
    InUse,              // another program wrote to the file moments ago
    Changed,            // the file changed while it was copied, or since the plan looked at it
    SameFile,           // the collection's entry leads to the player's own file
    TooLarge,           // the player holds no file of this size (4 GiB and more on FAT32)
    NameTaken,          // another entry on the player holds the name (MixStep::other names it)
    CollectionRefuses,  // the collection cannot hold a file of that name, or has no room for it
    Unreadable,         // the file could not be read to compare it
    FolderUnreadable,   // a folder below the collection could not be read: its files are left out
};

struct MixStep {
    MixAction action = MixAction::Copied;
    fs::FileName name;
    MixReason why = MixReason::None;
    // MovedBack only: the collection held the same file already, so the player's copy was just deleted.
    bool alreadyInCollection = false;
    qint64 size = 0;
    // NameTaken: the entry that holds the name, where it is known.
    fs::FileName other;
};

// What a plan is made from: both folders' MP3 files as a look at them found them, and what
// the player's medium allows. Keys make names comparable: a collection file and a player file
// of the same key are one name on the player.
struct MixInput {
    struct Source {
        // The name on the player: its own name, or for a file of a sub-folder whose name another
        // file of the collection has too, its path below the collection.
        fs::FileName name;
        fs::Entry entry;
        qsizetype key = -1;
        // Where it lies: the run's folder of that number, or the collection itself (-1), under
        // its own name (none: the name on the player).
        qsizetype folder = -1;
        fs::FileName own;
        // The last run in which the file was on this player, as the memory of the pair counts
        // runs; -1 when it never was there, or the memory does not know.
        qint64 lastRun = -1;
    };
    struct OnPlayer {
        fs::FileName name;
        fs::Entry entry;
        qsizetype key = -1;
        // A copy of the program's that did not arrive whole: it is replaced.
        bool broken = false;
        // The name it takes back in the collection, where it is not its name here: the own name
        // of a copy of a sub-folder's file.
        fs::FileName backName;
        // Still the copy the program wrote of the collection's file of its name, which is unchanged
        // too (fs::WrittenRecord::vouchesFor): only their tags are compared, just before a removal.
        bool vouched = false;
        // When the program wrote it, in seconds since the epoch, as its record says; -1 for a
        // file of the user's that the record does not know.
        qint64 writtenAtS = -1;
        // The run that brought it onto the player, as the memory of the pair counts runs, for
        // copies written within the same second; -1 where it does not know.
        qint64 arrivedRun = -1;
    };
    // Both in list order.
    std::vector<Source> source;
    std::vector<OnPlayer> player;
    qsizetype keyCount = 0;

    qint64 freeBytes = 0;
    // The size of the program's record of its copies on the player (none: -1), which grows with
    // each copy and removal and takes room too.
    qint64 recordBytes = -1;
    // Where the player folder takes only so many entries (the root of a FAT16 card), those it has
    // left for the copies as fs::fatEntriesFor counts a name's, a copy's temporary name already
    // set aside; -1 where only the medium's room bounds it.
    qint64 freeEntries = -1;
    // Files take whole clusters of this size.
    qint64 cluster = 1;
    qint64 largestFile = std::numeric_limits<qint64>::max();
    // The player keeps to FAT's names (no " * : < > ? \ |).
    bool playerKeepsFatNames = false;
    // The longest name in bytes the collection takes, for files that go back into it.
    qsizetype collectionNameMax = std::numeric_limits<qsizetype>::max();
    bool collectionKeepsFatNames = false;

    // Gives each name its key: the same key for names that are one on the player.
    void assignKeys(const std::vector<fs::ListKey> &sourceKeys, const std::vector<fs::ListKey> &playerKeys,
                    fs::LetterCase playerCase);
};

// How the collection's file at a position compares with the player's file at a position;
// asked only where the plan would delete the player's file because of it.
using MixComparer = std::function<fs::Likeness(qsizetype sourceIndex, qsizetype playerIndex)>;

struct MixPlan {
    quint64 seed = 0;
    qsizetype sourceCount = 0;
    // The collection's positions in the order the walk visits them: those never on the player
    // first, then those whose last time on it lies furthest back, each group in random order.
    std::vector<qsizetype> order;
    // The first and the last position visited (0 for an empty collection).
    qsizetype start = 0;
    qsizetype last = 0;
    // What may leave the player in this run, in allocated bytes, and what the plan's removals
    // other than broken copies take of it.
    qint64 budget = 0;
    qint64 spent = 0;
    // What the plan passes over or leaves as it is, in the order it met them.
    QList<MixStep> notes;
    // Deletions and moves back into the collection, done first, in this order.
    QList<MixStep> removals;
    // The copies, done after the removals, in this order.
    QList<MixStep> copies;
    // Where the files of removals and copies are in the input.
    QList<qsizetype> removalIndex; // into MixInput::player
    QList<qsizetype> copyIndex;    // into MixInput::source
    qint64 copyBytes = 0;
    // The player's free space once the plan is carried out, as the plan counts it.
    qint64 freeAfter = 0;
};

// Whole MiB of 1024 x 1024 bytes, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
[[nodiscard]] constexpr qint64 wholeMiB(qint64 bytes)
{
    constexpr qint64 mib = qint64(1024) * 1024;
    const qint64 whole = bytes / mib;
    const qint64 rest = bytes % mib;
    if (rest > mib / 2 || (rest == mib / 2 && whole % 2 == 1))
        return whole + 1;
    return whole;
}

// A candidate fits when its size in whole MiB is below the player's free space in whole MiB.
[[nodiscard]] constexpr bool fitsOnPlayer(qint64 size, qint64 available)
{
    return wholeMiB(size) < wholeMiB(available);
}

// The default share of the player's music, by size, that each run exchanges for new files.
constexpr int defaultExchangePercent = 50;

// Plans one fill, in memory, touching nothing:
// 1. Copies of the program's that did not arrive whole go.
// 2. The budget: exchangePercent % of the bytes the player's MP3 files take at the start may
//    leave the player in this run, by every way together (the exchange, the walk's moves back
//    and repeats taken off). Files leave oldest first: those the program wrote longest ago by
//    its record, the user's own files (no record line) before them; equal times in random order.
// 3. Exchange: files that were on the player go back into the collection until the budget's
//    worth of room is free, or the budget is spent. Where the folder takes only so many entries,
//    room is counted in both: the bytes, and the entries of the same share of the files' names.
// 4. The walk visits every collection position once, in random order, the files that were on
//    the player least recently first (MixInput::Source::lastRun). A file that fits the free
//    space (in whole MiB, strictly below, and in the free entries) is taken off the player when the player has it
//    already (a repeat) and the budget allows; otherwise, after an even chance of moving the
//    oldest file that was on the player back into the collection (the budget allowing), it is
//    copied. Files that left the player in this run rest: the walk does not copy them again.
// 5. The refill copies, in the same order, whatever still fits of the collection's files not
//    on the player, resting ones too.
// 6. The plan is netted: a file that leaves and comes back stays, and nothing copied is removed.
// A player file goes only when the collection holds the same bytes (compare tells) or it moves
// into the collection, never when the user protected it or another program is writing it.
[[nodiscard]] MixPlan makeMixPlan(const MixInput &input, quint64 seed, int exchangePercent, const MixComparer &compare);

} // namespace tonvola
