#pragma once

#include "mix/PlayerList.h"
#include "platform/FileOps.h"

#include <QMetaType>
#include <QSet>
#include <QString>
#include <QStringList>

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
    TakenOff,     // it came up again while on the player, so it was deleted there
    MovedBack,    // a player file went back into the collection
    KeptOnPlayer, // a player file was to go back, but the collection holds a different file of that name
};

struct MixStep {
    MixAction action = MixAction::Copied;
    QString name;
    // MovedBack only: the collection held the same file already, so the player's copy was just deleted.
    bool alreadyInCollection = false;
};

struct MixCounts {
    qsizetype copied = 0;
    qsizetype takenOff = 0;
    qsizetype movedBack = 0;
    qsizetype keptOnPlayer = 0;
};

struct MixResult {
    enum class Status { Done, Cancelled, SameFolder, FolderMissing, Failed };
    // The step that failed, for the sentence that tells the user.
    enum class Step { None, Read, Copy, Delete, MoveBack, FreeSpace, Flush };

    Status status = Status::Done;
    Step failedStep = Step::None;
    QString path;   // the file or folder the failure concerns
    QString reason; // the system's own words
    MixCounts counts;
    qsizetype sourceCount = 0;
    qsizetype start = 0;
    qsizetype visited = 0;
    // Full path of the entry a run selected last in either list: the last candidate, the last
    // player entry its presence check went through, or the file picked to go back.
    QString lastSelected;
    quint64 seed = 0;
    bool dryRun = false;

    [[nodiscard]] bool ok() const { return status == Status::Done; }
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
    virtual void started(const QStringList & /*sourceNames*/, const QStringList & /*playerNames*/, qsizetype /*start*/)
    {}
    virtual void visiting(qsizetype /*sourcePosition*/) {}
    // A copy begins (done 0) or moves on. action is Copied for a candidate, MovedBack for a player file.
    virtual void copying(MixAction /*action*/, const QString & /*name*/, qint64 /*done*/, qint64 /*total*/) {}
    virtual void acted(const MixStep & /*step*/) {}
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
// file back into the collection. A failure ends the run at that step; what was done stays done.
class MixEngine
{
public:
    explicit MixEngine(MixOptions options, MixObserver *observer = nullptr);

    [[nodiscard]] MixResult run();

    // The player's list as the run sees it now; for observers, during a run.
    [[nodiscard]] QStringList playerNames() const { return m_list.names(); }

private:
    [[nodiscard]] MixResult walk();
    [[nodiscard]] bool cancelled() const;
    [[nodiscard]] bool moveBack(qsizetype key, MixResult &result);
    // One copy through the safe copy, telling the observer how far it has come.
    [[nodiscard]] FileResult copyReporting(MixAction action, const QString &name, const QString &from,
                                           const QString &folder, Overwrite overwrite, qint64 size);
    [[nodiscard]] bool copyCandidate(qsizetype sourcePosition, qint64 size, MixResult &result);
    [[nodiscard]] bool takeOff(qsizetype key, MixResult &result);
    [[nodiscard]] std::optional<qint64> availableOnPlayer() const;
    static void fail(MixResult &result, MixResult::Step step, const QString &path, const QString &reason);

    MixOptions m_options;
    MixObserver *m_observer;
    QStringList m_sourceNames;
    PlayerList m_list;
    // Dry run only: the player's free space as the run would have left it.
    qint64 m_simulatedFree = 0;
    bool m_sameVolume = false;
    // Only there can a name the list lacks still be taken on the medium.
    bool m_playerIgnoresCase = false;
    // Copies this run made: the same as the collection's files, without reading them again.
    QSet<QString> m_copiedThisRun;
};

} // namespace tonvola

Q_DECLARE_METATYPE(tonvola::MixResult)
