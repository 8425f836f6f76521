#pragma once

#include "mix/FileOutcome.h"
#include "mix/MixContext.h"
#include "mix/MixEngine.h"
#include "mix/StepOrder.h"
#include "platform/Copy.h"

#include <QElapsedTimer>
#include <QSet>

namespace tonvola {

// Carries out a plan on the real folders: removals and moves back first (MixRemoval.cpp),
// copies after (MixCopying.cpp), each copy checked against the real free space before it is
// written. A failure ends the run at that step; what was done stays done.
class MixActing
{
public:
    MixActing(const MixContext &context, const MixPlan &plan);

    // False when the run ended early; the result says why.
    bool removeAndMoveBack();
    bool copy();
    [[nodiscard]] bool wroteToSource() const { return m_wroteToSource; }
    [[nodiscard]] bool changedPlayer() const { return m_changedPlayer; }
    // Whether files, or copies given up, were taken off either side.
    [[nodiscard]] bool freedOnPlayer() const { return m_freedOnPlayer; }
    [[nodiscard]] bool freedInSource() const { return m_freedInSource; }
    // Ends a run that went well as a failure when the collection refused a move back.
    void failForRefusals() const;

private:
    struct Pending {
        MixStep step;
        qsizetype playerIndex;
    };
    struct MovesBack;
    struct Copies;
    // What comes after one copy: the next, the same once more, or the end of the run.
    enum class Next { Copy, Again, End };

    // Shared by both halves (MixActing.cpp).
    bool cancelled();
    void folderFull();
    // Ends the run with "player gone" when the player folder no longer is where it was.
    bool playerGone();
    // The same, asked after work that went well, and only now and then.
    bool playerGoneLately();
    // The run ends at this step, as the player gone where it is.
    void failUnlessGone(MixResult::Step step, const QString &path, const fs::FileResult &why);
    [[nodiscard]] static MixStep stepOf(MixAction action, const fs::FileName &name, MixReason why);
    void note(MixAction action, const fs::FileName &name, MixReason why);
    // The player's file is gone; the step that took it is told by the caller.
    void tookOff(const MixInput::OnPlayer &file);
    void transferring(MixAction action, const fs::FileName &name, qint64 fileDone, qint64 fileSize);
    fs::CopyOptions copyOptions(MixAction action, const fs::FileName &name, const fs::Entry &expected);
    [[nodiscard]] static bool batchFull(const fs::CopyBatch &batch, const QElapsedTimer &sinceFirst);
    [[nodiscard]] static bool allNamed(const QList<fs::CopyBatch::Named> &named);
    // The collection refused the file a move back brought it: it stays on the player, the run
    // goes on and ends as a failure that names the first such file. `decidedLater` for a move
    // whose place in the order waits in its batch.
    void refused(const fs::FileName &name, const fs::FileResult &why, bool decidedLater = false);
    [[nodiscard]] const MixInput::OnPlayer &playerFile(qsizetype index) const
    {
        return m_ctx.input.player[static_cast<std::size_t>(index)];
    }
    [[nodiscard]] const MixInput::Source &sourceFile(qsizetype index) const
    {
        return m_ctx.input.source[static_cast<std::size_t>(index)];
    }
    [[nodiscard]] const fs::Folder &folderOf(const MixInput::Source &file) const;

    // Removals and moves back (MixRemoval.cpp).
    bool removeFromPlayer(const MixStep &step, qsizetype playerIndex);
    // Whether the collection's file that allowed a removal is still the one compared; tells why not.
    bool stillAsCompared(const MixInput::OnPlayer &file, const MixCompared &compared);
    bool moveBack(const MixStep &step, qsizetype playerIndex, MovesBack &batch);
    // A move back whose source is found where it would go, with the same bytes: the player's
    // copy is only taken off. False when the move is to be written.
    bool alreadyThere(const fs::Folder &to, const fs::FileName &back, const MixStep &step, qsizetype playerIndex);
    // A move back into a sub-folder first rids it of what a killed run left there.
    void cleanOnce(qsizetype folder, const fs::Folder &to);
    bool commitMovesBack(MixActing::MovesBack &batch);
    // One move back the batch named, or could not: the player's file goes, or the collection's
    // copy does. False when the run ends here; `goOn` false when it ended already.
    bool finishMoveBack(const fs::CopyBatch::Named &copy, const Pending &move, bool goOn, bool collectionGone);
    bool removeMoved(const fs::CopyBatch::Named &copy, const Pending &move, const fs::Folder &into);
    // A move: the collection keeps no second copy of a file that stays on the player.
    void dropCopy(const fs::Folder &into, const fs::FileName &name);

    // Copies (MixCopying.cpp).
    Next copyOne(const MixInput::Source &candidate, Copies &copies);
    fs::FileResult addCopy(const MixInput::Source &candidate, fs::CopyBatch &batch);
    bool staged(const MixInput::Source &candidate, Copies &copies);
    Next folderFullWhileAdding(Copies &copies, const fs::FileResult &why);
    bool commitCopies(fs::CopyBatch &batch);
    // One copy the batch named, or could not; false when the run ends with it.
    bool namedCopy(const fs::CopyBatch::Named &copy, qsizetype key, bool goOn);
    // The listed player file that holds a name another entry has taken (a FAT short name).
    fs::FileName holderOf(const fs::FileName &name) const;

    MixContext m_ctx;
    const MixPlan &m_plan;
    MixResult &m_result;
    StepOrder m_order;
    QElapsedTimer m_sinceLookedForPlayer;
    qsizetype m_movesPlanned = 0;
    qsizetype m_movesDone = 0;
    // Written, named or waiting for their names.
    qsizetype m_copiesWritten = 0;
    qint64 m_bytesDone = 0;
    // The keys of the copies waiting in the batch, in their order.
    QList<qsizetype> m_stagedKeys;
    bool m_wroteToSource = false;
    bool m_changedPlayer = false;
    bool m_freedOnPlayer = false;
    bool m_freedInSource = false;
    // The sub-folders a move back wrote into, each rid once of what a killed run left there.
    QSet<qsizetype> m_cleanedFolders;
    QString m_refusedPath;
    fs::FileResult m_refusedWhy;
};

} // namespace tonvola
