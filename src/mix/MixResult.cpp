// The result of a run, as the engine builds it; its sentences are MixText's.

#include "mix/MixEngine.h"

namespace tonvola {

void MixCounts::add(MixAction action)
{
    switch (action) {
    case MixAction::Copied:
        ++copied;
        break;
    case MixAction::TakenOff:
        ++takenOff;
        break;
    case MixAction::MovedBack:
        ++movedBack;
        break;
    case MixAction::RemovedBroken:
        ++removedBroken;
        break;
    case MixAction::KeptOnPlayer:
        ++keptOnPlayer;
        break;
    case MixAction::NoRoom:
        ++noRoom;
        break;
    case MixAction::Skipped:
        break;
    }
}

void MixCounts::add(const MixStep &step)
{
    add(step.action);
    if (step.action == MixAction::MovedBack && !step.alreadyInCollection)
        ++intoCollection;
}

std::optional<MixResult::NothingCopied> MixResult::whyNothingCopied() const
{
    if (status != Status::Done || counts.copied > 0)
        return std::nullopt;
    if (sourceCount == 0)
        return NothingCopied::NoMp3Files;
    if (newInCollection == 0)
        return NothingCopied::NothingNew;
    if (skipped.size() >= newInCollection)
        return NothingCopied::PassedOver;
    return NothingCopied::NoRoom;
}

bool MixResult::hadProblem() const
{
    if ((status != Status::Done && status != Status::Cancelled) || counts.noRoom > 0 || counts.keptOnPlayer > 0
        || !skipped.isEmpty())
        return true;
    const std::optional<NothingCopied> why = whyNothingCopied();
    return why == NothingCopied::PassedOver || why == NothingCopied::NoRoom;
}

void MixResult::fail(Step step, const QString &failedPath, const fs::FileResult &why)
{
    status = Status::Failed;
    failedStep = step;
    path = failedPath;
    cause = why;
}

void MixResult::keepNote(const fs::FileResult &done)
{
    if (done.ok() && done.tells() && !notes.contains(done))
        notes.append(done);
}

fs::FileResult notAnswering()
{
    return fs::FileResult::failure(fs::FileResult::Status::Failed, fs::FileResult::Reason::MediumNotAnswering);
}

std::optional<qsizetype> lastVisitedRow(const MixResult &result)
{
    if (result.sourceCount > 0 && result.last >= 0)
        return result.last;
    return std::nullopt;
}

} // namespace tonvola
