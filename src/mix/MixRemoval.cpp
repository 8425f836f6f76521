// Removals from the player and moves back into the collection: the first half of a run.

#include "mix/MixActing.h"

#include "mix/MixTree.h"
#include "platform/Temporary.h"
#include "platform/WrittenRecord.h"

#include <QScopeGuard>

namespace tonvola {

namespace {

// A move back that writes a file into the collection, apart from one that only takes the
// player's copy off because the collection holds the file already.
bool writesBack(const MixStep &step)
{
    return step.action == MixAction::MovedBack && !step.alreadyInCollection;
}

fs::FileResult collectionUnreachable()
{
    return fs::FileResult::failure(fs::FileResult::Status::NotFound, fs::FileResult::Reason::CollectionGone);
}

} // namespace

// The moves back waiting to be named in the collection.
struct MixActing::MovesBack {
    explicit MovesBack(const fs::Folder &source) : batch(source) {}
    fs::CopyBatch batch;
    QList<Pending> pending;
    QElapsedTimer sinceFirst;
};

bool MixActing::removeAndMoveBack()
{
    for (const MixStep &step : m_plan.removals)
        m_movesPlanned += writesBack(step) ? 1 : 0;
    MovesBack moves(m_ctx.source);
    for (qsizetype k = 0; k < m_plan.removals.size() && !cancelled(); ++k) {
        const MixStep &step = m_plan.removals[k];
        const qsizetype j = m_plan.removalIndex[k];
        const bool goOn = writesBack(step) ? moveBack(step, j, moves) : removeFromPlayer(step, j);
        if (!goOn)
            return false;
    }
    // What is written is whole: it is named and its moves finished, also after a cancel.
    return commitMovesBack(moves) && m_result.status != MixResult::Status::Cancelled;
}

bool MixActing::removeFromPlayer(const MixStep &step, qsizetype playerIndex)
{
    const MixInput::OnPlayer &file = playerFile(playerIndex);
    fs::Entry expected = file.entry;
    if (step.action != MixAction::RemovedBroken) {
        const auto compared = m_ctx.compared.constFind(playerIndex);
        if (compared == m_ctx.compared.cend() || !stillAsCompared(file, *compared))
            return true;
        expected = compared->player;
    }
    const fs::FileResult removed = m_ctx.player.removeIfUnchanged(file.name, expected);
    const FileOutcome outcome = outcomeOf(FilePhase::Removing, removed.status);
    if (outcome.playerFirst && playerGone())
        return false;
    switch (outcome.kind) {
    case FileOutcome::Kind::Done:
        tookOff(file);
        m_order.add(step);
        return !playerGoneLately();
    case FileOutcome::Kind::Told:
        note(outcome.action, file.name, outcome.why);
        return true;
    case FileOutcome::Kind::Vanished:
        return true;
    default:
        failUnlessGone(MixResult::Step::Delete, m_ctx.player.pathOf(file.name).text(), removed);
        return false;
    }
}

bool MixActing::stillAsCompared(const MixInput::OnPlayer &file, const MixCompared &compared)
{
    const MixInput::Source &original = sourceFile(compared.sourceIndex);
    const fs::Folder &from = folderOf(original);
    const fs::FileName &inCollection = ownName(original);
    if (compared.tagsLeft) {
        fs::Entry source;
        fs::Entry player;
        const fs::Likeness likeness =
            fs::compareFiles(from, inCollection, m_ctx.player, file.name, &source, &player, fs::Span::Tags);
        const bool same = likeness == fs::Likeness::SameBytes;
        if (same && source.isUnchangedSince(compared.source) && player.isUnchangedSince(compared.player))
            return true;
        note(MixAction::KeptOnPlayer, file.name, same ? MixReason::Changed : MixReason::OtherContent);
        return false;
    }
    if (from.look(inCollection).isUnchangedSince(compared.source)
        || fs::compareFiles(from, inCollection, m_ctx.player, file.name) == fs::Likeness::SameBytes)
        return true;
    note(MixAction::KeptOnPlayer, file.name, MixReason::Changed);
    return false;
}

bool MixActing::moveBack(const MixStep &step, qsizetype playerIndex, MovesBack &moves)
{
    const MixInput::OnPlayer &file = playerFile(playerIndex);
    const qsizetype into = m_ctx.wayBack.folderOf(playerIndex);
    const fs::Folder &to = m_ctx.tree.folder(into);
    cleanOnce(into, to);
    const fs::FileName &back = file.backName.isEmpty() ? file.name : file.backName;
    if (m_ctx.wayBack.mayBeThereFor(playerIndex) && alreadyThere(to, back, step, playerIndex))
        return true;
    transferring(MixAction::MovedBack, file.name, 0, file.entry.size);
    fs::CopyOptions options = copyOptions(MixAction::MovedBack, file.name, file.entry);
    options.into = &to;
    options.as = back;
    const fs::FileResult added = moves.batch.add(m_ctx.player, file.name, options);
    m_freedInSource = m_freedInSource || !added.ok();
    const FileOutcome outcome = outcomeOf(FilePhase::AddingBack, added.status);
    if (outcome.playerFirst && playerGone())
        return false;
    switch (outcome.kind) {
    case FileOutcome::Kind::Done:
        if (moves.pending.isEmpty())
            moves.sinceFirst.start();
        moves.pending.append({step, playerIndex});
        m_order.hold();
        return !batchFull(moves.batch, moves.sinceFirst) || commitMovesBack(moves);
    case FileOutcome::Kind::Cancelled:
        m_result.status = MixResult::Status::Cancelled;
        return true;
    case FileOutcome::Kind::Told:
        note(outcome.action, file.name, outcome.why);
        return true;
    case FileOutcome::Kind::Vanished:
        if (!m_ctx.source.isReachable())
            refused(file.name, collectionUnreachable());
        return true;
    default:
        refused(file.name, added);
        return true;
    }
}

void MixActing::cleanOnce(qsizetype folder, const fs::Folder &to)
{
    // A move back that was killed midway left its hidden copy in the folder it went to; the
    // collection folder itself was cleaned when the run began.
    if (folder < 0 || m_cleanedFolders.contains(folder))
        return;
    m_cleanedFolders.insert(folder);
    m_freedInSource = fs::removeLeftovers(to) || m_freedInSource;
}

bool MixActing::alreadyThere(const fs::Folder &to, const fs::FileName &back, const MixStep &step, qsizetype playerIndex)
{
    const MixInput::OnPlayer &file = playerFile(playerIndex);
    fs::Entry seen;
    if (!to.look(back).isFile()
        || fs::compareFiles(to, back, m_ctx.player, file.name, nullptr, &seen) != fs::Likeness::SameBytes)
        return false;
    const fs::FileResult removed = m_ctx.player.removeIfUnchanged(file.name, seen);
    const FileOutcome outcome = outcomeOf(FilePhase::RemovingFound, removed.status);
    if (outcome.kind != FileOutcome::Kind::Done) {
        note(outcome.action, file.name, outcome.why);
        return true;
    }
    tookOff(file);
    MixStep taken = step;
    taken.alreadyInCollection = true;
    m_order.add(taken);
    return true;
}

bool MixActing::commitMovesBack(MovesBack &moves)
{
    // The names must be on the collection's medium before the player's files go.
    const QList<fs::CopyBatch::Named> named = moves.batch.commit(nullptr, fs::CopyBatch::Names::Flushed);
    // The folders the batch wrote into are used below; those of the next batch are opened anew.
    const auto trimmed = qScopeGuard([this] { m_ctx.tree.trim(); });
    m_freedInSource = m_freedInSource || !allNamed(named);
    const QList<Pending> pending = std::exchange(moves.pending, {});
    // A collection that is not where it was any more (unmounted, pulled) may keep nothing: the
    // player's files stay.
    const bool collectionGone = !named.isEmpty() && !m_ctx.source.isReachable();
    bool goOn = true;
    for (qsizetype k = 0; k < named.size(); ++k)
        goOn = finishMoveBack(named[k], pending[k], goOn, collectionGone);
    m_order.dropHeld();
    return goOn;
}

bool MixActing::finishMoveBack(const fs::CopyBatch::Named &copy, const Pending &move, bool goOn, bool collectionGone)
{
    const fs::Folder &into = copy.folder ? *copy.folder : m_ctx.source;
    if (goOn && copy.result.ok() && !collectionGone)
        return removeMoved(copy, move, into);
    // Not whole, perhaps: the file stays on the player. A name the batch could not give is
    // another file's.
    if (copy.named)
        dropCopy(into, copy.name);
    // Its place in the order is given up: the run ends here.
    if (!goOn)
        return false;
    // The file's name on the player; it may take another one back in the collection.
    const fs::FileName &onPlayer = playerFile(move.playerIndex).name;
    // A collection that is gone refuses whatever its batch answered.
    const FileOutcome outcome =
        outcomeOf(FilePhase::NamingBack, collectionGone ? fs::FileResult::Status::NotFound : copy.result.status);
    if (outcome.playerFirst && playerGone())
        return false;
    if (outcome.kind == FileOutcome::Kind::Told)
        m_order.decide(stepOf(outcome.action, onPlayer, outcome.why));
    else
        refused(onPlayer, collectionGone ? collectionUnreachable() : copy.result, true);
    return true;
}

bool MixActing::removeMoved(const fs::CopyBatch::Named &copy, const Pending &move, const fs::Folder &into)
{
    m_wroteToSource = true;
    ++m_movesDone;
    m_result.keepNote(copy.result);
    const MixInput::OnPlayer &file = playerFile(move.playerIndex);
    const fs::FileResult removed = m_ctx.player.removeIfUnchanged(file.name, copy.source);
    const FileOutcome outcome = outcomeOf(FilePhase::RemovingMoved, removed.status);
    if (outcome.kind == FileOutcome::Kind::Done) {
        tookOff(file);
        m_order.decide(move.step);
        return true;
    }
    dropCopy(into, copy.name);
    if (outcome.kind == FileOutcome::Kind::Told) {
        m_order.decide(stepOf(outcome.action, file.name, outcome.why));
        return true;
    }
    failUnlessGone(MixResult::Step::Delete, m_ctx.player.pathOf(file.name).text(), removed);
    return false;
}

void MixActing::dropCopy(const fs::Folder &into, const fs::FileName &name)
{
    m_freedInSource = true;
    // Where even this fails, the collection holds the file twice; the run has nothing better to do.
    (void)into.remove(name);
}

} // namespace tonvola
