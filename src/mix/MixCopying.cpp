// Copies from the collection onto the player: the second half of a run.

#include "mix/MixActing.h"

#include "mix/MixTree.h"
#include "platform/Medium.h"
#include "platform/WrittenRecord.h"

namespace tonvola {

// The copies waiting to be named on the player, and the room they leave.
struct MixActing::Copies {
    explicit Copies(const fs::Folder &player) : batch(player), space(player) {}
    fs::CopyBatch batch;
    fs::FreeSpace space;
    QElapsedTimer sinceFirst;
    // Whether the batch was named early for a full folder, since the last copy that went well.
    bool retried = false;
};

bool MixActing::copy()
{
    Copies copies(m_ctx.player);
    qsizetype k = 0;
    while (k < m_plan.copies.size() && !cancelled()) {
        const Next next = copyOne(sourceFile(m_plan.copyIndex[k]), copies);
        if (next == Next::End)
            return false;
        if (next == Next::Copy)
            ++k;
    }
    return commitCopies(copies.batch) && m_result.status != MixResult::Status::Cancelled;
}

MixActing::Next MixActing::copyOne(const MixInput::Source &candidate, Copies &copies)
{
    const std::optional<qint64> available = copies.space.available();
    if (!available) {
        failUnlessGone(MixResult::Step::FreeSpace, m_ctx.player.path(), notAnswering());
        return Next::End;
    }
    if (!fitsOnPlayer(candidate.entry.size, *available)) {
        note(MixAction::NoRoom, candidate.name, MixReason::None);
        return Next::Copy;
    }
    const fs::FileResult added = addCopy(candidate, copies.batch);
    const FileOutcome outcome = outcomeOf(FilePhase::AddingCopy, added.status);
    if (outcome.playerFirst && playerGone())
        return Next::End;
    switch (outcome.kind) {
    case FileOutcome::Kind::Done:
        return staged(candidate, copies) ? Next::Copy : Next::End;
    case FileOutcome::Kind::Cancelled:
        m_result.status = MixResult::Status::Cancelled;
        return Next::Copy;
    case FileOutcome::Kind::Told:
        if (outcome.action == MixAction::NoRoom)
            copies.space.lookAgain();
        note(outcome.action, candidate.name, outcome.why);
        return Next::Copy;
    case FileOutcome::Kind::FolderFull:
        return folderFullWhileAdding(copies, added);
    default:
        failUnlessGone(MixResult::Step::Copy, folderOf(candidate).pathOf(ownName(candidate)).text(), added);
        commitCopies(copies.batch);
        return Next::End;
    }
}

fs::FileResult MixActing::addCopy(const MixInput::Source &candidate, fs::CopyBatch &batch)
{
    transferring(MixAction::Copied, candidate.name, 0, candidate.entry.size);
    fs::CopyOptions options = copyOptions(MixAction::Copied, candidate.name, candidate.entry);
    options.as = candidate.name;
    if (candidate.folder >= 0)
        options.origin = m_ctx.tree.path(candidate.folder) + '/' + ownName(candidate).native();
    fs::FileResult added = batch.add(folderOf(candidate), ownName(candidate), options);
    // The batch keeps nothing of the folder it read from.
    m_ctx.tree.trim();
    m_freedOnPlayer = m_freedOnPlayer || !added.ok();
    return added;
}

bool MixActing::staged(const MixInput::Source &candidate, Copies &copies)
{
    m_stagedKeys.append(candidate.key);
    m_order.hold();
    copies.space.wrote(candidate.entry.size);
    m_bytesDone += candidate.entry.size;
    ++m_copiesWritten;
    if (copies.batch.count() == 1)
        copies.sinceFirst.start();
    if (batchFull(copies.batch, copies.sinceFirst) && !commitCopies(copies.batch))
        return false;
    if (playerGoneLately())
        return false;
    copies.retried = false;
    return true;
}

MixActing::Next MixActing::folderFullWhileAdding(Copies &copies, const fs::FileResult &why)
{
    // The waiting copies hold entries of their own under temporary names; named, they may
    // leave room for one more.
    if (!copies.retried && !copies.batch.isEmpty()) {
        copies.retried = true;
        return commitCopies(copies.batch) ? Next::Again : Next::End;
    }
    folderFull();
    commitCopies(copies.batch);
    m_result.fail(MixResult::Step::FolderFull, m_ctx.player.path(), why);
    return Next::End;
}

bool MixActing::commitCopies(fs::CopyBatch &batch)
{
    if (batch.isEmpty())
        return true;
    const QList<fs::CopyBatch::Named> named = batch.commit(&m_ctx.record);
    m_freedOnPlayer = m_freedOnPlayer || !allNamed(named);
    m_changedPlayer = true;
    const QList<qsizetype> keys = std::exchange(m_stagedKeys, {});
    bool goOn = true;
    for (qsizetype k = 0; k < named.size(); ++k)
        goOn = namedCopy(named[k], keys[k], goOn) && goOn;
    m_order.dropHeld();
    return goOn;
}

bool MixActing::namedCopy(const fs::CopyBatch::Named &copy, qsizetype key, bool goOn)
{
    const FileOutcome outcome = outcomeOf(FilePhase::NamingCopy, copy.result.status);
    MixStep step = stepOf(outcome.action, copy.name, outcome.why);
    switch (outcome.kind) {
    case FileOutcome::Kind::Done:
        m_result.copiedBytes += copy.source.size;
        m_result.keepNote(copy.result);
        step.size = copy.source.size;
        m_ctx.now.set(key, copy.name, true);
        m_order.decide(step);
        return true;
    case FileOutcome::Kind::Told:
        if (step.why == MixReason::NameTaken)
            step.other = holderOf(copy.name);
        m_order.decide(step);
        return true;
    case FileOutcome::Kind::FolderFull:
        if (goOn) {
            folderFull();
            m_result.fail(MixResult::Step::FolderFull, m_ctx.player.path(), copy.result);
        }
        return false;
    default:
        if (goOn)
            failUnlessGone(MixResult::Step::Copy, m_ctx.player.pathOf(copy.name).text(), copy.result);
        return false;
    }
}

fs::FileName MixActing::holderOf(const fs::FileName &name) const
{
    const fs::Entry holder = m_ctx.player.look(name);
    for (const MixInput::OnPlayer &file : m_ctx.input.player) {
        if (holder.isFile() && file.entry.isSameFileAs(holder))
            return file.name;
    }
    return {};
}

} // namespace tonvola
