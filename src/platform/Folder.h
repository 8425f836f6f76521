#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/Listing.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QFile;

namespace tonvola::fs {

// What a name in a folder holds, as one look at it tells.
struct Entry {
    enum class Kind { Missing, File, Other };

    Kind kind = Kind::Missing;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    // When the file or its name last changed in any way; a rename sets it too.
    qint64 changedNs = 0;
    // Where the system numbers its files; 0 where it does not tell.
    quint64 device = 0;
    quint64 inode = 0;
    // The owner may not write it (no write permission, FAT's read-only attribute): the user
    // protected it, so the program leaves it where it is.
    bool writeProtected = false;

    [[nodiscard]] bool isFile() const { return kind == Kind::File; }
    // The same file, unchanged since the other look: what a copy or a deletion checks before it
    // trusts what an earlier look told.
    [[nodiscard]] bool isUnchangedSince(const Entry &earlier) const
    {
        return kind == earlier.kind && size == earlier.size && modifiedNs == earlier.modifiedNs
               && changedNs == earlier.changedNs && device == earlier.device && inode == earlier.inode;
    }
    // Both looks saw one file under two names. Without the system's file numbers nothing is
    // known to be one file.
    [[nodiscard]] bool isSameFileAs(const Entry &other) const
    {
        return inode != 0 && device == other.device && inode == other.inode;
    }
};

// True when the file was written to moments ago: another program (a file manager, a download)
// may still be writing it, so it is neither copied nor taken away now.
[[nodiscard]] bool isBeingWritten(const Entry &entry);

// How two names compare as files.
enum class Likeness {
    SameBytes,  // two files that hold the same bytes
    OtherBytes, // two files that differ, or one of them could not be read to the end
    SameFile,   // both names lead to one file (a link, the same folder in two spellings)
    Unreadable, // either is not there or cannot be opened
};

// A folder opened once. Everything done through it stays in that folder, also when its
// path later leads elsewhere: a medium unmounted under a run cannot redirect its writes
// into the bare mount point left behind. The portable path, which reaches folders only by their
// paths, cannot hold it so; it notices that the path leads elsewhere (isReachable), and a run
// asks that between its steps.
class Folder
{
public:
    Folder();
    // Opens the folder; opened() says whether that worked and why not.
    explicit Folder(QString path);
    ~Folder();
    Folder(const Folder &) = delete;
    Folder &operator=(const Folder &) = delete;
    Folder(Folder &&other) noexcept;
    Folder &operator=(Folder &&other) noexcept;

    [[nodiscard]] const FileResult &opened() const { return m_opened; }
    [[nodiscard]] bool isOpen() const { return m_opened.ok(); }
    [[nodiscard]] const QString &path() const { return m_path; }
    [[nodiscard]] FilePath pathOf(const FileName &name) const { return {m_path, name}; }
    // The system's handle, for the other parts of the platform layer; -1 where there is none.
    [[nodiscard]] int handle() const;

    // True when both are the same folder on disk, however their paths are spelt.
    [[nodiscard]] bool isSameAs(const Folder &other) const;
    // True while the folder's path still leads to this folder: false once the folder is gone,
    // replaced, or its medium unmounted.
    [[nodiscard]] bool isReachable() const;

    // The MP3 files (no sub-folders, no hidden files) in list order, or as the folder holds them
    // for a caller that only looks names up: ordering tens of thousands of names costs a
    // collation key each.
    enum class Order { List, None };
    // folders, where given, receives the sub-folders as subFolders() lists them, from the same
    // pass through the folder.
    [[nodiscard]] Listing mp3Files(Order order = Order::List, FileNames *folders = nullptr) const;
    // The folders in this one, as the folder holds them: no hidden ones, no links to folders,
    // and none that is another medium mounted here.
    [[nodiscard]] Listing subFolders() const;
    // The MP3 files of a folder listed by subFolders(), each with a look at it, and its own
    // sub-folders, read in one pass: what a walk through thousands of album folders needs of
    // each. A link put in its place is not followed, nor is another medium mounted there
    // (NotAFile).
    struct Contents {
        FileNames files;
        std::vector<Entry> entries;
        FileNames folders;
        FileResult result;
    };
    [[nodiscard]] Contents readChild(const FileName &name) const;
    // Opens a folder listed by subFolders(). A link put in its place meanwhile is not followed,
    // nor is another medium mounted there.
    [[nodiscard]] Folder child(const FileName &name) const;
    // Follows links, as opening the name would.
    [[nodiscard]] Entry look(const FileName &name) const;
    // Deletes a file; refuses folders and files the user protected.
    [[nodiscard]] FileResult remove(const FileName &name) const;
    // Deletes the file only while it is still the one an earlier look saw, unchanged: a file
    // another program replaced or wrote to meanwhile stays (SourceChanged).
    [[nodiscard]] FileResult removeIfUnchanged(const FileName &name, const Entry &seen) const;

    // What the file system turned out not to offer, learnt by the first copy that asked.
    struct Abilities {
        bool unnamedFiles = true;
        bool exclusiveRename = true;
        bool hardLinks = true;
        // The system's number for the folder's file system, once asked: on FUSE the question
        // costs as much as a count of the medium's free clusters.
        std::optional<unsigned long> fileSystem;
    };
    [[nodiscard]] Abilities &abilities() const { return m_abilities; }

private:
    // What the system keeps of the open folder: Folder_posix.cpp, Folder_portable.cpp.
    struct Native;

    QString m_path;
    mutable Abilities m_abilities;
    FileResult m_opened = FileResult::failure(FileResult::Status::NotFound, {});
    std::unique_ptr<Native> m_native;
};

// Opens a file of the folder for reading without waiting: anything that is not a file (a
// pipe, a device) is refused, never waited on.
[[nodiscard]] FileResult openForReading(const Folder &folder, const FileName &name, QFile &file);
[[nodiscard]] FileResult openForReading(const FilePath &path, QFile &file);

// How much of two files of one size a comparison reads.
enum class Span {
    Whole,
    // Only the first and the last tagSpan bytes, where ID3v2, ID3v1 and APE tags live: what
    // changes in an MP3 file that keeps its size. Enough for a copy of the program's whose
    // record and both files' sizes and times say that nothing else changed.
    Tags,
};
inline constexpr qint64 tagSpan = qint64(128) * 1024;

// Compares two files byte by byte, whole or as the span says. Two names that lead to one file
// are no two copies of it. seenA and seenB, when given, receive what the compared files were
// when they were opened; read, when given, the bytes read of each.
[[nodiscard]] Likeness compareFiles(const Folder &a, const FileName &aName, const Folder &b, const FileName &bName,
                                    Entry *seenA = nullptr, Entry *seenB = nullptr, Span span = Span::Whole,
                                    qint64 *read = nullptr);

// True when the part's bytes begin the whole file and what follows them, if anything, is zeros,
// and the part is not the whole: what a copy cut short leaves, by a power cut or a medium that
// wrote its size before its data. A file of other bytes is no cut copy of the whole, whatever a
// record says of it.
[[nodiscard]] bool isCutShortOf(const Folder &whole, const FileName &wholeName, const Folder &part,
                                const FileName &partName);

} // namespace tonvola::fs
