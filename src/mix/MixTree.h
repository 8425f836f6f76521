#pragma once

#include "platform/FileName.h"
#include "platform/Folder.h"
#include "platform/Medium.h"

#include <QHash>
#include <QList>

#include <atomic>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tonvola {

// The folders below a collection, for a fill that takes their files too. Each is opened once,
// from its parent and without following links, so that what the walk saw is what a copy
// reads and a move back writes. Folders are known by their path below the collection, the
// names joined by '/'; the collection itself is -1 and has the empty path.
class MixTree
{
public:
    explicit MixTree(const fs::Folder &root) : m_root(root) {}

    struct File {
        qsizetype folder = -1;
        fs::FileName own;
        // As the walk looked at it, while its folder was open.
        fs::Entry entry;
    };
    struct Unreadable {
        QByteArray path;
        fs::FileResult why;
    };

    // The MP3 files of every folder below the collection that is not hidden, no link and on the
    // collection's medium; the collection's own files are not among them. A folder that cannot
    // be read is named in `unreadable`, and the walk goes on without it. With firstOnly the walk
    // ends at the first folder that holds a file.
    void walk(std::vector<File> &files, QList<Unreadable> &unreadable, const std::atomic_bool *cancel,
              bool firstOnly = false);

    // The folder, opened from its parent where it is not open now. The reference holds until
    // the next trim().
    [[nodiscard]] const fs::Folder &folder(qsizetype index) const;
    [[nodiscard]] QByteArray path(qsizetype index) const
    {
        return index < 0 ? QByteArray() : m_known[static_cast<std::size_t>(index)].path;
    }
    // The folder at that path, known to the walk or looked up now: -1 for the collection itself
    // and for a path that leads to no folder (any more).
    [[nodiscard]] qsizetype find(const QByteArray &path);
    // Closes the folders opened so far once there are many: a collection of ten thousand album
    // folders would take more descriptors than a process may hold. Only where no reference
    // that folder() gave is kept.
    void trim() const;

private:
    struct Known {
        qsizetype parent = -1;
        fs::FileName name;
        QByteArray path;
    };
    qsizetype add(qsizetype parent, const fs::FileName &name);

    const fs::Folder &m_root;
    std::vector<Known> m_known;
    QHash<QByteArray, qsizetype> m_byPath;
    // Paths that were asked for and lead nowhere: asked once.
    QHash<QByteArray, bool> m_missing;
    mutable std::unordered_map<qsizetype, std::unique_ptr<fs::Folder>> m_open;
};

// True when a folder below the collection holds an MP3 file: a collection of artist and album
// folders, whose fill without them would find nothing.
[[nodiscard]] bool hasMp3Below(const fs::Folder &root);

// A file's name on the player where another file of the collection has its own name: its path
// below the collection joined by " - " ("Artist - Album - 01 Intro.mp3"). Too long a name is
// cut to longest bytes and to 255 UTF-16 units (what FAT and exFAT hold) and ends in a short
// mark of the whole path, so that it stays one file's name; its ending stays.
[[nodiscard]] fs::FileName treeName(const QByteArray &path, const fs::FileName &own, qsizetype longest);

} // namespace tonvola
