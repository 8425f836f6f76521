#include "mix/PlayerList.h"

#include "platform/Listing.h"

#include <algorithm>

namespace tonvola {

namespace {

// Names that differ only in letter case stand side by side in list order.
bool sameName(const FileName &a, const FileName &b, bool ignoreCase)
{
    return a == b
           || (ignoreCase && a.isExactText() && b.isExactText()
               && a.text().compare(b.text(), Qt::CaseInsensitive) == 0);
}

} // namespace

PlayerList::PlayerList(const std::vector<fs::ListKey> &player, const std::vector<fs::ListKey> &source, bool ignoreCase)
{
    Q_ASSERT(std::is_sorted(player.cbegin(), player.cend()) && std::is_sorted(source.cbegin(), source.cend()));
    const auto playerCount = static_cast<qsizetype>(player.size());
    const auto sourceCount = static_cast<qsizetype>(source.size());

    // Merge both lists into one list of distinct names; equal names meet side by side.
    m_names.reserve(playerCount + sourceCount);
    m_sourceKeys.assign(source.size(), -1);
    std::vector<char> present;
    present.reserve(player.size() + source.size());
    qsizetype p = 0;
    qsizetype s = 0;
    while (p < playerCount || s < sourceCount) {
        const bool takePlayer = s >= sourceCount || (p < playerCount && !(source[toIndex(s)] < player[toIndex(p)]));
        const FileName &name = (takePlayer ? player[toIndex(p)] : source[toIndex(s)]).name();
        if (m_names.isEmpty() || !sameName(m_names.constLast(), name, ignoreCase)) {
            m_names.append(name);
            present.push_back(0);
        }
        const qsizetype key = m_names.size() - 1;
        if (takePlayer) {
            // The name the player holds, in its own letters.
            m_names.last() = name;
            present.back() = 1;
            ++p;
        } else {
            m_sourceKeys[toIndex(s)] = key;
            ++s;
        }
    }

    m_present = std::move(present);
    const std::size_t size = m_present.size();
    m_tree.assign(size + 1, 0);
    for (std::size_t i = 1; i <= size; ++i) {
        m_tree[i] += m_present[i - 1];
        const std::size_t parent = i + (i & (~i + 1));
        if (parent <= size)
            m_tree[parent] += m_tree[i];
    }
    m_count = static_cast<qsizetype>(std::count(m_present.cbegin(), m_present.cend(), 1));
    m_topStep = 1;
    while (m_topStep * 2 <= static_cast<qsizetype>(size))
        m_topStep *= 2;
}

qsizetype PlayerList::keyAt(qsizetype position) const
{
    // Walks down the tree to the last slot whose prefix holds no more than position entries.
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

void PlayerList::insert(qsizetype key, const FileName &name)
{
    m_names[key] = name;
    if (contains(key))
        return;
    m_present[toIndex(key)] = 1;
    add(key, 1);
    ++m_count;
}

void PlayerList::erase(qsizetype key)
{
    if (!contains(key))
        return;
    m_present[toIndex(key)] = 0;
    add(key, -1);
    --m_count;
}

void PlayerList::add(qsizetype key, qsizetype delta)
{
    const std::size_t size = m_present.size();
    for (std::size_t i = toIndex(key) + 1; i <= size; i += i & (~i + 1))
        m_tree[i] += delta;
}

FileNames PlayerList::names() const
{
    FileNames listed;
    listed.reserve(m_count);
    for (std::size_t i = 0; i < m_present.size(); ++i) {
        if (m_present[i] != 0)
            listed.append(m_names[static_cast<qsizetype>(i)]);
    }
    return listed;
}

} // namespace tonvola
