#include "mix/MixPlanner.h"

#include "platform/WrittenRecord.h"

#include <QHash>

#include <algorithm>

namespace tonvola {

MixPlanner::MixPlanner(const MixInput &input, quint64 seed, const MixComparer &compare)
    : m_in(input), m_compare(compare), m_random(seed), m_present(toIndex(input.keyCount), 0),
      m_eligible(toIndex(input.keyCount), 0), m_kept(toIndex(input.keyCount), 0),
      m_playerOf(toIndex(input.keyCount), -1), m_sourceOf(toIndex(input.keyCount), -1),
      m_startedPresent(toIndex(input.keyCount), 0), m_resting(toIndex(input.keyCount), 0),
      m_copied(toIndex(input.keyCount), 0), m_replaced(toIndex(input.keyCount), 0),
      m_likeness(toIndex(input.keyCount), unknown), m_noted(input.source.size(), 0), m_free(input.freeBytes),
      m_freeEntries(input.freeEntries), m_recordBytes(input.recordBytes)
{
    for (qsizetype j = 0; j < static_cast<qsizetype>(m_in.player.size()); ++j) {
        const MixInput::OnPlayer &file = player(j);
        if (!file.entry.isFile())
            continue;
        m_playerOf[toIndex(file.key)] = j;
        m_present[toIndex(file.key)] = 1;
        m_startedPresent[toIndex(file.key)] = 1;
        m_taken += allocated(file.entry.size);
        m_takenEntries += entriesOf(file.name);
        if (!file.entry.writeProtected && !fs::isBeingWritten(file.entry) && !file.broken) {
            m_eligible[toIndex(file.key)] = 1;
            m_leaving.push_back(j);
        }
    }
    for (qsizetype i = static_cast<qsizetype>(m_in.source.size()) - 1; i >= 0; --i)
        m_sourceOf[toIndex(source(i).key)] = i;
}

MixPlan MixPlanner::plan(int exchangePercent)
{
    MixPlan plan;
    const auto count = static_cast<qsizetype>(m_in.source.size());
    plan.sourceCount = count;
    plan.order = walkOrder();
    if (count > 0) {
        plan.start = plan.order.front();
        plan.last = plan.order.back();
    }
    orderLeaving();
    // Every file moves once at most; untouched room costs no memory.
    m_moves.reserve(m_in.source.size() + m_in.player.size());

    removeBrokenCopies();
    m_budget = (m_taken * std::clamp(exchangePercent, 0, 100) + 99) / 100;
    m_entryBudget = (m_takenEntries * std::clamp(exchangePercent, 0, 100) + 99) / 100;
    exchange();
    for (const qsizetype i : plan.order)
        visit(i);
    for (const qsizetype i : plan.order)
        refill(i);

    plan.budget = m_budget;
    plan.spent = m_spent;
    net(plan);
    std::vector<Move>().swap(m_moves);
    settle(plan);
    plan.notes = std::move(m_notes);
    return plan;
}

void MixPlanner::recordGrows(const fs::FileName &name, bool copy)
{
    const qint64 before = m_recordBytes < 0 ? 0 : allocated(m_recordBytes);
    m_recordBytes =
        std::max<qint64>(m_recordBytes, fs::WrittenRecord::headerSize()) + fs::WrittenRecord::growthFor(name, copy);
    m_free -= allocated(m_recordBytes) - before;
}

void MixPlanner::note(MixAction action, const fs::FileName &name, MixReason why)
{
    MixStep step;
    step.action = action;
    step.name = name;
    step.why = why;
    m_notes.append(std::move(step));
}

void MixPlanner::removeBrokenCopies()
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

std::vector<qsizetype> MixPlanner::walkOrder()
{
    const auto count = static_cast<qsizetype>(m_in.source.size());
    std::vector<qsizetype> order(toIndex(count));
    for (qsizetype i = 0; i < count; ++i)
        order[toIndex(i)] = i;
    shuffle(order);
    std::stable_sort(order.begin(), order.end(),
                     [this](qsizetype a, qsizetype b) { return source(a).lastRun < source(b).lastRun; });
    return order;
}

void MixPlanner::orderLeaving()
{
    shuffle(m_leaving);
    std::stable_sort(m_leaving.begin(), m_leaving.end(), [this](qsizetype a, qsizetype b) {
        return std::pair(player(a).writtenAtS, player(a).arrivedRun)
               < std::pair(player(b).writtenAtS, player(b).arrivedRun);
    });
}

void MixPlanner::shuffle(std::vector<qsizetype> &cards)
{
    for (auto n = static_cast<qsizetype>(cards.size()) - 1; n > 0; --n)
        std::swap(cards[toIndex(n)], cards[toIndex(m_random.nextPosition(n + 1))]);
}

qsizetype MixPlanner::nextLeaving()
{
    while (m_nextLeaving < m_leaving.size() && !m_eligible[toIndex(player(m_leaving[m_nextLeaving]).key)])
        ++m_nextLeaving;
    return m_nextLeaving < m_leaving.size() ? m_leaving[m_nextLeaving] : -1;
}

void MixPlanner::exchange()
{
    const auto roomWanted = [this] {
        return m_free < m_budget || (m_freeEntries >= 0 && m_freeEntries < m_entryBudget);
    };
    while (roomWanted() && budgetLeft()) {
        const qsizetype j = nextLeaving();
        if (j < 0)
            break;
        moveBack(player(j).key);
    }
}

void MixPlanner::visit(qsizetype i)
{
    const MixInput::Source &candidate = source(i);
    if (!candidate.entry.isFile()) {
        note(MixAction::Skipped, candidate.name,
             candidate.entry.kind == fs::Entry::Kind::Missing ? MixReason::GoneFromCollection : MixReason::NotAFile);
        return;
    }
    if (!fits(candidate, m_free, m_freeEntries))
        return;
    const qsizetype key = candidate.key;
    if (m_present[toIndex(key)]) {
        // Another spelling of a file this run brought is no repeat; a file already left on
        // the player for its reason is told once; a spent budget keeps the repeat there.
        if (!m_copied[toIndex(key)] && !m_kept[toIndex(key)] && budgetLeft())
            takeOff(i);
        return;
    }
    if (m_resting[toIndex(key)] || !canCopy(i))
        return;
    // The chance is drawn before every copy, also when the player has nothing to give back.
    if (m_random.next() < 0.5 && budgetLeft()) {
        if (const qsizetype j = nextLeaving(); j >= 0)
            moveBack(player(j).key);
    }
    copy(i);
}

void MixPlanner::refill(qsizetype i)
{
    const MixInput::Source &candidate = source(i);
    if (candidate.entry.isFile() && !m_present[toIndex(candidate.key)] && fits(candidate, m_free, m_freeEntries)
        && canCopy(i))
        copy(i);
}

bool MixPlanner::canCopy(qsizetype i)
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

fs::Likeness MixPlanner::likeness(qsizetype i, qsizetype j)
{
    signed char &known = m_likeness[toIndex(source(i).key)];
    if (known == unknown)
        known = static_cast<signed char>(m_compare(i, j));
    return static_cast<fs::Likeness>(known);
}

MixReason MixPlanner::reasonToKeep(qsizetype i, qsizetype j)
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

void MixPlanner::keep(qsizetype j, MixReason why)
{
    m_eligible[toIndex(player(j).key)] = 0;
    m_kept[toIndex(player(j).key)] = 1;
    note(MixAction::KeptOnPlayer, player(j).name, why);
}

void MixPlanner::takeOff(qsizetype i)
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

void MixPlanner::moveBack(qsizetype key)
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
    const fs::FileName &back = file.backName.isEmpty() ? file.name : file.backName;
    if (back.native().size() > m_in.collectionNameMax || (m_in.collectionKeepsFatNames && fs::fatRefuses(back))) {
        keep(j, MixReason::CollectionRefuses);
        return;
    }
    remove(j, MixAction::MovedBack);
}

void MixPlanner::remove(qsizetype j, MixAction action, bool alreadyInCollection)
{
    const MixInput::OnPlayer &file = player(j);
    m_present[toIndex(file.key)] = 0;
    m_eligible[toIndex(file.key)] = 0;
    m_free += allocated(file.entry.size);
    if (m_freeEntries >= 0)
        m_freeEntries += entriesOf(file.name);
    recordGrows(file.name, false);
    if (action != MixAction::RemovedBroken) {
        m_resting[toIndex(file.key)] = 1;
        m_spent += allocated(file.entry.size);
    }
    m_moves.push_back({j, action, alreadyInCollection});
}

void MixPlanner::copy(qsizetype i)
{
    const MixInput::Source &candidate = source(i);
    m_present[toIndex(candidate.key)] = 1;
    m_copied[toIndex(candidate.key)] = 1;
    m_free -= allocated(candidate.entry.size);
    if (m_freeEntries >= 0)
        m_freeEntries -= entriesOf(candidate.name);
    recordGrows(candidate.name, true);
    m_moves.push_back({i, MixAction::Copied, false});
}

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
        const fs::FileName &name = takePlayer ? player[p].name : source[s].name;
        const QByteArray folded = fs::caseKey(name, playerCase);
        auto found = keys.constFind(folded);
        if (found == keys.cend())
            found = keys.insert(folded, keyCount++);
        (takePlayer ? player[p++].key : source[s++].key) = *found;
    }
}

MixPlan makeMixPlan(const MixInput &input, quint64 seed, int exchangePercent, const MixComparer &compare)
{
    MixPlanner planner(input, seed, compare);
    MixPlan plan = planner.plan(exchangePercent);
    plan.seed = seed;
    return plan;
}

} // namespace tonvola
