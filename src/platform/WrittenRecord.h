#pragma once

#include "platform/FileName.h"
#include "platform/Folder.h"

#include <QHash>

#include <functional>
#include <memory>

namespace tonvola::fs {

// What the program wrote into a player folder: each copy's name, size and modification time, and
// when it was written. A copy of the program's that did not arrive whole (the power cut on a
// stick, a copy of an older version of the program that named its files before their data was
// safe) can so be told from a file of the user's of the same name, and replaced.
//
// The record is a hidden file in the folder. A copy is noted in it once it has its name, never
// before: a name the program could not give is another file's. The record never outweighs the
// medium: it only names the files worth a look (shorter than written), the bytes then decide
// (isCutShortOf()), and a missing or broken record reads as an empty one and is never a failure.
class WrittenRecord
{
public:
    WrittenRecord();
    // Reads the record of the folder.
    explicit WrittenRecord(const Folder &folder);
    ~WrittenRecord();
    WrittenRecord(const WrittenRecord &) = delete;
    WrittenRecord &operator=(const WrittenRecord &) = delete;

    // The record's own name in the folder.
    [[nodiscard]] static FileName fileName();
    // How much the record grows, at most, when it notes a copy or the removal of this name; a
    // plan counts it, since the record takes room on the player too.
    [[nodiscard]] static qint64 growthFor(const FileName &name, bool copy);
    [[nodiscard]] static qint64 headerSize();

    [[nodiscard]] bool contains(const FileName &name) const { return m_items.contains(name.native()); }
    // When the program wrote the file of that name, in seconds since the epoch; -1 when the
    // record does not know the name.
    [[nodiscard]] qint64 writtenAt(const FileName &name) const
    {
        const auto found = m_items.constFind(name.native());
        return found == m_items.cend() ? -1 : found->writtenAtS;
    }
    // True when the file now under that name may be a copy of the program's that did not arrive
    // whole: its bytes have the last word.
    [[nodiscard]] bool isBrokenCopy(const FileName &name, const Entry &now) const;
    // True when the player's file of that name is still the copy written, and the collection's
    // file still the one it was copied from: both have the size and time the record noted. What
    // can then differ between them without the system noticing are the tags a program rewrote
    // in place (fs::Span::Tags).
    [[nodiscard]] bool vouchesFor(const FileName &name, const Entry &onPlayer, const Entry &inCollection) const;

    // Notes copies just named, as they are on the medium, and takes back what it said of names
    // another file took before a copy could have them, in one write: on a medium in user space
    // every write is a round trip to its file system's process.
    // origins, where given, says for each copy where its source lies below the collection.
    void noteCopies(const QList<std::pair<FileName, Entry>> &copies, const QList<FileName> &takenBack = {},
                    const QList<QByteArray> &origins = {});
    // Where the copy of that name came from below the collection, as its record says ("Artist/Album/01.mp3");
    // empty when it does not say.
    [[nodiscard]] QByteArray originOf(const FileName &name) const { return m_origins.value(name.native()); }
    // Notes that the program takes the file away.
    void noteRemoved(const FileName &name);
    // The open record, for flushing it with the copies; -1 when it is not open.
    [[nodiscard]] int handle() const;
    // Rewrites the record with only the names the folder still holds, once it has grown by names
    // that are gone. True when it did.
    bool keepOnly(const std::function<bool(const FileName &)> &present);

private:
    struct Item {
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 writtenAtS = 0;
    };
    // The open record: WrittenRecord_posix.cpp, WrittenRecord_portable.cpp.
    struct Log;

    [[nodiscard]] static QByteArrayView header();
    void read();
    void readLine(QByteArrayView line);
    void append(const QByteArray &lines, qsizetype count = 1);
    // Adds a line to the record on the medium; what went wrong, or nothing.
    [[nodiscard]] QString appendLine(const QByteArray &line);
    // Puts the content in the record's place once it is whole on the medium; what went wrong,
    // or nothing.
    [[nodiscard]] QString replaceWith(const QByteArray &content);

    const Folder *m_folder = nullptr;
    QHash<QByteArray, Item> m_items;
    // Only copies of a collection's sub-folders have one.
    QHash<QByteArray, QByteArray> m_origins;
    qsizetype m_lines = 0;
    std::unique_ptr<Log> m_log;
};

} // namespace tonvola::fs
