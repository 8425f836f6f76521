#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QCollatorSortKey>
#include <QString>
#include <QStringList>

#include <vector>

namespace tonvola::fs {

// The program's one test for an MP3: the name ends in ".mp3", in any letter case.
[[nodiscard]] bool isMp3(QStringView name);

// The system's bytes for a path.
[[nodiscard]] QByteArray nativePath(const QString &path);

// Folder and name joined with exactly one separator, also at a volume's root.
[[nodiscard]] QString joinPath(const QString &folder, const QString &name);

// The MP3 files of a folder (no sub-folders, no hidden files), in list order. Empty when the
// folder cannot be read (Folder::mp3Files says why).
[[nodiscard]] FileNames mp3Names(const QString &folder);
// The same names as they are shown.
[[nodiscard]] QStringList mp3Files(const QString &folder);
// The sub-folders of a folder (no hidden ones; links to folders count), in list order. Read
// from the entries' types, not by looking at every file: a player folder holds tens of
// thousands, and the folder list reads it at every change.
[[nodiscard]] QStringList subFolders(const QString &folder);

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

// True when both name the same directory on disk, however they are spelt.
[[nodiscard]] bool isSameDirectory(const QString &a, const QString &b);

// Ok when the folder exists and its entries can be read; otherwise says why.
[[nodiscard]] FileResult checkFolder(const QString &folder);

} // namespace tonvola::fs
