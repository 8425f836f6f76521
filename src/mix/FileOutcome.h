#pragma once

#include "mix/MixPlan.h"
#include "platform/FileResult.h"

namespace tonvola {

// The moments of a run at which the system answers for one file.
enum class FilePhase {
    Removing,      // a planned removal from the player
    AddingBack,    // a move back, as its batch takes it
    NamingBack,    // a move back, as its batch names it in the collection
    RemovingMoved, // the player's file of a move back the collection holds now
    RemovingFound, // the player's file whose move back found it in the collection already
    AddingCopy,    // a copy, as its batch takes it
    NamingCopy,    // a copy, as its batch names it on the player
};

// What the run makes of an answer.
struct FileOutcome {
    enum class Kind {
        Done,       // the step went well
        Told,       // a line tells why the file is where it was; the run goes on
        Vanished,   // the file went away meanwhile: there is nothing to tell
        Refused,    // the collection refused the file: it stays on the player, the run ends failed
        FolderFull, // the folder takes no more entries, though the medium has room
        Cancelled,
        Failed, // the run ends at this step, or as the player gone where it is
    };
    Kind kind = Kind::Failed;
    // The line a Told outcome tells, and the action a Done one counts.
    MixAction action = MixAction::Skipped;
    MixReason why = MixReason::None;
    // A player gone meanwhile explains the answer better: asked first, it ends the run (Told,
    // Vanished and Refused outcomes; a failure always asks).
    bool playerFirst = false;

    friend bool operator==(const FileOutcome &a, const FileOutcome &b)
    {
        return a.kind == b.kind && a.action == b.action && a.why == b.why && a.playerFirst == b.playerFirst;
    }
};

[[nodiscard]] FileOutcome outcomeOf(FilePhase phase, fs::FileResult::Status status);

} // namespace tonvola
