#include "mix/MixEngine.h"

#include "mix/MixRandom.h"
#include "platform/Copy.h"
#include "platform/Listing.h"
#include "platform/Medium.h"
#include "platform/MediumIdentity.h"
#include "platform/NameRules.h"
#include "platform/Path.h"
#include "platform/Temporary.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <deque>

namespace tonvola {

namespace {

Q_LOGGING_CATEGORY(lcMix, "tonvola.mix")

// The folder as its medium names it, so that the memory of the pair survives another mount path.
QByteArray identityOf(const fs::Folder &folder)
{
    const QByteArray identity = fs::mediumIdentity(folder.path());
    return identity.isEmpty() ? fs::nativePath(folder.path()) : identity;
}

MixObserver &silentObserver()
{
    static MixObserver observer;
    return observer;
}

// A batch of copies is flushed and named once it holds this much, or has waited this long:
// large enough that flushing a stick costs little per file, small enough that a cancel or a
// pulled stick loses little work.
constexpr qsizetype batchFiles = 128;
constexpr qint64 batchBytes = qint64(32) * 1024 * 1024;
constexpr qint64 batchMs = 1000;

bool allNamed(const QList<fs::CopyBatch::Named> &named)
{
    return std::all_of(named.cbegin(), named.cend(), [](const fs::CopyBatch::Named &copy) { return copy.result.ok(); });
}

// A look at the player's path costs as much as a small copy; it is taken this often at most.
constexpr qint64 lookForPlayerMs = 100;

MixReason reasonFor(fs::FileResult::Status status)
{
    switch (status) {
    case fs::FileResult::Status::InUse:
        return MixReason::InUse;
    case fs::FileResult::Status::SourceChanged:
        return MixReason::Changed;
    case fs::FileResult::Status::NotFound:
        return MixReason::GoneFromCollection;
    case fs::FileResult::Status::NotAFile:
        return MixReason::NotAFile;
    case fs::FileResult::Status::TooLarge:
        return MixReason::TooLarge;
    case fs::FileResult::Status::NameRefused:
        return MixReason::NameRefused;
    case fs::FileResult::Status::AlreadyExists:
    case fs::FileResult::Status::NameTaken:
        return MixReason::NameTaken;
    default:
        return MixReason::None;
    }
}

// What the system could not make sure of, though the step went well: said once, beside the
// summary, however often it comes up.
void addNote(MixResult &result, const fs::FileResult &done)
{
    if (done.ok() && !done.reason.isEmpty() && !result.notes.contains(done.reason))
        result.notes.append(done.reason);
}

} // namespace

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
    if (!problem().isEmpty() || counts.noRoom > 0 || counts.keptOnPlayer > 0 || !skipped.isEmpty())
        return true;
    const std::optional<NothingCopied> why = whyNothingCopied();
    return why == NothingCopied::PassedOver || why == NothingCopied::NoRoom;
}

// Carries out a plan on the real folders.
class MixEngine::Acting
{
public:
    Acting(MixEngine &engine, const MixPlan &plan, MixResult &result)
        : m_engine(engine), m_plan(plan), m_result(result), m_in(engine.m_input), m_source(engine.m_source),
          m_player(engine.m_player)
    {
        m_sinceLookedForPlayer.start();
    }

    // False when the run ended early; the result says why.
    bool removeAndMoveBack();
    bool copy();
    [[nodiscard]] bool wroteToSource() const { return m_wroteToSource; }
    [[nodiscard]] bool changedPlayer() const { return m_changedPlayer; }
    // Whether files, or copies given up, were taken off either side.
    [[nodiscard]] bool freedOnPlayer() const { return m_freedOnPlayer; }
    [[nodiscard]] bool freedInSource() const { return m_freedInSource; }
    // Ends a run that went well as a failure when the collection refused a move back.
    void failForRefusals()
    {
        if (m_result.status == MixResult::Status::Done && !m_result.refusedMovesBack.isEmpty())
            fail(MixResult::Step::MoveBack, m_refusedPath, m_refusedReason);
    }

private:
    struct Pending {
        MixStep step;
        qsizetype playerIndex;
    };
    struct Queued {
        bool waiting = false;
        MixStep step;
    };

    bool cancelled()
    {
        const std::atomic_bool *cancel = m_engine.m_options.cancel;
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            m_result.status = MixResult::Status::Cancelled;
            return true;
        }
        return false;
    }
    // The run stops here, but the next one plans with as many entries as the folder holds now,
    // so that it frees what its copies take of them and the folder still rotates.
    void folderFull()
    {
        if (const std::optional<qint64> used = fs::fatEntriesUsed(m_player))
            m_engine.m_memory.folderFullAt(*used);
    }

    void fail(MixResult::Step step, const QString &path, const QString &reason)
    {
        m_result.status = MixResult::Status::Failed;
        m_result.failedStep = step;
        m_result.path = path;
        m_result.reason = reason;
    }
    // Ends the run with "player gone" when the player folder no longer is where it was.
    bool playerGone()
    {
        if (m_player.isReachable())
            return false;
        fail(MixResult::Step::PlayerGone, m_player.path(), QString());
        return true;
    }
    // The same, asked after work that went well, and only now and then.
    bool playerGoneLately()
    {
        if (m_sinceLookedForPlayer.elapsed() < lookForPlayerMs)
            return false;
        m_sinceLookedForPlayer.start();
        return playerGone();
    }
    // Outcomes are reported in the order of the plan's steps, also where a copy's outcome is
    // known only once its batch is named: a run and its dry run tell the same lines.
    void note(MixAction action, const fs::FileName &name, MixReason why, const fs::FileName &other = {})
    {
        MixStep step;
        step.action = action;
        step.name = name;
        step.why = why;
        step.other = other;
        m_queue.push_back({false, std::move(step)});
        reportReady();
    }
    void done(const MixStep &step, qsizetype key, bool present)
    {
        m_engine.nowOnPlayer(key, step.name, present);
        m_queue.push_back({false, step});
        reportReady();
    }
    // A place in the order for the outcome of a copy that waits in its batch.
    void waiting() { m_queue.push_back({true, {}}); }
    // The outcome of the first copy still waiting.
    void decided(const MixStep &step)
    {
        for (Queued &queued : m_queue) {
            if (queued.waiting) {
                queued = {false, step};
                break;
            }
        }
        reportReady();
    }
    void reportReady()
    {
        while (!m_queue.empty() && !m_queue.front().waiting) {
            m_engine.report(m_result, m_queue.front().step);
            m_queue.pop_front();
        }
    }
    void transferring(MixAction action, const fs::FileName &name, qint64 fileDone, qint64 fileSize)
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
        m_engine.m_observer->transferring(transfer);
    }
    fs::CopyOptions copyOptions(MixAction action, const fs::FileName &name, const fs::Entry &expected)
    {
        fs::CopyOptions options;
        options.cancel = m_engine.m_options.cancel;
        options.expected = expected;
        options.progress = [this, action, name](qint64 copied, qint64 total) {
            transferring(action, name, copied, total);
        };
        return options;
    }
    // The collection refused the file a move back brought it: it stays on the player, the run
    // goes on and ends as a failure that names the first such file. `decidedLater` for a move
    // whose place in the order waits in its batch.
    void refused(const fs::FileName &name, const QString &reason, bool decidedLater = false)
    {
        MixStep step;
        step.action = MixAction::KeptOnPlayer;
        step.name = name;
        step.why = MixReason::CollectionRefuses;
        if (m_result.refusedMovesBack.isEmpty()) {
            m_refusedPath = m_player.pathOf(name).text();
            m_refusedReason = reason;
        }
        m_result.refusedMovesBack.append(step);
        if (decidedLater) {
            decided(step);
        } else {
            m_queue.push_back({false, std::move(step)});
            reportReady();
        }
    }
    static QString collectionGone() { return QStringLiteral("Das StammVerzeichnis ist nicht mehr erreichbar"); }
    bool removeFromPlayer(const MixStep &step, qsizetype playerIndex);
    // A move back whose source is found where it would go, with the same bytes: the player's
    // copy is only taken off. False when the move is to be written.
    bool alreadyThere(const fs::Folder &to, const fs::FileName &back, const MixStep &step, qsizetype playerIndex);
    bool commitMovesBack(fs::CopyBatch &batch, QList<Pending> &pending);
    bool commitCopies(fs::CopyBatch &batch);
    // The listed player file that holds a name another entry has taken (a FAT short name).
    fs::FileName holderOf(const fs::FileName &name) const;

    MixEngine &m_engine;
    const MixPlan &m_plan;
    MixResult &m_result;
    const MixInput &m_in;
    const fs::Folder &m_source;
    const fs::Folder &m_player;
    QElapsedTimer m_sinceLookedForPlayer;
    qsizetype m_movesPlanned = 0;
    qsizetype m_movesDone = 0;
    qsizetype m_copiesDone = 0;
    // Written, named or waiting for their names.
    qsizetype m_copiesWritten = 0;
    qint64 m_bytesDone = 0;
    // The keys of the copies waiting in the batch, in their order.
    QList<qsizetype> m_stagedKeys;
    std::deque<Queued> m_queue;
    bool m_wroteToSource = false;
    bool m_changedPlayer = false;
    bool m_freedOnPlayer = false;
    bool m_freedInSource = false;
    // The sub-folders a move back wrote into, each rid once of what a killed run left there.
    QSet<qsizetype> m_cleanedFolders;
    QString m_refusedPath;
    QString m_refusedReason;
};

bool MixEngine::Acting::removeFromPlayer(const MixStep &step, qsizetype playerIndex)
{
    const MixInput::OnPlayer &file = m_in.player[static_cast<std::size_t>(playerIndex)];
    fs::Entry expected = file.entry;
    if (step.action != MixAction::RemovedBroken) {
        // The collection's file that allowed it must still be the one compared.
        const auto compared = m_engine.m_compared.constFind(playerIndex);
        if (compared == m_engine.m_compared.cend())
            return true;
        const MixInput::Source &original = m_in.source[static_cast<std::size_t>(compared->sourceIndex)];
        const fs::Folder &from = m_engine.folderOf(original);
        const fs::FileName &inCollection = ownName(original);
        expected = compared->player;
        if (compared->tagsLeft) {
            fs::Entry source;
            fs::Entry player;
            const fs::Likeness likeness =
                fs::compareFiles(from, inCollection, m_player, file.name, &source, &player, fs::Span::Tags);
            if (likeness != fs::Likeness::SameBytes || !source.isUnchangedSince(compared->source)
                || !player.isUnchangedSince(compared->player)) {
                note(MixAction::KeptOnPlayer, file.name,
                     likeness == fs::Likeness::SameBytes ? MixReason::Changed : MixReason::OtherContent);
                return true;
            }
        } else if (!from.look(inCollection).isUnchangedSince(compared->source)
                   && fs::compareFiles(from, inCollection, m_player, file.name) != fs::Likeness::SameBytes) {
            note(MixAction::KeptOnPlayer, file.name, MixReason::Changed);
            return true;
        }
    }
    const fs::FileResult removed = m_player.removeIfUnchanged(file.name, expected);
    switch (removed.status) {
    case fs::FileResult::Status::Ok:
        m_changedPlayer = true;
        m_freedOnPlayer = true;
        m_engine.m_record->noteRemoved(file.name);
        done(step, file.key, false);
        return !playerGoneLately();
    case fs::FileResult::Status::SourceChanged:
        note(MixAction::KeptOnPlayer, file.name, MixReason::Changed);
        return true;
    case fs::FileResult::Status::PermissionDenied:
        if (playerGone())
            return false;
        note(MixAction::KeptOnPlayer, file.name, MixReason::WriteProtected);
        return true;
    case fs::FileResult::Status::NotFound:
        // Taken away by another program, or gone with its medium.
        return !playerGone();
    default:
        if (!playerGone())
            fail(MixResult::Step::Delete, m_player.pathOf(file.name).text(), removed.reason);
        return false;
    }
}

bool MixEngine::Acting::alreadyThere(const fs::Folder &to, const fs::FileName &back, const MixStep &step,
                                     qsizetype playerIndex)
{
    const MixInput::OnPlayer &file = m_in.player[static_cast<std::size_t>(playerIndex)];
    fs::Entry seen;
    if (!to.look(back).isFile()
        || fs::compareFiles(to, back, m_player, file.name, nullptr, &seen) != fs::Likeness::SameBytes)
        return false;
    const fs::FileResult removed = m_player.removeIfUnchanged(file.name, seen);
    if (!removed.ok()) {
        note(MixAction::KeptOnPlayer, file.name,
             removed.status == fs::FileResult::Status::PermissionDenied ? MixReason::WriteProtected
                                                                        : MixReason::Changed);
        return true;
    }
    m_changedPlayer = true;
    m_freedOnPlayer = true;
    m_engine.m_record->noteRemoved(file.name);
    MixStep taken = step;
    taken.alreadyInCollection = true;
    done(taken, file.key, false);
    return true;
}

bool MixEngine::Acting::removeAndMoveBack()
{
    for (const MixStep &step : m_plan.removals)
        m_movesPlanned += step.action == MixAction::MovedBack && !step.alreadyInCollection ? 1 : 0;
    fs::CopyBatch batch(m_source);
    QList<Pending> pending;
    QElapsedTimer sinceFirst;
    for (qsizetype k = 0; k < m_plan.removals.size(); ++k) {
        if (cancelled())
            break;
        const MixStep &step = m_plan.removals[k];
        const qsizetype j = m_plan.removalIndex[k];
        if (step.action != MixAction::MovedBack || step.alreadyInCollection) {
            if (!removeFromPlayer(step, j))
                return false;
            continue;
        }
        const MixInput::OnPlayer &file = m_in.player[static_cast<std::size_t>(j)];
        const auto at = static_cast<std::size_t>(j);
        const qsizetype into = at < m_engine.m_backInto.size() ? m_engine.m_backInto[at] : -1;
        const fs::Folder &to = m_engine.m_tree->folder(into);
        // A move back that was killed midway left its hidden copy in the folder it went to; the
        // collection folder itself was cleaned when the run began.
        if (into >= 0 && !m_cleanedFolders.contains(into)) {
            m_cleanedFolders.insert(into);
            m_freedInSource = fs::removeLeftovers(to) || m_freedInSource;
        }
        const fs::FileName &back = file.backName.isEmpty() ? file.name : file.backName;
        if (at < m_engine.m_backMayBeThere.size() && m_engine.m_backMayBeThere[at] && alreadyThere(to, back, step, j))
            continue;
        transferring(MixAction::MovedBack, file.name, 0, file.entry.size);
        fs::CopyOptions options = copyOptions(MixAction::MovedBack, file.name, file.entry);
        options.into = &to;
        options.as = back;
        const fs::FileResult added = batch.add(m_player, file.name, options);
        m_freedInSource = m_freedInSource || !added.ok();
        switch (added.status) {
        case fs::FileResult::Status::Ok:
            if (pending.isEmpty())
                sinceFirst.start();
            pending.append({step, j});
            waiting();
            if ((batch.count() >= batchFiles || batch.bytes() >= batchBytes || sinceFirst.elapsed() >= batchMs)
                && !commitMovesBack(batch, pending))
                return false;
            continue;
        case fs::FileResult::Status::Cancelled:
            m_result.status = MixResult::Status::Cancelled;
            break;
        case fs::FileResult::Status::InUse:
        case fs::FileResult::Status::SourceChanged:
            note(MixAction::KeptOnPlayer, file.name, reasonFor(added.status));
            continue;
        case fs::FileResult::Status::NotFound:
            if (playerGone())
                return false;
            // Taken away by another program; or the collection is gone, which refuses it.
            if (!m_source.isReachable())
                refused(file.name, collectionGone());
            continue;
        case fs::FileResult::Status::AlreadyExists:
            // Another entry holds the name there (a folder, a link): the file stays where it is.
            note(MixAction::KeptOnPlayer, file.name, MixReason::CollectionRefuses);
            continue;
        default:
            if (playerGone())
                return false;
            // Read-only, full, a name it cannot hold: the file stays where it is, the run goes on.
            refused(file.name, added.reason);
            continue;
        }
        break;
    }
    // What is written is whole: it is named and its moves finished, also after a cancel.
    return commitMovesBack(batch, pending) && m_result.status != MixResult::Status::Cancelled;
}

bool MixEngine::Acting::commitMovesBack(fs::CopyBatch &batch, QList<Pending> &pending)
{
    // The names must be on the collection's medium before the player's files go.
    const QList<fs::CopyBatch::Named> named = batch.commit(nullptr, fs::CopyBatch::Names::Flushed);
    // The folders the batch wrote into are used below; those of the next batch are opened anew.
    const auto trimmed = qScopeGuard([this] { m_engine.m_tree->trim(); });
    m_freedInSource = m_freedInSource || !allNamed(named);
    const QList<Pending> moves = std::exchange(pending, {});
    const auto kept = [](const fs::FileName &name, MixReason why) {
        MixStep step;
        step.action = MixAction::KeptOnPlayer;
        step.name = name;
        step.why = why;
        return step;
    };
    // A collection that is not where it was any more (unmounted, pulled) may keep nothing: the
    // player's files stay.
    const bool collectionGone = !named.isEmpty() && !m_source.isReachable();
    bool goOn = true;
    for (qsizetype k = 0; k < named.size(); ++k) {
        const fs::CopyBatch::Named &copy = named[k];
        const qsizetype j = moves[k].playerIndex;
        // The file's name on the player; it may take another one back in the collection.
        const fs::FileName &onPlayer = m_in.player[static_cast<std::size_t>(j)].name;
        const fs::Folder &into = copy.folder ? *copy.folder : m_source;
        if (!goOn || !copy.result.ok() || collectionGone) {
            // A move: the collection keeps no second copy, perhaps not whole, of a file that stays
            // on the player. A name the batch could not give is another file's.
            if (copy.named) {
                m_freedInSource = true;
                (void)into.remove(copy.name);
            }
            // Its place in the order is given up: the run ends here.
            if (!goOn)
                continue;
            if (playerGone()) {
                goOn = false;
                continue;
            }
            if (copy.result.status == fs::FileResult::Status::AlreadyExists && !collectionGone)
                decided(kept(onPlayer, MixReason::CollectionRefuses));
            else
                refused(onPlayer, collectionGone ? this->collectionGone() : copy.result.reason, true);
            continue;
        }
        m_wroteToSource = true;
        ++m_movesDone;
        addNote(m_result, copy.result);
        const fs::FileResult removed = m_player.removeIfUnchanged(onPlayer, copy.source);
        if (removed.ok()) {
            m_changedPlayer = true;
            m_freedOnPlayer = true;
            m_engine.m_record->noteRemoved(onPlayer);
            m_engine.nowOnPlayer(m_in.player[static_cast<std::size_t>(j)].key, onPlayer, false);
            decided(moves[k].step);
            continue;
        }
        // A move: the collection does not keep a second copy of a file that stays on the player.
        m_freedInSource = true;
        (void)into.remove(copy.name);
        switch (removed.status) {
        case fs::FileResult::Status::PermissionDenied:
            decided(kept(onPlayer, MixReason::WriteProtected));
            break;
        case fs::FileResult::Status::SourceChanged:
        case fs::FileResult::Status::NotFound:
            decided(kept(onPlayer, MixReason::Changed));
            break;
        default:
            if (!playerGone())
                fail(MixResult::Step::Delete, m_player.pathOf(onPlayer).text(), removed.reason);
            goOn = false;
        }
    }
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(), [](const Queued &q) { return q.waiting; }),
                  m_queue.end());
    reportReady();
    return goOn;
}

fs::FileName MixEngine::Acting::holderOf(const fs::FileName &name) const
{
    const fs::Entry holder = m_player.look(name);
    for (const MixInput::OnPlayer &file : m_in.player) {
        if (holder.isFile() && file.entry.isSameFileAs(holder))
            return file.name;
    }
    return {};
}

bool MixEngine::Acting::copy()
{
    fs::CopyBatch batch(m_player);
    fs::FreeSpace space(m_player);
    QElapsedTimer sinceFirst;
    bool retried = false;
    for (qsizetype k = 0; k < m_plan.copies.size(); ++k) {
        if (cancelled())
            break;
        const MixInput::Source &candidate = m_in.source[static_cast<std::size_t>(m_plan.copyIndex[k])];
        const std::optional<qint64> available = space.available();
        if (!available) {
            if (!playerGone())
                fail(MixResult::Step::FreeSpace, m_player.path(), QStringLiteral("Der Datenträger antwortet nicht"));
            return false;
        }
        if (!fitsOnPlayer(candidate.entry.size, *available)) {
            note(MixAction::NoRoom, candidate.name, MixReason::None);
            continue;
        }
        transferring(MixAction::Copied, candidate.name, 0, candidate.entry.size);
        fs::CopyOptions options = copyOptions(MixAction::Copied, candidate.name, candidate.entry);
        options.as = candidate.name;
        if (candidate.folder >= 0)
            options.origin = m_engine.m_tree->path(candidate.folder) + '/' + ownName(candidate).native();
        const fs::FileResult added = batch.add(m_engine.folderOf(candidate), ownName(candidate), options);
        // The batch keeps nothing of the folder it read from.
        m_engine.m_tree->trim();
        m_freedOnPlayer = m_freedOnPlayer || !added.ok();
        switch (added.status) {
        case fs::FileResult::Status::Ok:
            m_stagedKeys.append(candidate.key);
            waiting();
            space.wrote(candidate.entry.size);
            m_bytesDone += candidate.entry.size;
            ++m_copiesWritten;
            if (batch.count() == 1)
                sinceFirst.start();
            if ((batch.count() >= batchFiles || batch.bytes() >= batchBytes || sinceFirst.elapsed() >= batchMs)
                && !commitCopies(batch))
                return false;
            if (playerGoneLately())
                return false;
            retried = false;
            continue;
        case fs::FileResult::Status::Cancelled:
            m_result.status = MixResult::Status::Cancelled;
            break;
        case fs::FileResult::Status::NoSpace:
            if (playerGone())
                return false;
            // A full player is what the user asked for; smaller files may still fit.
            space.lookAgain();
            note(MixAction::NoRoom, candidate.name, MixReason::None);
            continue;
        case fs::FileResult::Status::FolderFull:
            // The waiting copies hold entries of their own under temporary names; named, they
            // may leave room for one more.
            if (!retried && !batch.isEmpty()) {
                if (!commitCopies(batch))
                    return false;
                retried = true;
                --k;
                continue;
            }
            folderFull();
            (void)commitCopies(batch);
            fail(MixResult::Step::FolderFull, m_player.path(), added.reason);
            return false;
        default:
            if (const MixReason why = reasonFor(added.status); why != MixReason::None) {
                note(MixAction::Skipped, candidate.name, why);
                continue;
            }
            if (!playerGone())
                fail(MixResult::Step::Copy, m_engine.folderOf(candidate).pathOf(ownName(candidate)).text(),
                     added.reason);
            (void)commitCopies(batch);
            return false;
        }
        break;
    }
    return commitCopies(batch) && m_result.status != MixResult::Status::Cancelled;
}

bool MixEngine::Acting::commitCopies(fs::CopyBatch &batch)
{
    if (batch.isEmpty())
        return true;
    const QList<fs::CopyBatch::Named> named = batch.commit(m_engine.m_record.get());
    m_freedOnPlayer = m_freedOnPlayer || !allNamed(named);
    m_changedPlayer = true;
    const QList<qsizetype> keys = std::exchange(m_stagedKeys, {});
    bool goOn = true;
    for (qsizetype k = 0; k < named.size(); ++k) {
        const fs::CopyBatch::Named &copy = named[k];
        MixStep step;
        step.name = copy.name;
        switch (copy.result.status) {
        case fs::FileResult::Status::Ok:
            ++m_copiesDone;
            m_result.copiedBytes += copy.source.size;
            addNote(m_result, copy.result);
            step.action = MixAction::Copied;
            step.size = copy.source.size;
            m_engine.nowOnPlayer(keys[k], copy.name, true);
            decided(step);
            continue;
        case fs::FileResult::Status::AlreadyExists:
            step.action = MixAction::Skipped;
            step.why = MixReason::NameTaken;
            step.other = holderOf(copy.name);
            decided(step);
            continue;
        case fs::FileResult::Status::NameRefused:
            step.action = MixAction::Skipped;
            step.why = MixReason::NameRefused;
            decided(step);
            continue;
        case fs::FileResult::Status::NoSpace:
            step.action = MixAction::NoRoom;
            decided(step);
            continue;
        case fs::FileResult::Status::FolderFull:
            if (goOn) {
                folderFull();
                fail(MixResult::Step::FolderFull, m_player.path(), copy.result.reason);
            }
            break;
        default:
            if (goOn && !playerGone())
                fail(MixResult::Step::Copy, m_player.pathOf(copy.name).text(), copy.result.reason);
        }
        goOn = false;
    }
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(), [](const Queued &q) { return q.waiting; }),
                  m_queue.end());
    reportReady();
    return goOn;
}

MixEngine::MixEngine(MixOptions options, MixObserver *observer)
    : m_options(std::move(options)), m_observer(observer ? observer : &silentObserver())
{}

MixEngine::~MixEngine() = default;

void MixEngine::report(MixResult &result, const MixStep &step)
{
    result.counts.add(step);
    if (step.action == MixAction::Skipped)
        result.skipped.append(step);
    const bool plain = step.action == MixAction::Copied || step.action == MixAction::TakenOff
                       || (step.action == MixAction::MovedBack && step.alreadyInCollection);
    if (!plain)
        result.named.append(step);
    m_observer->acted(step);
}

void MixEngine::nowOnPlayer(qsizetype key, const fs::FileName &name, bool present)
{
    if (key < 0 || key >= static_cast<qsizetype>(m_presentNow.size()))
        return;
    m_presentNow[static_cast<std::size_t>(key)] = present ? 1 : 0;
    m_nameOfKey[static_cast<std::size_t>(key)] = name;
}

fs::FileNames MixEngine::playerNames() const
{
    fs::FileNames names;
    // Sent to the window while the run goes on: exactly as long as needed, with no room to grow.
    names.reserve(std::count(m_presentNow.cbegin(), m_presentNow.cend(), char(1)));
    for (std::size_t key = 0; key < m_presentNow.size(); ++key) {
        if (m_presentNow[key])
            names.append(m_nameOfKey[key]);
    }
    return names;
}

MixResult MixEngine::run()
{
    MixResult result;
    result.dryRun = m_options.dryRun;
    result.seed = m_options.seed.value_or(MixRandom::seedFromClock());
    if (!open(result))
        return result;
    // A dry run changes nothing, so it may look on while a fill runs.
    std::optional<fs::PlayerLock> lock;
    if (!read(m_input, result, lock))
        return result;

    const MixPlan plan = makeMixPlan(m_input, result.seed, m_options.exchangePercent,
                                     [this](qsizetype i, qsizetype j) { return compare(i, j); });
    result.sourceCount = plan.sourceCount;
    result.start = plan.start;
    result.last = plan.last;
    result.visited = plan.sourceCount;
    result.plannedCopies = plan.copies.size();
    result.plannedBytes = plan.copyBytes;
    result.freeBytes = m_input.freeBytes;
    result.newInCollection = std::count_if(m_input.source.begin(), m_input.source.end(), [this](const auto &file) {
        return file.key < 0 || !m_presentNow[static_cast<std::size_t>(file.key)];
    });
    if (plan.sourceCount > 0) {
        const MixInput::Source &last = m_input.source[static_cast<std::size_t>(plan.last)];
        result.lastSelected = folderOf(last).pathOf(ownName(last));
    }

    // The window's list shows the collection folder's own files, with sub-folders too.
    fs::FileNames sourceNames;
    sourceNames.reserve(static_cast<qsizetype>(m_input.source.size()));
    for (std::size_t i = 0; i < m_input.source.size(); ++i) {
        const MixInput::Source &file = m_input.source[i];
        if (file.folder >= 0)
            continue;
        if (m_options.subfolders && static_cast<qsizetype>(i) == plan.last)
            result.last = sourceNames.size();
        sourceNames.append(file.name);
    }
    if (m_options.subfolders) {
        result.treeFiles = static_cast<qsizetype>(m_input.source.size());
        if (plan.sourceCount > 0 && m_input.source[static_cast<std::size_t>(plan.last)].folder >= 0)
            result.last = -1;
    }
    m_observer->started(sourceNames, playerNames(), plan.start);
    m_observer->planned(plan);
    for (const MixStep &step : m_treeNotes)
        report(result, step);
    for (const MixStep &step : plan.notes)
        report(result, step);

    if (m_options.dryRun) {
        for (const QList<MixStep> *steps : {&plan.removals, &plan.copies}) {
            for (const MixStep &step : *steps)
                report(result, step);
        }
        return result;
    }

    Acting acting(*this, plan, result);
    (void)(acting.removeAndMoveBack() && acting.copy());
    // Nothing is written out to a player that is gone, nor is a run that lost it a good one.
    if (result.failedStep == MixResult::Step::PlayerGone || !m_player.isReachable()) {
        result.status = MixResult::Status::Failed;
        result.failedStep = MixResult::Step::PlayerGone;
        return result;
    }
    // The next run brings first what this one left in the collection; a cancelled run did not
    // get round to its choice, so it leaves the order as it found it.
    if (result.status != MixResult::Status::Cancelled) {
        const QString problem = m_memory.save(
            static_cast<qsizetype>(m_input.source.size()),
            [this](qsizetype i) { return m_input.source[static_cast<std::size_t>(i)].name; },
            [this](qsizetype i) {
                return m_presentNow[static_cast<std::size_t>(m_input.source[static_cast<std::size_t>(i)].key)] != 0;
            });
        if (!problem.isEmpty())
            qCWarning(lcMix) << "order of the next runs not kept:" << problem;
    }
    // Forgets names that are gone, so that a file of the user's may take them.
    QSet<QByteArray> present;
    for (const fs::FileName &name : m_player.mp3Files(fs::Folder::Order::None).names)
        present.insert(name.native());
    const bool recordRewritten =
        m_record->keepOnly([&present](const fs::FileName &name) { return present.contains(name.native()); });

    // Players are pulled out as soon as the run says it is over, so what it wrote, also
    // before a failure or a cancel, has to be on the medium by then.
    if (!acting.changedPlayer() && !acting.wroteToSource()) {
        acting.failForRefusals();
        return result;
    }
    m_observer->flushing();
    const auto flushed = [&](const fs::Folder &folder, const QList<int> &files, bool freed) {
        const bool cancelled = result.status == MixResult::Status::Cancelled;
        const fs::FileResult done = fs::flush(folder, files, freed || cancelled ? fs::Freed::Room : fs::Freed::Nothing);
        addNote(result, done);
        if (!done.ok() && result.status != MixResult::Status::Failed) {
            result.status = MixResult::Status::Failed;
            result.failedStep = MixResult::Step::Flush;
            result.path = folder.path();
            result.reason = done.reason;
        }
    };
    if (acting.changedPlayer())
        flushed(m_player, {m_record->handle()}, acting.freedOnPlayer() || m_leftoversOnPlayer || recordRewritten);
    if (acting.wroteToSource())
        flushed(m_source, {}, acting.freedInSource() || m_leftoversInSource);
    acting.failForRefusals();
    return result;
}

bool MixEngine::open(MixResult &result)
{
    m_source = fs::Folder(m_options.source);
    m_player = fs::Folder(m_options.player);
    for (const fs::Folder *folder : {&m_source, &m_player}) {
        if (!folder->isOpen()) {
            result.status = folder->opened().status == fs::FileResult::Status::NotFound
                                ? MixResult::Status::FolderMissing
                                : MixResult::Status::FolderUnreadable;
            result.path = folder->path();
            result.reason = folder->opened().reason;
            return false;
        }
    }
    // Asked of the medium, not of the paths: the same folder reached by another spelling or a
    // link would otherwise have its files taken for repeats and deleted.
    if (fs::isSameFolder(m_source, m_player)) {
        result.status = MixResult::Status::SameFolder;
        return false;
    }
    m_tree = std::make_unique<MixTree>(m_source);
    return true;
}

bool MixEngine::read(MixInput &input, MixResult &result, std::optional<fs::PlayerLock> &lock)
{
    // Both lists before anything is touched: a folder that cannot be read is no empty folder.
    fs::Listing source = m_source.mp3Files();
    fs::Listing player = m_player.mp3Files();
    for (const auto &[folder, listing] : {std::pair{&m_source, &source}, std::pair{&m_player, &player}}) {
        if (!listing->result.ok()) {
            result.status = MixResult::Status::FolderUnreadable;
            result.path = folder->path();
            result.reason = listing->result.reason;
            return false;
        }
    }
    // A collection of artist and album folders would fill nothing, and not say why.
    if (!m_options.subfolders && source.names.isEmpty() && hasMp3Below(m_source)) {
        result.status = MixResult::Status::OnlyInSubfolders;
        result.path = m_source.path();
        return false;
    }
    const bool dryRun = m_options.dryRun;
    m_playerCase = fs::letterCase(m_player, player.names,
                                  dryRun ? fs::CaseProbe::ListedNamesOnly : fs::CaseProbe::MayWriteProbeFile);
    if (!dryRun) {
        lock.emplace(m_player, m_playerCase);
        if (lock->heldElsewhere()) {
            result.status = MixResult::Status::PlayerBusy;
            return false;
        }
        // A fill started meanwhile through another path would not be kept off.
        if (const QString why = lock->notTaken(); !why.isEmpty())
            result.notes.append(
                QStringLiteral("der Player ließ sich nicht gegen eine zweite Füllung sperren (%1)").arg(why));
        // A temporary file whose writer is gone was left by a run that was killed; one whose
        // writer lives (another fill that moves files back into this collection) stays.
        m_leftoversOnPlayer = fs::removeLeftovers(m_player);
        m_leftoversInSource = fs::removeLeftovers(m_source);
    }

    if (m_options.subfolders)
        readTree(source);
    m_record = std::make_unique<fs::WrittenRecord>(m_player);
    // A look at a file on a stick in user space is a round trip to its process: thousands of
    // them take seconds, which the window and the terminal show.
    MixPreparing looking;
    looking.total = source.names.size() + player.names.size();
    const auto looked = [&] {
        if (++looking.done % 256 == 0)
            m_observer->preparing(looking);
    };
    input.source.resize(source.names.size());
    for (qsizetype i = 0; i < source.names.size(); ++i) {
        MixInput::Source &file = input.source[static_cast<std::size_t>(i)];
        file.name = source.names[i];
        if (m_treeFiles.empty()) {
            file.entry = m_source.look(file.name);
        } else {
            // Looked at by the walk, while each folder was open once.
            const MixTree::File &where = m_treeFiles[static_cast<std::size_t>(i)];
            file.folder = where.folder;
            if (!(where.own == file.name))
                file.own = where.own;
            file.entry = where.entry;
        }
        looked();
    }
    m_treeFiles = {};
    waitForFreshFiles(input);
    input.player.resize(player.names.size());
    for (qsizetype j = 0; j < player.names.size(); ++j) {
        MixInput::OnPlayer &file = input.player[static_cast<std::size_t>(j)];
        file.name = player.names[j];
        file.entry = m_player.look(file.name);
        file.broken = m_record->isBrokenCopy(file.name, file.entry);
        looked();
        file.writtenAtS = m_record->writtenAt(file.name);
    }
    input.assignKeys(source.keys, player.keys, m_playerCase);
    if (m_options.subfolders)
        followOrigins(input);
    confirmBrokenCopies(input);
    m_memory = MixMemory(identityOf(m_source), identityOf(m_player));
    for (MixInput::Source &file : input.source)
        file.lastRun = m_memory.lastRun(file.name);
    // The memory knows the collection's names; a player file is the collection file of its key.
    std::vector<qsizetype> sourceOf(static_cast<std::size_t>(input.keyCount), -1);
    for (qsizetype i = 0; i < static_cast<qsizetype>(input.source.size()); ++i)
        sourceOf[static_cast<std::size_t>(input.source[static_cast<std::size_t>(i)].key)] = i;
    for (MixInput::OnPlayer &file : input.player) {
        const qsizetype i = sourceOf[static_cast<std::size_t>(file.key)];
        if (i < 0)
            continue;
        const MixInput::Source &original = input.source[static_cast<std::size_t>(i)];
        file.arrivedRun = m_memory.arrivedIn(original.name);
        file.vouched = !file.broken && m_record->vouchesFor(file.name, file.entry, original.entry);
    }
    findWayBack(input, sourceOf);

    const std::optional<qint64> available = fs::availableBytes(m_player);
    if (!available) {
        result.status = MixResult::Status::Failed;
        result.failedStep = MixResult::Step::FreeSpace;
        result.path = m_player.path();
        result.reason = QStringLiteral("Der Datenträger antwortet nicht");
        return false;
    }
    input.freeBytes = *available;
    if (const fs::Entry record = m_player.look(fs::WrittenRecord::fileName()); record.isFile())
        input.recordBytes = record.size;
    if (const qint64 most = m_memory.folderEntries(); most > 0) {
        if (const std::optional<qint64> used = fs::fatEntriesUsed(m_player)) {
            // A copy is written under its temporary name before it gets its own, and the record
            // may be new.
            qint64 setAside = fs::fatEntriesFor(fs::FileName::fromNative(fs::temporaryName(fs::Temporary::Copy, 0)));
            if (input.recordBytes < 0)
                setAside += fs::fatEntriesFor(fs::WrittenRecord::fileName());
            input.freeEntries = std::max<qint64>(0, most - *used - setAside);
        }
    }
    input.cluster = fs::allocationUnit(m_player);
    input.largestFile = fs::largestFile(m_player);
    input.playerKeepsFatNames = fs::keepsFatNames(m_player);
    input.collectionNameMax = fs::longestName(m_source);
    input.collectionKeepsFatNames = fs::keepsFatNames(m_source);

    m_nameOfKey.assign(static_cast<std::size_t>(input.keyCount), fs::FileName());
    m_presentNow.assign(static_cast<std::size_t>(input.keyCount), 0);
    for (const MixInput::OnPlayer &file : input.player)
        nowOnPlayer(file.key, file.name, file.entry.isFile());
    return true;
}

void MixEngine::confirmBrokenCopies(MixInput &input)
{
    // The record's word alone never takes a file away: only the collection's file of that name
    // can show that the one on the player is a copy of it cut short. A file of other bytes is the
    // user's, and the walk names it as a repeat with other content.
    std::vector<qsizetype> sourceOfKey;
    for (MixInput::OnPlayer &file : input.player) {
        if (!file.broken)
            continue;
        if (sourceOfKey.empty()) {
            sourceOfKey.assign(static_cast<std::size_t>(input.keyCount), -1);
            for (qsizetype i = 0; i < static_cast<qsizetype>(input.source.size()); ++i)
                sourceOfKey[static_cast<std::size_t>(input.source[static_cast<std::size_t>(i)].key)] = i;
        }
        const qsizetype i = file.key < 0 ? -1 : sourceOfKey[static_cast<std::size_t>(file.key)];
        file.broken = i >= 0
                      && fs::isCutShortOf(folderOf(input.source[static_cast<std::size_t>(i)]),
                                          ownName(input.source[static_cast<std::size_t>(i)]), m_player, file.name);
        // Not asked again next time: the file under that name is not the copy the record knows.
        if (!file.broken && !m_options.dryRun)
            m_record->noteRemoved(file.name);
    }
}

void MixEngine::waitForFreshFiles(MixInput &input)
{
    // Long enough for a file manager to finish an album it is copying, short enough that a press
    // of the button still answers at once; a file that grows all the while is left for later.
    constexpr qint64 longestWaitMs = 6000;
    constexpr unsigned long lookAgainMs = 200;
    std::vector<std::size_t> fresh;
    for (std::size_t i = 0; i < input.source.size(); ++i) {
        if (fs::isBeingWritten(input.source[i].entry))
            fresh.push_back(i);
    }
    if (fresh.empty())
        return;
    m_observer->waiting(static_cast<qsizetype>(fresh.size()));
    QElapsedTimer waited;
    waited.start();
    while (!fresh.empty() && waited.elapsed() < longestWaitMs && !(m_options.cancel && *m_options.cancel)) {
        QThread::msleep(lookAgainMs);
        std::erase_if(fresh, [&](std::size_t i) {
            MixInput::Source &file = input.source[i];
            file.entry = folderOf(file).look(ownName(file));
            return !fs::isBeingWritten(file.entry);
        });
    }
}

void MixEngine::readTree(fs::Listing &source)
{
    std::vector<MixTree::File> files;
    files.reserve(static_cast<std::size_t>(source.names.size()));
    for (const fs::FileName &name : source.names)
        files.push_back({-1, name, m_source.look(name)});
    QList<MixTree::Unreadable> unreadable;
    m_tree->walk(files, unreadable, m_options.cancel);
    for (const MixTree::Unreadable &folder : unreadable) {
        MixStep step;
        step.action = MixAction::Skipped;
        step.name = fs::FileName::fromNative(folder.path);
        step.why = MixReason::FolderUnreadable;
        m_treeNotes.append(step);
        qCWarning(lcMix) << "folder left out:" << folder.path << folder.reason;
    }

    // A name that two files of the collection have is one on the player as the player compares
    // names; each of them then takes its path.
    QHash<QByteArray, qsizetype> owners;
    owners.reserve(static_cast<qsizetype>(files.size()));
    for (const MixTree::File &file : files)
        ++owners[fs::caseKey(file.own, m_playerCase)];
    const qsizetype longest = fs::longestName(m_player);
    fs::FileNames names;
    names.reserve(static_cast<qsizetype>(files.size()));
    for (const MixTree::File &file : files) {
        const bool shared = file.folder >= 0 && owners.value(fs::caseKey(file.own, m_playerCase)) > 1;
        names.append(shared ? treeName(m_tree->path(file.folder), file.own, longest) : file.own);
    }
    // A joined name may be another file's own one: the file whose path comes first keeps it,
    // the same in every run, and the other is named and left out.
    const auto pathOf = [&](std::size_t i) {
        return files[i].folder < 0 ? files[i].own.native()
                                   : m_tree->path(files[i].folder) + '/' + files[i].own.native();
    };
    QHash<QByteArray, std::size_t> holder;
    holder.reserve(names.size());
    std::vector<char> left(files.size(), 0);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const QByteArray key = fs::caseKey(names[static_cast<qsizetype>(i)], m_playerCase);
        const auto found = holder.constFind(key);
        if (found == holder.cend()) {
            holder.insert(key, i);
            continue;
        }
        std::size_t keeps = *found;
        std::size_t leaves = i;
        if (pathOf(leaves) < pathOf(keeps))
            std::swap(keeps, leaves);
        holder.insert(key, keeps);
        left[leaves] = 1;
    }
    fs::FileNames kept;
    kept.reserve(names.size());
    QHash<QByteArray, std::size_t> fileOf;
    fileOf.reserve(names.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const fs::FileName &name = names[static_cast<qsizetype>(i)];
        if (left[i]) {
            MixStep step;
            step.action = MixAction::Skipped;
            step.name = fs::FileName::fromNative(pathOf(i));
            step.why = MixReason::NameTaken;
            step.other = name;
            m_treeNotes.append(step);
            continue;
        }
        kept.append(name);
        fileOf.insert(name.native(), i);
    }
    source.keys = fs::inListOrder(std::move(kept));
    source.names = fs::namesOf(source.keys);
    m_treeFiles.clear();
    m_treeFiles.reserve(static_cast<std::size_t>(source.names.size()));
    for (const fs::FileName &name : source.names)
        m_treeFiles.push_back(files[fileOf.value(name.native())]);
}

void MixEngine::followOrigins(MixInput &input)
{
    // A file's name on the player follows what else the collection holds: a copy made while its
    // name was its own keeps it when another file of that name comes, and the other way round.
    // The record knows where each copy came from, so it is still found as that file's copy.
    QHash<QByteArray, qsizetype> byOrigin;
    std::vector<char> keyOnPlayer(static_cast<std::size_t>(input.keyCount), 0);
    for (const MixInput::OnPlayer &file : input.player)
        keyOnPlayer[static_cast<std::size_t>(file.key)] = 1;
    for (MixInput::OnPlayer &file : input.player) {
        const QByteArray origin = m_record->originOf(file.name);
        if (origin.isEmpty())
            continue;
        if (byOrigin.isEmpty()) {
            for (qsizetype i = 0; i < static_cast<qsizetype>(input.source.size()); ++i) {
                const MixInput::Source &source = input.source[static_cast<std::size_t>(i)];
                if (source.folder >= 0)
                    byOrigin.insert(m_tree->path(source.folder) + '/' + ownName(source).native(), i);
            }
        }
        const qsizetype i = byOrigin.value(origin, -1);
        if (i < 0)
            continue;
        const qsizetype key = input.source[static_cast<std::size_t>(i)].key;
        // Where the player holds that file under its present name too, each name stays its own.
        if (key == file.key || keyOnPlayer[static_cast<std::size_t>(key)])
            continue;
        keyOnPlayer[static_cast<std::size_t>(file.key)] = 0;
        keyOnPlayer[static_cast<std::size_t>(key)] = 1;
        file.key = key;
    }
}

void MixEngine::findWayBack(MixInput &input, const std::vector<qsizetype> &sourceOf)
{
    m_backInto.assign(input.player.size(), -1);
    m_backMayBeThere.assign(input.player.size(), 0);
    for (std::size_t j = 0; j < input.player.size(); ++j) {
        MixInput::OnPlayer &file = input.player[j];
        const qsizetype i = file.key < 0 ? -1 : sourceOf[static_cast<std::size_t>(file.key)];
        if (i >= 0) {
            const MixInput::Source &original = input.source[static_cast<std::size_t>(i)];
            m_backInto[j] = original.folder;
            file.backName = original.own;
            continue;
        }
        // A copy of a sub-folder's file that the run does not take (the choice is off, or the
        // file is gone) goes back where it came from, if that folder is still there.
        const QByteArray origin = m_record->originOf(file.name);
        const qsizetype slash = origin.lastIndexOf('/');
        if (slash <= 0 || slash + 1 >= origin.size() || origin[slash + 1] == '.')
            continue;
        const qsizetype folder = m_tree->find(origin.first(slash));
        m_tree->trim();
        if (folder < 0)
            continue;
        m_backInto[j] = folder;
        file.backName = fs::FileName::fromNative(origin.sliced(slash + 1));
        m_backMayBeThere[j] = 1;
    }
}

fs::Likeness MixEngine::compare(qsizetype sourceIndex, qsizetype playerIndex)
{
    m_tree->trim();
    Compared compared;
    compared.sourceIndex = sourceIndex;
    if (const MixInput::OnPlayer &file = m_input.player[static_cast<std::size_t>(playerIndex)]; file.vouched) {
        compared.source = m_input.source[static_cast<std::size_t>(sourceIndex)].entry;
        compared.player = file.entry;
        compared.tagsLeft = true;
        m_compared.insert(playerIndex, compared);
        return fs::Likeness::SameBytes;
    }
    const MixInput::Source &original = m_input.source[static_cast<std::size_t>(sourceIndex)];
    const fs::Likeness likeness = fs::compareFiles(folderOf(original), ownName(original), m_player,
                                                   m_input.player[static_cast<std::size_t>(playerIndex)].name,
                                                   &compared.source, &compared.player);
    MixPreparing comparing;
    comparing.stage = MixPreparing::Stage::Comparing;
    comparing.done = ++m_comparedWhole;
    m_observer->preparing(comparing);
    if (likeness == fs::Likeness::SameBytes)
        m_compared.insert(playerIndex, compared);
    return likeness;
}

} // namespace tonvola
