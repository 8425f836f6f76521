#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"
#include "platform/FlushAhead.h"
#include "platform/Folder.h"
#include "platform/Temporary.h"

#include <QList>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace tonvola::fs {

struct CopyOptions {
    // Checked between chunks, so that even a large file gives way within moments.
    const std::atomic_bool *cancel = nullptr;
    std::function<void(qint64 copied, qint64 total)> progress;
    // The source as an earlier look saw it: a source that is not that file any more, or
    // changed since, is not copied (SourceChanged).
    std::optional<Entry> expected;
    // The copy's name, where it is not the source's own.
    FileName as;
    // The folder the copy goes into, where it is not the batch's own; on the batch's medium.
    const Folder *into = nullptr;
    // Where the source lies below the collection, for the record of the copies.
    QByteArray origin;
};

class WrittenRecord;

// Copies files of other folders into one folder (or folders of its medium) under their own
// names or the ones asked for, several at a time. Each
// copy is written under no name or a hidden temporary one; commit() then brings all data onto
// the medium and only after that gives each copy its name. So whatever ends a run (a failure, a
// cancel, a pulled stick, a power cut) leaves no partial file under a real name, and the cost
// of flushing a stick is paid once for many copies. A copy never replaces an existing file.
//
// A source is refused when it is no file (NotAFile), was written to moments ago (InUse) or
// changes while it is read (SourceChanged): another program is writing it, and a copy of it
// would be broken. A file the medium cannot hold gives TooLarge, a folder that takes no more
// entries FolderFull, a name the medium refuses NameRefused, a name another entry holds
// (another spelling, a FAT short name) AlreadyExists. The copies keep the modification time.
class CopyBatch
{
public:
    explicit CopyBatch(const Folder &to);
    // Whatever was added and not committed is thrown away.
    ~CopyBatch();
    CopyBatch(const CopyBatch &) = delete;
    CopyBatch &operator=(const CopyBatch &) = delete;

    // Writes the copy's data; it has no name until commit().
    [[nodiscard]] FileResult add(const Folder &from, const FileName &name, const CopyOptions &options = {});

    [[nodiscard]] qsizetype count() const;
    [[nodiscard]] qint64 bytes() const;
    [[nodiscard]] bool isEmpty() const { return count() == 0; }

    struct Named {
        FileName name;
        FileResult result;
        // The source as it was copied.
        Entry source;
        // The copy has its name, also where a step after the naming failed.
        bool named = false;
        // The folder the copy went into.
        const Folder *folder = nullptr;
        QByteArray origin;
    };
    enum class Names {
        // Their names reach the medium with the next flush, of the next batch or the run's end.
        Later,
        // Their names are on the medium when commit() returns: the sources may be deleted then.
        Flushed,
    };
    // Writes everything added onto the medium, then names each copy, in the order they were
    // added. The record, when given, learns the copies that got their names, in one write: a
    // name the batch could not give is another file's, which the record must never claim.
    [[nodiscard]] QList<Named> commit(WrittenRecord *record = nullptr, Names names = Names::Later);
    // Throws away what was added.
    void discard();

private:
    // A copy added and waiting for its name, with what became of it: each system's own
    // (Copy_posix.cpp, Copy_portable.cpp).
    struct Staged;
    // The steps of commit(). The portable half, whose copies are on the medium once added, only
    // names them; the POSIX half hands them over, flushes, names and closes them.
    [[nodiscard]] QList<int> handOver(const WrittenRecord *record);
    void giveNames();
    [[nodiscard]] FileResult flushNames() const;
    void closeFiles();
    void failAll(const FileResult &failure);
    [[nodiscard]] QList<Named> outcomes() const;
    static void noteNamed(WrittenRecord &record, const QList<Named> &named);
    const Folder &m_to;
    // Asked once: the medium answers the question by counting its free clusters on FUSE.
    qint64 m_largestFile;
    bool m_startWriting = true;
    std::vector<std::unique_ptr<Staged>> m_staged;
    // Where the medium writes nothing until it is flushed, it flushes while the next copies are written.
    std::unique_ptr<FlushAhead> m_flushAhead;
    qint64 m_bytes = 0;
};

} // namespace tonvola::fs
