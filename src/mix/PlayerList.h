#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace tonvola {

// The player folder's MP3 names in list order, kept current while the fill copies and
// deletes, so that no candidate needs the folder read again. Every name the fill can put
// on the player comes from the collection's list, so all names that can ever be listed
// are known at the start: each gets a fixed key in list order, and a Fenwick tree over
// the keys answers "is it there", "which is the n-th" and "add/remove" in O(log n).
class PlayerList
{
public:
    PlayerList() = default;
    // Both in list order, as fs::mp3Files gives them.
    PlayerList(const QStringList &playerNames, const QStringList &sourceNames);

    [[nodiscard]] qsizetype count() const { return m_count; }
    // The key of the collection's entry at that position.
    [[nodiscard]] qsizetype keyOfSource(qsizetype sourcePosition) const
    {
        return m_sourceKeys[toIndex(sourcePosition)];
    }
    [[nodiscard]] bool contains(qsizetype key) const { return m_present[toIndex(key)] != 0; }
    [[nodiscard]] const QString &name(qsizetype key) const { return m_names[key]; }
    // The key of the entry at a zero-based position of the player's list.
    [[nodiscard]] qsizetype keyAt(qsizetype position) const;

    void insert(qsizetype key);
    void erase(qsizetype key);

    // The listed names in list order.
    [[nodiscard]] QStringList names() const;

private:
    static std::size_t toIndex(qsizetype i) { return static_cast<std::size_t>(i); }
    void add(qsizetype key, qsizetype delta);

    QStringList m_names;
    std::vector<qsizetype> m_sourceKeys;
    std::vector<char> m_present;
    std::vector<qsizetype> m_tree;
    qsizetype m_topStep = 0;
    qsizetype m_count = 0;
};

} // namespace tonvola
