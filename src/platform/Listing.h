#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QCollatorSortKey>
#include <QStringList>
#include <QStringView>

#include <vector>

// A folder's MP3 files and the order the lists show names in (Listing.cpp).
namespace tonvola::fs {

// The program's one test for an MP3: the name ends in ".mp3", in any letter case.
[[nodiscard]] bool isMp3(QStringView name);

// A name's place in the order of the lists, worked out once: the collation is costly per name,
// so whoever orders or merges many names compares their keys, which is cheap.
// The order is the one a German reader looks a name up in: the German collation with letter
// case ignored puts umlauts and accents with their base letters (Ä with A), ß with ss, digits as
// characters ("Lied 10" before "Lied 2") and space and punctuation before digits and letters.
// Names it holds equal follow their case-folded text, then their text, then their bytes, so
// that the order is total and names that differ only in letter case stand side by side.
class ListKey
{
public:
    explicit ListKey(FileName name);

    [[nodiscard]] const FileName &name() const { return m_name; }
    friend bool operator<(const ListKey &a, const ListKey &b);

private:
    QCollatorSortKey m_collated;
    FileName m_name;
};

// The names' keys in list order.
[[nodiscard]] std::vector<ListKey> inListOrder(FileNames names);
[[nodiscard]] FileNames namesOf(const std::vector<ListKey> &keys);
void sortInListOrder(QStringList &texts);

// The MP3 files of a folder, or why they could not be listed.
struct Listing {
    FileNames names;
    // The names' places in the list order, in the same order: whoever merges the list with
    // another one needs no collation again.
    std::vector<ListKey> keys;
    FileResult result;
};

} // namespace tonvola::fs
