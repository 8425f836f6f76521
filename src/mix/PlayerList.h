#pragma once

#include "platform/FileName.h"
#include "platform/Listing.h"

#include <vector>

namespace tonvola {

// The player folder's MP3 names in list order, kept current while the fill copies and
// deletes, so that no candidate needs the folder read again. Every name the fill can put
// on the player comes from the collection's list, so all names that can ever be listed
// are known at the start: each gets a fixed key in list order, and a Fenwick tree over
// the keys answers "is it there", "which is the n-th" and "add/remove" in O(log n).
// On a player that ignores letter case, names that differ only in case share one key.
class PlayerList
{
public:
    PlayerList() = default;
    // The keys of both listings, in list order as a listing gives them; the collection's
    // positions are those in its list.
    PlayerList(const std::vector<fs::ListKey> &player, const std::vector<fs::ListKey> &source, bool ignoreCase = false);

    [[nodiscard]] qsizetype count() const { return m_count; }
    // The key of the collection's entry at that position.
    [[nodiscard]] qsizetype keyOfSource(qsizetype sourcePosition) const
    {
        return m_sourceKeys[toIndex(sourcePosition)];
    }
    [[nodiscard]] bool contains(qsizetype key) const { return m_present[toIndex(key)] != 0; }
    // The name on the player; for a key not there, the name it would get.
    [[nodiscard]] const FileName &name(qsizetype key) const { return m_names[key]; }
    // The key of the entry at a zero-based position of the player's list.
    [[nodiscard]] qsizetype keyAt(qsizetype position) const;

    // The entry arrives under that name, which on a player that ignores case may be spelt
    // otherwise than the one it had before.
    void insert(qsizetype key, const FileName &name);
    void erase(qsizetype key);

    // The listed names in list order.
    [[nodiscard]] FileNames names() const;

private:
    static std::size_t toIndex(qsizetype i) { return static_cast<std::size_t>(i); }
    void add(qsizetype key, qsizetype delta);

    FileNames m_names;
    std::vector<qsizetype> m_sourceKeys;
    std::vector<char> m_present;
    std::vector<qsizetype> m_tree;
    qsizetype m_topStep = 0;
    qsizetype m_count = 0;
};

} // namespace tonvola
