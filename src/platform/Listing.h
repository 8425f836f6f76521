#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QCollatorSortKey>
#include <QString>
#include <QStringList>

#include <vector>

class QFileSystemWatcher;
class QUrl;

namespace tonvola::fs {

// The program's one test for an MP3: the name ends in ".mp3", in any letter case.
[[nodiscard]] bool isMp3(QStringView name);

// A folder's path is text everywhere, also where the system holds bytes that are no text (a
// Latin-1 name from an old stick or backup): on POSIX each such byte stands in the text as one of
// the code points U+DC80 to U+DCFF, which no text holds alone, so that the path gives back
// exactly its bytes. The portable platform reaches files through Qt's names, which have no room
// for such bytes; there they become replacement characters.
// The text for a path as the system gave it (the command line, config.dat, a folder's entries).
[[nodiscard]] QString pathFromNative(const QByteArray &native);
// The path a file URL names, as a file manager hands a folder over; empty for any other URL. A byte
// that is no text comes as its percent escape, which Qt's own reading of the URL would replace.
[[nodiscard]] QString localPathOf(const QUrl &url);
// The system's bytes for a path.
[[nodiscard]] QByteArray nativePath(const QString &path);
// The path to show in a window: a byte that is no text shows as a replacement character.
[[nodiscard]] QString shownPath(const QString &path);
// The byte that the text's code unit at i stands for, or -1 where it is text.
[[nodiscard]] int byteWithoutText(QStringView text, qsizetype i);

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

// Has the watcher tell the folder's changes; false when it cannot watch it. Qt watches a folder by
// the name it makes of the path, which has no room for bytes that are no text; such a folder is
// watched under the name the system gives the open folder, where it has one.
bool watchFolder(QFileSystemWatcher &watcher, const QString &folder);

} // namespace tonvola::fs
