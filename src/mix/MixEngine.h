#pragma once

#include "mix/PlayerList.h"
#include "platform/FileName.h"
#include "platform/Folder.h"
#include "platform/Medium.h"

#include <QElapsedTimer>
#include <QList>
#include <QMetaType>
#include <QSet>
#include <QString>

#include <atomic>
#include <optional>

namespace tonvola {

struct MixOptions {
    QString source;
    QString player;
    // Without a seed every run draws anew from the clock.
    std::optional<quint64> seed;
    // Reports what a run would do and touches nothing; free space is counted from the sizes.
    bool dryRun = false;
    const std::atomic_bool *cancel = nullptr;
};

enum class MixAction {
    Copied,       // a collection file went onto the player
    TakenOff,     // it came up again while the player held the same file, so it was deleted there
    MovedBack,    // a player file went back into the collection
    KeptOnPlayer, // a player file that was to go stays where it is (MixStep::why says why)
    NoRoom,       // the copy found the player full, though the free space said it would fit
    Skipped,      // a collection file that could not be copied (MixStep::why says why)
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
};

struct MixStep {
    MixAction action = MixAction::Copied;
    QString name;
    MixReason why = MixReason::None;
    // MovedBack only: the collection held the same file already, so the player's copy was just deleted.
    bool alreadyInCollection = false;

    // The step as a line of its own, e.g. "übersprungen: Zeit: 12.mp3 (auf dem Player nicht erlaubt)".
    [[nodiscard]] QString line() const;
};

struct MixCounts {
    qsizetype copied = 0;
    qsizetype takenOff = 0;
    qsizetype movedBack = 0;
    qsizetype keptOnPlayer = 0;
    qsizetype noRoom = 0;

    // Counts one action; a skipped name has no count of its own.
    void add(MixAction action);
};

struct MixResult {
    enum class Status { Done, Cancelled, SameFolder, FolderMissing, FolderUnreadable, PlayerBusy, Failed };
    // The step that failed, for the sentence that tells the user.
    enum class Step { None, Read, Copy, Delete, MoveBack, FreeSpace, Flush, PlayerGone };

    Status status = Status::Done;
    Step failedStep = Step::None;
    QString path;   // the file or folder the failure concerns
    QString reason; // the system's own words
    MixCounts counts;
    // Collection files the run passed over, each with its reason.
    QList<MixStep> skipped;
    qsizetype sourceCount = 0;
    qsizetype start = 0;
    qsizetype visited = 0;
    // The entry a run selected last in either list: the last candidate, the last player entry
    // its presence check went through, or the file picked to go back.
    FilePath lastSelected;
    quint64 seed = 0;
    bool dryRun = false;

    [[nodiscard]] bool ok() const { return status == Status::Done; }
    // True when the run got as far as walking the collection, so that summary() tells something.
    [[nodiscard]] bool walked() const
    {
        return status == Status::Done || status == Status::Cancelled || status == Status::Failed;
    }
    // What the run did, e.g. "12 Dateien kopiert, 3 vom Player genommen, 2 zurück ins StammVerzeichnis".
    [[nodiscard]] QString summary() const;
    // The German sentence for a run that could not do its work; empty for Done and Cancelled.
    [[nodiscard]] QString problem() const;
};

// Sees every step of a run as it happens, in the run's own thread.
class MixObserver
{
public:
    virtual ~MixObserver() = default;
    // The lists as the run found them and the first collection position it visits.
    virtual void started(const FileNames & /*sourceNames*/, const FileNames & /*playerNames*/, qsizetype /*start*/) {}
    virtual void visiting(qsizetype /*sourcePosition*/) {}
    // A copy begins (done 0) or moves on. action is Copied for a candidate, MovedBack for a player file.
    virtual void copying(MixAction /*action*/, const QString & /*name*/, qint64 /*done*/, qint64 /*total*/) {}
    virtual void acted(const MixStep & /*step*/) {}
    // The walk is over; what it wrote goes onto the medium now, which on a slow stick takes a while.
    virtual void flushing() {}
};

// Whole MiB of 1024 x 1024 bytes, halves to the even neighbour (2.5 gives 2, 3.5 gives 4).
[[nodiscard]] constexpr qint64 wholeMiB(qint64 bytes)
{
    constexpr qint64 mib = 1024 * 1024;
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

// One fill of the player folder from the collection: from a random position to the end of the
// collection's list, each file that fits is copied, unless the player has it already, in which
// case it is taken off the player; before each copy, an even chance moves a random player
// file back into the collection. A player file is deleted only where the collection holds the
// same file, and never when the user protected it. A failure ends the run at that step; what
// was done stays done.
class MixEngine
{
public:
    explicit MixEngine(MixOptions options, MixObserver *observer = nullptr);

    [[nodiscard]] MixResult run();

    // The player's list as the run sees it now; for observers, during a run.
    [[nodiscard]] FileNames playerNames() const { return m_list.names(); }

private:
    [[nodiscard]] bool open(MixResult &result);
    [[nodiscard]] bool list(MixResult &result);
    void walk(MixResult &result);
    [[nodiscard]] bool cancelled() const;
    // Each returns false when the run ends there.
    [[nodiscard]] bool takeOff(qsizetype key, const fs::Entry &candidate, const FileName &name, MixResult &result);
    [[nodiscard]] bool moveBack(qsizetype key, MixResult &result);
    // A listed player file that is no longer a file where the run looks for it.
    [[nodiscard]] bool playerFileNotThere(qsizetype key, const fs::Entry &there, MixResult &result);
    [[nodiscard]] bool copyCandidate(qsizetype sourcePosition, const fs::Entry &candidate, MixResult &result);
    // One copy through the safe copy, telling the observer how far it has come.
    [[nodiscard]] FileResult copyReporting(MixAction action, const fs::Folder &from, const FileName &name,
                                           const fs::Folder &to, qint64 size);
    // A player file where the run finds it.
    struct OnPlayer {
        const fs::Folder *folder;
        fs::Entry entry;
    };
    [[nodiscard]] OnPlayer lookOnPlayer(const FileName &name) const;
    // The same bytes, told by size and time where these are enough.
    [[nodiscard]] bool sameFile(const fs::Entry &inCollection, const FileName &name, const OnPlayer &onPlayer,
                                const FileName &playerName) const;
    [[nodiscard]] std::optional<qint64> availableOnPlayer();
    void note(MixResult &result, MixAction action, const FileName &name, MixReason why = MixReason::None);
    // Ends the run with "player gone" when the player folder no longer is where it was.
    [[nodiscard]] bool playerGone(MixResult &result);
    // The same, asked after work that went well, and only now and then.
    [[nodiscard]] bool playerGoneLately(MixResult &result);
    static void fail(MixResult &result, MixResult::Step step, const QString &path, const QString &reason);

    MixOptions m_options;
    MixObserver *m_observer;
    fs::Folder m_source;
    fs::Folder m_player;
    FileNames m_sourceNames;
    FileNames m_playerNames;
    PlayerList m_list;
    std::optional<fs::FreeSpace> m_freeSpace;
    // Dry run only: the player's free space as the run would have left it.
    qint64 m_simulatedFree = 0;
    bool m_sameVolume = false;
    bool m_playerIgnoresCase = false;
    // Known from the medium's kind or learnt from its first refusal.
    bool m_playerKeepsFatNames = false;
    qint64 m_playerTimeResolutionNs = 1;
    // Copies this run made: the same as the collection's files, without reading them again.
    QSet<QByteArray> m_copiedThisRun;
    QElapsedTimer m_sinceLookedForPlayer;
    // Only then has the collection's medium anything of the run's to write out at the end.
    bool m_wroteToSource = false;
};

} // namespace tonvola

Q_DECLARE_METATYPE(tonvola::MixResult)
