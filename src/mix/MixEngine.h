#pragma once

#include "mix/MixContext.h"
#include "mix/MixMemory.h"
#include "mix/MixPlan.h"
#include "mix/MixTree.h"
#include "platform/FileName.h"
#include "platform/Folder.h"
#include "platform/PlayerLock.h"
#include "platform/WrittenRecord.h"

#include <QHash>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>

namespace tonvola {

struct MixOptions {
    QString source;
    QString player;
    // Without a seed every run draws anew from the clock.
    std::optional<quint64> seed;
    // Reports the plan and touches nothing.
    bool dryRun = false;
    // The share of the player's MP3 bytes that a run frees for new files before it walks.
    int exchangePercent = defaultExchangePercent;
    // Takes the MP3 files of every folder below the collection too, not only its own.
    bool subfolders = false;
    const std::atomic_bool *cancel = nullptr;
};

struct MixCounts {
    qsizetype copied = 0;
    qsizetype takenOff = 0;
    qsizetype movedBack = 0;
    qsizetype removedBroken = 0;
    qsizetype keptOnPlayer = 0;
    qsizetype noRoom = 0;
    // Of movedBack: the files written into the collection, apart from those only deleted on the
    // player because the collection holds them already.
    qsizetype intoCollection = 0;

    // Counts one action; a skipped name has no count of its own.
    void add(MixAction action);
    void add(const MixStep &step);
};

struct MixResult {
    enum class Status {
        Done,
        Cancelled,
        SameFolder,
        FolderMissing,
        FolderUnreadable,
        PlayerBusy,
        Failed,
        // The collection folder holds no MP3 files, its sub-folders do, and the run leaves them out.
        OnlyInSubfolders,
    };
    // The step that failed, for the sentence that tells the user.
    enum class Step { None, Read, Copy, Delete, MoveBack, FreeSpace, Flush, PlayerGone, FolderFull };

    Status status = Status::Done;
    Step failedStep = Step::None;
    QString path;         // the file or folder the failure concerns
    fs::FileResult cause; // why it failed
    MixCounts counts;
    // Collection files the run passed over, each with its reason.
    QList<MixStep> skipped;
    // The steps that name a file the user may want to look at: passed over, left on the player,
    // without room, a broken copy removed, a file written into the collection.
    QList<MixStep> named;
    // The collection's files that the player did not hold when the run began, and the player's
    // free room then: why a run that copied nothing did so.
    qsizetype newInCollection = 0;
    qint64 freeBytes = 0;
    // Player files the collection refused to take back: they stay on the player.
    QList<MixStep> refusedMovesBack;
    qsizetype sourceCount = 0;
    // With sub-folders: the MP3 files of the collection and all its folders; -1 without.
    qsizetype treeFiles = -1;
    // The collection's positions the walk visited first and last.
    qsizetype start = 0;
    qsizetype last = 0;
    qsizetype visited = 0;
    // The collection entry the walk visited last; `last` is -1 where it lies in a sub-folder.
    fs::FilePath lastSelected;
    quint64 seed = 0;
    bool dryRun = false;
    // What the plan meant to copy, and how much of it was written.
    qsizetype plannedCopies = 0;
    qint64 plannedBytes = 0;
    qint64 copiedBytes = 0;
    // What the system could not make sure of for the run (that the medium may be pulled out
    // now, that the copies kept their times); the summary tells it.
    QList<fs::FileResult> notes;
    // Why no lock kept a second fill off the player, where none could be taken.
    fs::FileResult lockNotTaken;

    // Why a finished run copied nothing; the summary says it.
    enum class NothingCopied { NoMp3Files, NothingNew, PassedOver, NoRoom };
    [[nodiscard]] std::optional<NothingCopied> whyNothingCopied() const;
    // A refusal, a file left where it was, no room at all or a failure: something the user may
    // want to read about file by file.
    [[nodiscard]] bool hadProblem() const;

    [[nodiscard]] bool ok() const { return status == Status::Done; }
    // True when the run got as far as planning, so that its summary tells something.
    [[nodiscard]] bool walked() const
    {
        return status == Status::Done || status == Status::Cancelled || status == Status::Failed;
    }
    // Ends the run as failed at that step; `path` is the file or folder it concerns.
    void fail(Step step, const QString &failedPath, const fs::FileResult &why);
    // What the system could not make sure of, though the step went well: said once, beside the
    // summary, however often it comes up.
    void keepNote(const fs::FileResult &done);
};

// The failure of a medium that does not tell how much room it has left.
[[nodiscard]] fs::FileResult notAnswering();

// The row of the collection's list that the walk visited last: none for an empty collection,
// nor for a file of a sub-folder, which the list does not show.
[[nodiscard]] std::optional<qsizetype> lastVisitedRow(const MixResult &result);

// How far the copying has come: on a real stick this is what takes time.
struct MixTransfer {
    MixAction action = MixAction::Copied; // Copied, or MovedBack while files go back
    fs::FileName name;                    // the file being written
    qsizetype filesDone = 0;              // the files of this kind written so far
    qsizetype filesPlanned = 0;
    qint64 bytesDone = 0; // copies only: of all of them
    qint64 bytesPlanned = 0;
    qint64 fileDone = 0; // of the file being written
    qint64 fileSize = 0;
};

// How far a run has come before its plan is made: on a stick with thousands of files, looking at
// each of them and comparing some with the collection's takes a while.
struct MixPreparing {
    enum class Stage { Looking, Comparing };
    Stage stage = Stage::Looking;
    qsizetype done = 0;
    qsizetype total = 0; // Looking only: the files of both folders
};

// Sees every step of a run as it happens, in the run's own thread.
class MixObserver
{
public:
    virtual ~MixObserver() = default;
    // The lists as the run found them and the first collection position it visits.
    virtual void started(const fs::FileNames & /*sourceNames*/, const fs::FileNames & /*playerNames*/,
                         qsizetype /*start*/)
    {}
    // Files of the collection were written moments ago, most likely still being copied there;
    // the run waits a few seconds for them before it plans.
    virtual void waiting(qsizetype /*files*/) {}
    // Now and then while the folders' files are looked at and compared, before the plan is made.
    virtual void preparing(const MixPreparing & /*preparing*/) {}
    // The plan is made; what it means to do follows as steps.
    virtual void planned(const MixPlan & /*plan*/) {}
    virtual void transferring(const MixTransfer & /*transfer*/) {}
    virtual void acted(const MixStep & /*step*/) {}
    // What was written goes onto the medium now, which on a slow stick takes a while.
    virtual void flushing() {}
};

class MixActing;

// One fill of the player folder from the collection: reads both folders, plans the whole run
// in memory (makeMixPlan) and then carries the plan out: removals and moves back first, copies
// after, each copy checked against the real free space before it is written. A dry run stops
// after the plan and reports it step by step, as the real run with the same seed reports its
// work. A failure ends the run at that step; what was done stays done.
class MixEngine
{
public:
    explicit MixEngine(MixOptions options, MixObserver *observer = nullptr);
    ~MixEngine();
    MixEngine(const MixEngine &) = delete;
    MixEngine &operator=(const MixEngine &) = delete;

    [[nodiscard]] MixResult run();

    // The player's list as the run sees it now; for observers, during a run.
    [[nodiscard]] fs::FileNames playerNames() const;

private:
    [[nodiscard]] bool open(MixResult &result);
    [[nodiscard]] bool read(MixInput &input, MixResult &result, std::optional<fs::PlayerLock> &lock);
    // Both lists, before anything is touched.
    [[nodiscard]] bool readLists(fs::Listing &source, fs::Listing &player, MixResult &result);
    // Keeps a second fill off the player and takes off what a killed one left.
    [[nodiscard]] bool lockPlayer(MixResult &result, std::optional<fs::PlayerLock> &lock);
    // Each file of both lists, as the folders hold it now.
    void lookAtFiles(const fs::Listing &source, const fs::Listing &player, MixInput &input);
    void lookAtSource(const fs::Listing &source, MixInput &input, MixPreparing &looking);
    void lookAtPlayer(const fs::Listing &player, MixInput &input, MixPreparing &looking);
    // What the memory of this pair of folders and the player's record know of each file.
    void recall(MixInput &input);
    // The room on the player and what its medium and the collection's take.
    [[nodiscard]] bool measure(MixInput &input, MixResult &result);
    // Keeps as broken only the copies whose bytes show it.
    void confirmBrokenCopies(MixInput &input);
    // Waits a few seconds for collection files that are being written, and looks at them again.
    void waitForFreshFiles(MixInput &input);
    [[nodiscard]] fs::Likeness compare(qsizetype sourceIndex, qsizetype playerIndex);
    // Takes the collection's sub-folders into the lists, with the names their files have on the player.
    void readTree(fs::Listing &source);
    // The names the sub-folders' files have on the player: joined with their paths where two share one.
    [[nodiscard]] fs::FileNames treeNames(const std::vector<MixTree::File> &files) const;
    // By file: whether another file whose path comes first holds its name on the player.
    [[nodiscard]] std::vector<char> namesTaken(const std::vector<MixTree::File> &files,
                                               const fs::FileNames &names) const;
    // Of files whose names are one on the player, the one whose path comes first keeps it.
    void keepFirstOfEachName(const std::vector<MixTree::File> &files, const fs::FileNames &names, fs::Listing &source);
    [[nodiscard]] QByteArray treePath(const MixTree::File &file) const;
    // Gives a copy of a sub-folder's file the key of that file, where its name on the player changed since.
    void followOrigins(MixInput &input);
    // Where each player file goes back, where that is not the collection folder under its own name.
    void findWayBack(MixInput &input, const std::vector<qsizetype> &sourceOf);
    [[nodiscard]] const fs::Folder &folderOf(const MixInput::Source &file) const { return m_tree->folder(file.folder); }
    // The plan's figures in the result, and the plan told to the observer.
    void tellPlan(const MixPlan &plan, MixResult &result);
    [[nodiscard]] fs::FileNames listedSourceNames(const MixPlan &plan, MixResult &result) const;
    [[nodiscard]] MixContext context(MixResult &result);
    void finish(const MixActing &acting, MixResult &result);
    // The next run brings first what this one left in the collection.
    void rememberOrder();
    // Forgets names that are gone, so that a file of the user's may take them; true when the
    // record was written anew.
    [[nodiscard]] bool forgetGoneNames();
    void flush(const MixActing &acting, bool recordRewritten, MixResult &result);
    void report(MixResult &result, const MixStep &step) { reportStep(result, *m_observer, step); }

    MixOptions m_options;
    MixObserver *m_observer;
    fs::Folder m_source;
    fs::Folder m_player;
    fs::LetterCase m_playerCase = fs::LetterCase::Exact;
    MixInput m_input;
    std::unique_ptr<MixTree> m_tree;
    // For each file of the source list, where it lies; filled only with sub-folders.
    std::vector<MixTree::File> m_treeFiles;
    // Folders that could not be read and files whose name another one took: told as the plan is.
    QList<MixStep> m_treeNotes;
    MixWayBack m_wayBack;
    std::unique_ptr<fs::WrittenRecord> m_record;
    MixMemory m_memory;
    // Whether the run found temporary files of a killed one and took them off.
    bool m_leftoversOnPlayer = false;
    bool m_leftoversInSource = false;
    QHash<qsizetype, MixCompared> m_compared;
    qsizetype m_comparedWhole = 0;
    MixPlayerList m_now;
};

} // namespace tonvola

Q_DECLARE_METATYPE(tonvola::MixResult)
