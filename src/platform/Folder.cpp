#include "platform/Folder.h"

#include "platform/Native.h"

#include <QDateTime>
#include <QFile>

#include <cstring>
#include <memory>

namespace tonvola::fs {

FileResult native::notAFile()
{
    return FileResult::failure(FileResult::Status::NotAFile, QStringLiteral("Das ist keine gewöhnliche Datei"));
}

FileResult native::writeProtected()
{
    return FileResult::failure(FileResult::Status::PermissionDenied, QStringLiteral("Die Datei ist schreibgeschützt"));
}

FileResult native::changedMeanwhile()
{
    return FileResult::failure(FileResult::Status::SourceChanged,
                               QStringLiteral("Die Datei wurde inzwischen verändert"));
}

bool isBeingWritten(const Entry &entry)
{
    // Long enough for a writer that pauses between its blocks, and for FAT, which keeps
    // modification times to two seconds.
    constexpr qint64 window = 3000000000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000000;
    return entry.isFile() && entry.modifiedNs <= now && now - entry.modifiedNs < window;
}

FileResult openForReading(const FilePath &path, QFile &file)
{
    return openForReading(Folder(path.folder), path.name, file);
}

Likeness compareFiles(const Folder &a, const FileName &aName, const Folder &b, const FileName &bName, Entry *seenA,
                      Entry *seenB)
{
    QFile fa;
    QFile fb;
    if (!openForReading(a, aName, fa).ok() || !openForReading(b, bName, fb).ok())
        return Likeness::Unreadable;
    const std::optional<Entry> ea = native::openedEntry(a, aName, fa);
    const std::optional<Entry> eb = native::openedEntry(b, bName, fb);
    if (!ea || !eb)
        return Likeness::Unreadable;
    // Deleting one of them because of the other would delete the only copy.
    if (native::isSameFile(fa, *ea, fb, *eb))
        return Likeness::SameFile;
    if (seenA)
        *seenA = *ea;
    if (seenB)
        *seenB = *eb;
    if (fa.size() != fb.size())
        return Likeness::OtherBytes;
    constexpr qint64 block = qint64(1024) * 1024;
    const auto da = std::make_unique_for_overwrite<char[]>(block);
    const auto db = std::make_unique_for_overwrite<char[]>(block);
    for (;;) {
        const qint64 na = fa.read(da.get(), block);
        const qint64 nb = fb.read(db.get(), block);
        if (na != nb || na < 0)
            return Likeness::OtherBytes;
        if (na == 0)
            return Likeness::SameBytes;
        if (std::memcmp(da.get(), db.get(), static_cast<std::size_t>(na)) != 0)
            return Likeness::OtherBytes;
    }
}

} // namespace tonvola::fs
