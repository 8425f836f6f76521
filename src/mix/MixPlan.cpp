#include "mix/MixPlan.h"

#include "mix/MixRandom.h"
#include "platform/WrittenRecord.h"

#include <QHash>

#include <algorithm>

namespace tonvola {

namespace {

// A set of keys in list order that answers "is it there", "how many" and "which is the n-th"
// in O(log n): a Fenwick tree over the keys.
class KeySet
{
public:
    explicit KeySet(qsizetype size) : m_present(toIndex(size), 0), m_tree(toIndex(size) + 1, 0)
    {
        while (m_topStep * 2 <= size)
            m_topStep *= 2;
    }

    [[nodiscard]] qsizetype count() const { return m_count; }
    [[nodiscard]] bool contains(qsizetype key) const { return m_present[toIndex(key)] != 0; }

    void insert(qsizetype key) { change(key, 1); }
    void erase(qsizetype key) { change(key, 0); }

    // The key at a zero-based position among the keys in the set.
    [[nodiscard]] qsizetype keyAt(qsizetype position) const
    {
        // Walks down the tree to the last slot whose prefix holds no more than position keys.
        const auto size = static_cast<qsizetype>(m_present.size());
        qsizetype slot = 0;
        qsizetype remaining = position;
        for (qsizetype step = m_topStep; step > 0; step /= 2) {
            const qsizetype next = slot + step;
            if (next <= size && m_tree[toIndex(next)] <= remaining) {
                slot = next;
                remaining -= m_tree[toIndex(next)];
            }
        }
        return slot;
    }

private:
    static std::size_t toIndex(qsizetype i) { return static_cast<std::size_t>(i); }

    void change(qsizetype key, char wanted)
    {
        char &present = m_present[toIndex(key)];
        if (present == wanted)
            return;
        present = wanted;
        const qsizetype delta = wanted ? 1 : -1;
        m_count += delta;
        for (std::size_t i = toIndex(key) + 1; i < m_tree.size(); i += i & (~i + 1))
            m_tree[i] += delta;
    }

    std::vector<char> m_present;
    std::vector<qsizetype> m_tree;
    qsizetype m_topStep = 1;
    qsizetype m_count = 0;
};

// One planned removal or copy, before the plan is netted; kept small, since a plan of a large
// collection holds many: the steps are made from it once it is netted.
struct Move {
    qsizetype index = -1; // into the player's list for a removal, the collection's for a copy
    MixAction action = MixAction::Copied;
    bool alreadyInCollection = false;
    [[nodiscard]] bool isCopy() const { return action == MixAction::Copied; }
};

class Planner
{
public:
    Planner(const MixInput &input, quint64 seed, const MixComparer &compare)
        : m_in(input), m_compare(compare), m_random(seed), m_present(input.keyCount), m_eligible(input.keyCount),
          m_playerOf(toIndex(input.keyCount), -1), m_sourceOf(toIndex(input.keyCount), -1),
          m_startedPresent(toIndex(input.keyCount), 0), m_resting(toIndex(input.keyCount), 0),
          m_copied(toIndex(input.keyCount), 0), m_replaced(toIndex(input.keyCount), 0),
          m_likeness(toIndex(input.keyCount), unknown), m_noted(input.source.size(), 0), m_free(input.freeBytes),
          m_recordBytes(input.recordBytes)
    {
        for (qsizetype j = 0; j < static_cast<qsizetype>(m_in.player.size()); ++j) {
            const MixInput::OnPlayer &file = player(j);
            if (!file.entry.isFile())
                continue;
            m_playerOf[toIndex(file.key)] = j;
            m_present.insert(file.key);
            m_startedPresent[toIndex(file.key)] = 1;
            if (!file.entry.writeProtected && !fs::isBeingWritten(file.entry) && !file.broken)
                m_eligible.insert(file.key);
        }
        for (qsizetype i = static_cast<qsizetype>(m_in.source.size()) - 1; i >= 0; --i)
            m_sourceOf[toIndex(source(i).key)] = i;
    }

    MixPlan plan(int exchangePercent)
    {
        MixPlan plan;
        const auto count = static_cast<qsizetype>(m_in.source.size());
        plan.sourceCount = count;
        plan.start = m_random.nextPosition(count);
        // Every file moves once at most; untouched room costs no memory.
        m_moves.reserve(m_in.source.size() + m_in.player.size());

        removeBrokenCopies();
        exchange(exchangePercent);
        for (qsizetype n = 0; n < count; ++n)
            visit((plan.start + n) % count);
        for (qsizetype n = 0; n < count; ++n)
            refill((plan.start + n) % count);

        net(plan);
        std::vector<Move>().swap(m_moves);
        settle(plan);
        plan.notes = std::move(m_notes);
        return plan;
    }

private:
    static constexpr signed char unknown = -1;
    static std::size_t toIndex(qsizetype i) { return static_cast<std::size_t>(i); }

    const MixInput::Source &source(qsizetype i) const { return m_in.source[toIndex(i)]; }
    const MixInput::OnPlayer &player(qsizetype j) const { return m_in.player[toIndex(j)]; }
    qint64 allocated(qint64 size) const { return (size + m_in.cluster - 1) / m_in.cluster * m_in.cluster; }

    // The record of the program's copies grows with each change and takes its room too.
    void recordGrows(const FileName &name, bool copy)
    {
        const qint64 before = m_recordBytes < 0 ? 0 : allocated(m_recordBytes);
        m_recordBytes =
            std::max<qint64>(m_recordBytes, fs::WrittenRecord::headerSize()) + fs::WrittenRecord::growthFor(name, copy);
        m_free -= allocated(m_recordBytes) - before;
    }

    void note(MixAction action, const FileName &name, MixReason why)
    {
        MixStep step;
        step.action = action;
        step.name = name;
        step.why = why;
        m_notes.append(std::move(step));
    }

    void removeBrokenCopies()
    {
        for (qsizetype j = 0; j < static_cast<qsizetype>(m_in.player.size()); ++j) {
            const MixInput::OnPlayer &file = player(j);
            if (file.broken && file.entry.isFile()) {
                remove(j, MixAction::RemovedBroken);
                // Not resting: the collection's whole file may take its place.
                m_replaced[toIndex(file.key)] = 1;
            }
        }
    }

    void exchange(int percent)
    {
        qint64 taken = 0;
        for (const MixInput::OnPlayer &file : m_in.player) {
            if (file.entry.isFile())
                taken += allocated(file.entry.size);
        }
        const qint64 wanted = (taken * std::clamp(percent, 0, 100) + 99) / 100;
        while (m_free < wanted && m_eligible.count() > 0)
            moveBack(m_eligible.keyAt(m_random.nextPosition(m_eligible.count())));
    }

    void visit(qsizetype i)
    {
        const MixInput::Source &candidate = source(i);
        if (!candidate.entry.isFile()) {
            note(MixAction::Skipped, candidate.name,
                 candidate.entry.kind == fs::Entry::Kind::Missing ? MixReason::GoneFromCollection
                                                                  : MixReason::NotAFile);
            return;
        }
        if (!fitsOnPlayer(candidate.entry.size, m_free))
            return;
        const qsizetype key = candidate.key;
        if (m_present.contains(key)) {
            // Another spelling of a file this run brought is no repeat.
            if (!m_copied[toIndex(key)])
                takeOff(i);
            return;
        }
        if (m_resting[toIndex(key)] || !canCopy(i))
            return;
        // The chance is drawn before every copy, also when the player has nothing to give back.
        if (m_random.next() < 0.5 && m_eligible.count() > 0)
            moveBack(m_eligible.keyAt(m_random.nextPosition(m_eligible.count())));
        copy(i);
    }

    void refill(qsizetype i)
    {
        const MixInput::Source &candidate = source(i);
        if (candidate.entry.isFile() && !m_present.contains(candidate.key) && fitsOnPlayer(candidate.entry.size, m_free)
            && canCopy(i))
            copy(i);
    }

    // Whether a candidate may go onto the player at all; says why not, once.
    bool canCopy(qsizetype i)
    {
        const MixInput::Source &candidate = source(i);
        MixReason why = MixReason::None;
        if (fs::isBeingWritten(candidate.entry))
            why = MixReason::InUse;
        else if (m_in.playerKeepsFatNames && fs::fatRefuses(candidate.name))
            why = MixReason::NameRefused;
        else if (candidate.entry.size > m_in.largestFile)
            why = MixReason::TooLarge;
        if (why == MixReason::None)
            return true;
        if (!m_noted[toIndex(i)]) {
            m_noted[toIndex(i)] = 1;
            note(MixAction::Skipped, candidate.name, why);
        }
        return false;
    }

    fs::Likeness likeness(qsizetype i, qsizetype j)
    {
        signed char &known = m_likeness[toIndex(source(i).key)];
        if (known == unknown)
            known = static_cast<signed char>(m_compare(i, j));
        return static_cast<fs::Likeness>(known);
    }

    // The reason a player file stays although the collection holds a file of its name, or
    // None when the collection holds the same bytes.
    MixReason reasonToKeep(qsizetype i, qsizetype j)
    {
        switch (likeness(i, j)) {
        case fs::Likeness::SameBytes:
            return MixReason::None;
        case fs::Likeness::OtherBytes:
            return MixReason::OtherContent;
        case fs::Likeness::SameFile:
            return MixReason::SameFile;
        case fs::Likeness::Unreadable:
            break;
        }
        return MixReason::Unreadable;
    }

    void keep(qsizetype j, MixReason why)
    {
        m_eligible.erase(player(j).key);
        note(MixAction::KeptOnPlayer, player(j).name, why);
    }

    void takeOff(qsizetype i)
    {
        const qsizetype j = m_playerOf[toIndex(source(i).key)];
        const MixInput::OnPlayer &repeat = player(j);
        MixReason why = MixReason::None;
        if (repeat.entry.writeProtected)
            why = MixReason::WriteProtected;
        else if (fs::isBeingWritten(repeat.entry))
            why = MixReason::InUse;
        else
            why = reasonToKeep(i, j);
        if (why != MixReason::None) {
            keep(j, why);
            return;
        }
        remove(j, MixAction::TakenOff);
    }

    void moveBack(qsizetype key)
    {
        const qsizetype j = m_playerOf[toIndex(key)];
        const MixInput::OnPlayer &file = player(j);
        const qsizetype i = m_sourceOf[toIndex(key)];
        if (i >= 0 && source(i).entry.kind == fs::Entry::Kind::Other) {
            keep(j, MixReason::NoFileInCollection);
            return;
        }
        if (i >= 0 && source(i).entry.isFile()) {
            // Never replace a collection file by another one: identical means the player's copy
            // can simply go; different means both stay where they are.
            if (const MixReason why = reasonToKeep(i, j); why != MixReason::None) {
                keep(j, why);
                return;
            }
            remove(j, MixAction::MovedBack, true);
            return;
        }
        if (file.name.native().size() > m_in.collectionNameMax
            || (m_in.collectionKeepsFatNames && fs::fatRefuses(file.name))) {
            keep(j, MixReason::CollectionRefuses);
            return;
        }
        remove(j, MixAction::MovedBack);
    }

    void remove(qsizetype j, MixAction action, bool alreadyInCollection = false)
    {
        const MixInput::OnPlayer &file = player(j);
        m_present.erase(file.key);
        m_eligible.erase(file.key);
        m_free += allocated(file.entry.size);
        recordGrows(file.name, false);
        if (action != MixAction::RemovedBroken)
            m_resting[toIndex(file.key)] = 1;
        m_moves.push_back({j, action, alreadyInCollection});
    }

    void copy(qsizetype i)
    {
        const MixInput::Source &candidate = source(i);
        m_present.insert(candidate.key);
        m_copied[toIndex(candidate.key)] = 1;
        m_free -= allocated(candidate.entry.size);
        recordGrows(candidate.name, true);
        m_moves.push_back({i, MixAction::Copied, false});
    }

    // A file that left the player and came back stays where it was; nothing moves for it.
    void net(MixPlan &plan) const
    {
        const auto cancelled = [this](const Move &move) {
            const qsizetype key = move.isCopy() ? source(move.index).key : player(move.index).key;
            return m_startedPresent[toIndex(key)] && m_present.contains(key) && !m_replaced[toIndex(key)];
        };
        const auto copies =
            std::count_if(m_moves.cbegin(), m_moves.cend(), [](const Move &move) { return move.isCopy(); });
        plan.copies.reserve(copies);
        plan.copyIndex.reserve(copies);
        plan.removals.reserve(static_cast<qsizetype>(m_moves.size()) - copies);
        plan.removalIndex.reserve(static_cast<qsizetype>(m_moves.size()) - copies);
        for (const Move &move : m_moves) {
            if (cancelled(move))
                continue;
            MixStep step;
            step.action = move.action;
            step.alreadyInCollection = move.alreadyInCollection;
            if (move.isCopy()) {
                step.name = source(move.index).name;
                step.size = source(move.index).entry.size;
                plan.copies.append(std::move(step));
                plan.copyIndex.append(move.index);
            } else {
                step.name = player(move.index).name;
                step.size = player(move.index).entry.size;
                plan.removals.append(std::move(step));
                plan.removalIndex.append(move.index);
            }
        }
    }

    // The netted plan is carried out in its own order: every removal first, then the copies.
    // A copy that fitted only thanks to room that a netted removal held for a while does not
    // fit there; it is dropped, and what room is left goes to whatever still fits, as in the
    // refill, so that the run does exactly what the plan says.
    void settle(MixPlan &plan)
    {
        qint64 free = m_in.freeBytes;
        qint64 record = m_in.recordBytes;
        const auto grows = [&](const FileName &name, bool copy) {
            const qint64 before = record < 0 ? 0 : allocated(record);
            record =
                std::max<qint64>(record, fs::WrittenRecord::headerSize()) + fs::WrittenRecord::growthFor(name, copy);
            free -= allocated(record) - before;
        };
        for (const MixStep &removal : std::as_const(plan.removals)) {
            free += allocated(removal.size);
            grows(removal.name, false);
        }
        plan.copyBytes = 0;
        const auto counted = [&](const MixStep &step) {
            free -= allocated(step.size);
            grows(step.name, true);
            plan.copyBytes += step.size;
        };
        // The copies that still fit keep their places, in the list itself.
        qsizetype kept = 0;
        for (qsizetype k = 0; k < plan.copies.size(); ++k) {
            if (!fitsOnPlayer(plan.copies[k].size, free)) {
                m_present.erase(source(plan.copyIndex[k]).key);
                continue;
            }
            counted(plan.copies[k]);
            if (kept != k) {
                plan.copies[kept] = std::move(plan.copies[k]);
                plan.copyIndex[kept] = plan.copyIndex[k];
            }
            ++kept;
        }
        plan.copies.resize(kept);
        plan.copyIndex.resize(kept);
        // A file that was on the player and went stays gone: its coming back would undo the removal.
        const auto count = static_cast<qsizetype>(m_in.source.size());
        for (qsizetype n = 0; n < count; ++n) {
            const qsizetype i = (plan.start + n) % count;
            const MixInput::Source &candidate = source(i);
            if (candidate.entry.isFile() && !m_present.contains(candidate.key)
                && !m_startedPresent[toIndex(candidate.key)] && fitsOnPlayer(candidate.entry.size, free)
                && canCopy(i)) {
                m_present.insert(candidate.key);
                MixStep step;
                step.action = MixAction::Copied;
                step.name = candidate.name;
                step.size = candidate.entry.size;
                counted(step);
                plan.copies.append(std::move(step));
                plan.copyIndex.append(i);
            }
        }
        plan.freeAfter = free;
    }

    const MixInput &m_in;
    const MixComparer &m_compare;
    MixRandom m_random;
    KeySet m_present;
    // Files that were on the player when the run started, are still there and may go back.
    KeySet m_eligible;
    std::vector<qsizetype> m_playerOf;
    std::vector<qsizetype> m_sourceOf;
    std::vector<char> m_startedPresent;
    std::vector<char> m_resting;
    std::vector<char> m_copied;
    std::vector<char> m_replaced;
    std::vector<signed char> m_likeness;
    std::vector<char> m_noted;
    qint64 m_free = 0;
    qint64 m_recordBytes = -1;
    QList<MixStep> m_notes;
    std::vector<Move> m_moves;
};

} // namespace

void MixInput::assignKeys(const std::vector<fs::ListKey> &sourceKeys, const std::vector<fs::ListKey> &playerKeys,
                          fs::LetterCase playerCase)
{
    Q_ASSERT(sourceKeys.size() == source.size() && playerKeys.size() == player.size());
    // Both lists merged in list order; each name gets the key of the first name that is one with
    // it on the player, so that keys count in list order.
    QHash<QByteArray, qsizetype> keys;
    keys.reserve(static_cast<qsizetype>(source.size()) + static_cast<qsizetype>(player.size()));
    keyCount = 0;
    std::size_t s = 0;
    std::size_t p = 0;
    while (s < sourceKeys.size() || p < playerKeys.size()) {
        const bool takePlayer = s >= sourceKeys.size() || (p < playerKeys.size() && playerKeys[p] < sourceKeys[s]);
        const FileName &name = takePlayer ? player[p].name : source[s].name;
        const QByteArray folded = fs::caseKey(name, playerCase);
        auto found = keys.constFind(folded);
        if (found == keys.cend())
            found = keys.insert(folded, keyCount++);
        (takePlayer ? player[p++].key : source[s++].key) = *found;
    }
}

MixPlan makeMixPlan(const MixInput &input, quint64 seed, int exchangePercent, const MixComparer &compare)
{
    Planner planner(input, seed, compare);
    MixPlan plan = planner.plan(exchangePercent);
    plan.seed = seed;
    return plan;
}

} // namespace tonvola
