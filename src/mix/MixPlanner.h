#pragma once

#include "mix/MixPlan.h"
#include "mix/MixRandom.h"

#include <vector>

namespace tonvola {

// Makes one plan (makeMixPlan): walks the collection as MixPlan.h tells (MixPlan.cpp), then
// nets what the walk planned and settles it in the order a run carries it out (MixPlanSettle.cpp).
class MixPlanner
{
public:
    MixPlanner(const MixInput &input, quint64 seed, const MixComparer &compare);
    MixPlan plan(int exchangePercent);

private:
    // One planned removal or copy, before the plan is netted; kept small, since a plan of a large
    // collection holds many: the steps are made from it once it is netted.
    struct Move {
        qsizetype index = -1; // into the player's list for a removal, the collection's for a copy
        MixAction action = MixAction::Copied;
        bool alreadyInCollection = false;
        [[nodiscard]] bool isCopy() const { return action == MixAction::Copied; }
    };

    static constexpr signed char unknown = -1;
    static std::size_t toIndex(qsizetype i) { return static_cast<std::size_t>(i); }

    const MixInput::Source &source(qsizetype i) const { return m_in.source[toIndex(i)]; }
    const MixInput::OnPlayer &player(qsizetype j) const { return m_in.player[toIndex(j)]; }
    qint64 allocated(qint64 size) const { return (size + m_in.cluster - 1) / m_in.cluster * m_in.cluster; }
    // Counted only where the folder takes so many: a name's entries cost a look at its text.
    qint64 entriesOf(const fs::FileName &name) const { return m_in.freeEntries < 0 ? 0 : fs::fatEntriesFor(name); }
    [[nodiscard]] bool fits(const MixInput::Source &candidate, qint64 free, qint64 freeEntries) const
    {
        return fitsOnPlayer(candidate.entry.size, free)
               && (freeEntries < 0 || entriesOf(candidate.name) <= freeEntries);
    }

    // The record of the program's copies grows with each change and takes its room too.
    void recordGrows(const fs::FileName &name, bool copy);
    void note(MixAction action, const fs::FileName &name, MixReason why);
    void removeBrokenCopies();

    // Deals the collection like a deck of cards, then lets the files that were on the player
    // least recently go first; a stable sort keeps the deal within each group.
    std::vector<qsizetype> walkOrder();

    // The player's files that may go, oldest copy first; the user's own files, of which the
    // record knows no time, before them, so that none stays for ever.
    void orderLeaving();

    // Fisher and Yates: each place takes a card drawn from those not placed yet.
    void shuffle(std::vector<qsizetype> &cards);

    [[nodiscard]] bool budgetLeft() const { return m_spent < m_budget; }

    // The oldest file that was on the player, is still there and may go back; -1 when none is.
    qsizetype nextLeaving();
    void exchange();
    void visit(qsizetype i);
    void refill(qsizetype i);

    // Whether a candidate may go onto the player at all; says why not, once.
    bool canCopy(qsizetype i);
    fs::Likeness likeness(qsizetype i, qsizetype j);

    // The reason a player file stays although the collection holds a file of its name, or
    // None when the collection holds the same bytes.
    MixReason reasonToKeep(qsizetype i, qsizetype j);
    void keep(qsizetype j, MixReason why);
    void takeOff(qsizetype i);
    void moveBack(qsizetype key);
    void remove(qsizetype j, MixAction action, bool alreadyInCollection = false);
    void copy(qsizetype i);

    // A file that left the player and came back stays where it was; nothing moves for it.
    void net(MixPlan &plan) const;

    // The netted plan is carried out in its own order: every removal first, then the copies.
    // A copy that fitted only thanks to room that a netted removal held for a while does not
    // fit there; it is dropped, and what room is left goes to whatever still fits, as in the
    // refill, so that the run does exactly what the plan says.
    void settle(MixPlan &plan);
    // The room a run leaves on the player as it goes: bytes, folder entries (-1, not counted)
    // and the size of the record of its copies (-1, none yet).
    struct Room {
        qint64 free = 0;
        qint64 entries = -1;
        qint64 record = -1;
    };
    void keepCopiesThatFit(MixPlan &plan, Room &room);
    // A copy takes its room, and a line in the record.
    void counted(MixPlan &plan, Room &room, const MixStep &copy) const;
    void recordGrows(Room &room, const fs::FileName &name, bool copy) const;

    const MixInput &m_in;
    const MixComparer &m_compare;
    MixRandom m_random;
    std::vector<char> m_present;
    // Files that were on the player when the run started, are still there and may go back.
    std::vector<char> m_eligible;
    // Files left on the player for a reason the run told already.
    std::vector<char> m_kept;
    // The player's files that may go, in the order they go, and how far the run has come in it.
    std::vector<qsizetype> m_leaving;
    std::size_t m_nextLeaving = 0;
    qint64 m_taken = 0;
    qint64 m_budget = 0;
    qint64 m_spent = 0;
    std::vector<qsizetype> m_playerOf;
    std::vector<qsizetype> m_sourceOf;
    std::vector<char> m_startedPresent;
    std::vector<char> m_resting;
    std::vector<char> m_copied;
    std::vector<char> m_replaced;
    std::vector<signed char> m_likeness;
    std::vector<char> m_noted;
    qint64 m_free = 0;
    qint64 m_freeEntries = -1;
    qint64 m_takenEntries = 0;
    qint64 m_entryBudget = 0;
    qint64 m_recordBytes = -1;
    QList<MixStep> m_notes;
    std::vector<Move> m_moves;
};

} // namespace tonvola
