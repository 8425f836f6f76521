#include "mix/FileOutcome.h"

#include <algorithm>
#include <iterator>

namespace tonvola {

namespace {

using Kind = FileOutcome::Kind;
using Status = fs::FileResult::Status;

constexpr FileOutcome done(MixAction action = MixAction::Skipped)
{
    return {Kind::Done, action, MixReason::None, false};
}
constexpr FileOutcome told(MixAction action, MixReason why, bool playerFirst = false)
{
    return {Kind::Told, action, why, playerFirst};
}
constexpr FileOutcome kept(MixReason why, bool playerFirst = false)
{
    return told(MixAction::KeptOnPlayer, why, playerFirst);
}
constexpr FileOutcome skipped(MixReason why)
{
    return told(MixAction::Skipped, why);
}
constexpr FileOutcome just(Kind kind, bool playerFirst = false)
{
    return {kind, MixAction::Skipped, MixReason::None, playerFirst};
}

struct Answer {
    FilePhase phase;
    Status status;
    FileOutcome outcome;
};

constexpr Answer answers[] = {
    {FilePhase::Removing, Status::Ok, done()},
    {FilePhase::Removing, Status::SourceChanged, kept(MixReason::Changed)},
    {FilePhase::Removing, Status::PermissionDenied, kept(MixReason::WriteProtected, true)},
    // Taken away by another program, or gone with its medium.
    {FilePhase::Removing, Status::NotFound, just(Kind::Vanished, true)},

    {FilePhase::AddingBack, Status::Ok, done()},
    {FilePhase::AddingBack, Status::Cancelled, just(Kind::Cancelled)},
    {FilePhase::AddingBack, Status::InUse, kept(MixReason::InUse)},
    {FilePhase::AddingBack, Status::SourceChanged, kept(MixReason::Changed)},
    // Taken away by another program; or the collection is gone, which refuses it.
    {FilePhase::AddingBack, Status::NotFound, just(Kind::Vanished, true)},
    // Another entry holds the name there (a folder, a link): the file stays where it is.
    {FilePhase::AddingBack, Status::AlreadyExists, kept(MixReason::CollectionRefuses)},

    {FilePhase::NamingBack, Status::Ok, done()},
    {FilePhase::NamingBack, Status::AlreadyExists, kept(MixReason::CollectionRefuses, true)},

    {FilePhase::RemovingMoved, Status::Ok, done()},
    {FilePhase::RemovingMoved, Status::PermissionDenied, kept(MixReason::WriteProtected)},
    {FilePhase::RemovingMoved, Status::SourceChanged, kept(MixReason::Changed)},
    {FilePhase::RemovingMoved, Status::NotFound, kept(MixReason::Changed)},

    {FilePhase::RemovingFound, Status::Ok, done()},
    {FilePhase::RemovingFound, Status::PermissionDenied, kept(MixReason::WriteProtected)},

    {FilePhase::AddingCopy, Status::Ok, done(MixAction::Copied)},
    {FilePhase::AddingCopy, Status::Cancelled, just(Kind::Cancelled)},
    // A full player is what the user asked for; smaller files may still fit.
    {FilePhase::AddingCopy, Status::NoSpace, told(MixAction::NoRoom, MixReason::None, true)},
    {FilePhase::AddingCopy, Status::FolderFull, just(Kind::FolderFull)},
    {FilePhase::AddingCopy, Status::InUse, skipped(MixReason::InUse)},
    {FilePhase::AddingCopy, Status::SourceChanged, skipped(MixReason::Changed)},
    {FilePhase::AddingCopy, Status::NotFound, skipped(MixReason::GoneFromCollection)},
    {FilePhase::AddingCopy, Status::NotAFile, skipped(MixReason::NotAFile)},
    {FilePhase::AddingCopy, Status::TooLarge, skipped(MixReason::TooLarge)},
    {FilePhase::AddingCopy, Status::NameRefused, skipped(MixReason::NameRefused)},
    {FilePhase::AddingCopy, Status::AlreadyExists, skipped(MixReason::NameTaken)},
    {FilePhase::AddingCopy, Status::NameTaken, skipped(MixReason::NameTaken)},

    {FilePhase::NamingCopy, Status::Ok, done(MixAction::Copied)},
    {FilePhase::NamingCopy, Status::AlreadyExists, skipped(MixReason::NameTaken)},
    {FilePhase::NamingCopy, Status::NameRefused, skipped(MixReason::NameRefused)},
    {FilePhase::NamingCopy, Status::NoSpace, told(MixAction::NoRoom, MixReason::None)},
    {FilePhase::NamingCopy, Status::FolderFull, just(Kind::FolderFull)},
};

// Every other answer of a phase.
struct Otherwise {
    FilePhase phase;
    FileOutcome outcome;
};

constexpr Otherwise otherwise[] = {
    {FilePhase::Removing, just(Kind::Failed)},
    // Read-only, full, a name it cannot hold: the file stays where it is, the run goes on.
    {FilePhase::AddingBack, just(Kind::Refused, true)},
    {FilePhase::NamingBack, just(Kind::Refused, true)},
    {FilePhase::RemovingMoved, just(Kind::Failed)},
    {FilePhase::RemovingFound, kept(MixReason::Changed)},
    {FilePhase::AddingCopy, just(Kind::Failed)},
    {FilePhase::NamingCopy, just(Kind::Failed)},
};

} // namespace

FileOutcome outcomeOf(FilePhase phase, fs::FileResult::Status status)
{
    const auto answer = std::find_if(std::begin(answers), std::end(answers),
                                     [&](const Answer &row) { return row.phase == phase && row.status == status; });
    if (answer != std::end(answers))
        return answer->outcome;
    const auto other = std::find_if(std::begin(otherwise), std::end(otherwise),
                                    [&](const Otherwise &row) { return row.phase == phase; });
    return other != std::end(otherwise) ? other->outcome : just(Kind::Failed);
}

} // namespace tonvola
