// What a plan does once its walk is over: the moves that undo each other go, and the rest is
// checked in the order a run carries it out.

#include "mix/MixPlanner.h"

#include "platform/WrittenRecord.h"

#include <algorithm>

namespace tonvola {

void MixPlanner::net(MixPlan &plan) const
{
    const auto cancelled = [this](const Move &move) {
        const qsizetype key = move.isCopy() ? source(move.index).key : player(move.index).key;
        return m_startedPresent[toIndex(key)] && m_present[toIndex(key)] && !m_replaced[toIndex(key)];
    };
    const auto copies = std::count_if(m_moves.cbegin(), m_moves.cend(), [](const Move &move) { return move.isCopy(); });
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

void MixPlanner::settle(MixPlan &plan)
{
    Room room{m_in.freeBytes, m_in.freeEntries, m_in.recordBytes};
    for (const MixStep &removal : std::as_const(plan.removals)) {
        room.free += allocated(removal.size);
        if (room.entries >= 0)
            room.entries += entriesOf(removal.name);
        recordGrows(room, removal.name, false);
    }
    plan.copyBytes = 0;
    keepCopiesThatFit(plan, room);
    // A file that was on the player and went stays gone: its coming back would undo the removal.
    for (const qsizetype i : plan.order) {
        const MixInput::Source &candidate = source(i);
        if (candidate.entry.isFile() && !m_present[toIndex(candidate.key)] && !m_startedPresent[toIndex(candidate.key)]
            && fits(candidate, room.free, room.entries) && canCopy(i)) {
            m_present[toIndex(candidate.key)] = 1;
            MixStep step;
            step.action = MixAction::Copied;
            step.name = candidate.name;
            step.size = candidate.entry.size;
            counted(plan, room, step);
            plan.copies.append(std::move(step));
            plan.copyIndex.append(i);
        }
    }
    plan.freeAfter = room.free;
}

void MixPlanner::keepCopiesThatFit(MixPlan &plan, Room &room)
{
    // The copies that still fit keep their places, in the list itself.
    qsizetype kept = 0;
    for (qsizetype k = 0; k < plan.copies.size(); ++k) {
        if (!fits(source(plan.copyIndex[k]), room.free, room.entries)) {
            m_present[toIndex(source(plan.copyIndex[k]).key)] = 0;
            continue;
        }
        counted(plan, room, plan.copies[k]);
        if (kept != k) {
            plan.copies[kept] = std::move(plan.copies[k]);
            plan.copyIndex[kept] = plan.copyIndex[k];
        }
        ++kept;
    }
    plan.copies.resize(kept);
    plan.copyIndex.resize(kept);
}

void MixPlanner::counted(MixPlan &plan, Room &room, const MixStep &copy) const
{
    room.free -= allocated(copy.size);
    if (room.entries >= 0)
        room.entries -= entriesOf(copy.name);
    recordGrows(room, copy.name, true);
    plan.copyBytes += copy.size;
}

void MixPlanner::recordGrows(Room &room, const fs::FileName &name, bool copy) const
{
    const qint64 before = room.record < 0 ? 0 : allocated(room.record);
    room.record =
        std::max<qint64>(room.record, fs::WrittenRecord::headerSize()) + fs::WrittenRecord::growthFor(name, copy);
    room.free -= allocated(room.record) - before;
}

} // namespace tonvola
