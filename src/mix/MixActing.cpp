#include "mix/MixActing.h"

#include "mix/MixTree.h"
#include "platform/Medium.h"
#include "platform/WrittenRecord.h"

#include <algorithm>

namespace tonvola {

namespace {

// A look at the player's path costs as much as a small copy; it is taken this often at most.
constexpr qint64 lookForPlayerMs = 100;

// A batch of copies is flushed and named once it holds this much, or has waited this long:
// large enough that flushing a stick costs little per file, small enough that a cancel or a
// pulled stick loses little work.
constexpr qsizetype batchFiles = 128;
constexpr qint64 batchBytes = qint64(32) * 1024 * 1024;
constexpr qint64 batchMs = 1000;

} // namespace

MixActing::MixActing(const MixContext &context, const MixPlan &plan)
    : m_ctx(context), m_plan(plan), m_result(context.result),
      m_order([this](const MixStep &step) { reportStep(m_result, m_ctx.observer, step); })
{
    m_sinceLookedForPlayer.start();
}

void MixActing::failForRefusals() const
{
    if (m_result.status == MixResult::Status::Done && !m_result.refusedMovesBack.isEmpty())
        m_result.fail(MixResult::Step::MoveBack, m_refusedPath, m_refusedWhy);
}

bool MixActing::cancelled()
{
    if (m_result.status == MixResult::Status::Cancelled)
        return true;
    const std::atomic_bool *cancel = m_ctx.options.cancel;
    if (cancel && cancel->load(std::memory_order_relaxed)) {
        m_result.status = MixResult::Status::Cancelled;
        return true;
    }
    return false;
}

// The run stops here, but the next one plans with as many entries as the folder holds now, so
// that it frees what its copies take of them and the folder still rotates.
void MixActing::folderFull()
{
    if (const std::optional<qint64> used = fs::fatEntriesUsed(m_ctx.player))
        m_ctx.memory.folderFullAt(*used);
}

bool MixActing::playerGone()
{
    if (m_ctx.player.isReachable())
        return false;
    m_result.fail(MixResult::Step::PlayerGone, m_ctx.player.path(), {});
    return true;
}

bool MixActing::playerGoneLately()
{
    if (m_sinceLookedForPlayer.elapsed() < lookForPlayerMs)
        return false;
    m_sinceLookedForPlayer.start();
    return playerGone();
}

void MixActing::failUnlessGone(MixResult::Step step, const QString &path, const fs::FileResult &why)
{
    if (!playerGone())
        m_result.fail(step, path, why);
}

MixStep MixActing::stepOf(MixAction action, const fs::FileName &name, MixReason why)
{
    MixStep step;
    step.action = action;
    step.name = name;
    step.why = why;
    return step;
}

void MixActing::note(MixAction action, const fs::FileName &name, MixReason why)
{
    m_order.add(stepOf(action, name, why));
}

void MixActing::tookOff(const MixInput::OnPlayer &file)
{
    m_changedPlayer = true;
    m_freedOnPlayer = true;
    m_ctx.record.noteRemoved(file.name);
    m_ctx.now.set(file.key, file.name, false);
}

void MixActing::transferring(MixAction action, const fs::FileName &name, qint64 fileDone, qint64 fileSize)
{
    MixTransfer transfer;
    transfer.action = action;
    transfer.name = name;
    transfer.fileDone = fileDone;
    transfer.fileSize = fileSize;
    if (action == MixAction::Copied) {
        transfer.filesDone = m_copiesWritten;
        transfer.filesPlanned = m_plan.copies.size();
        transfer.bytesDone = m_bytesDone + fileDone;
        transfer.bytesPlanned = m_plan.copyBytes;
    } else {
        transfer.filesDone = m_movesDone;
        transfer.filesPlanned = m_movesPlanned;
    }
    m_ctx.observer.transferring(transfer);
}

fs::CopyOptions MixActing::copyOptions(MixAction action, const fs::FileName &name, const fs::Entry &expected)
{
    fs::CopyOptions options;
    options.cancel = m_ctx.options.cancel;
    options.expected = expected;
    options.progress = [this, action, name](qint64 copied, qint64 total) { transferring(action, name, copied, total); };
    return options;
}

bool MixActing::batchFull(const fs::CopyBatch &batch, const QElapsedTimer &sinceFirst)
{
    return batch.count() >= batchFiles || batch.bytes() >= batchBytes || sinceFirst.elapsed() >= batchMs;
}

bool MixActing::allNamed(const QList<fs::CopyBatch::Named> &named)
{
    return std::all_of(named.cbegin(), named.cend(), [](const fs::CopyBatch::Named &copy) { return copy.result.ok(); });
}

void MixActing::refused(const fs::FileName &name, const fs::FileResult &why, bool decidedLater)
{
    const MixStep step = stepOf(MixAction::KeptOnPlayer, name, MixReason::CollectionRefuses);
    if (m_result.refusedMovesBack.isEmpty()) {
        m_refusedPath = m_ctx.player.pathOf(name).text();
        m_refusedWhy = why;
    }
    m_result.refusedMovesBack.append(step);
    if (decidedLater)
        m_order.decide(step);
    else
        m_order.add(step);
}

const fs::Folder &MixActing::folderOf(const MixInput::Source &file) const
{
    return m_ctx.tree.folder(file.folder);
}

} // namespace tonvola
