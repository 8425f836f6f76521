#include "platform/Folder.h"

#include "platform/Native_p.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tonvola::fs {

FileResult native::notAFile()
{
    return FileResult::failure(FileResult::Status::NotAFile, FileResult::Reason::NotARegularFile);
}

FileResult native::writeProtected()
{
    return FileResult::failure(FileResult::Status::PermissionDenied, FileResult::Reason::FileWriteProtected);
}

FileResult native::changedMeanwhile()
{
    return FileResult::failure(FileResult::Status::SourceChanged, FileResult::Reason::ChangedMeanwhile);
}

bool isBeingWritten(const Entry &entry)
{
    // Long enough for a writer that pauses between its blocks, and for FAT, which keeps
    // modification times to two seconds.
    constexpr qint64 window = 3000000000;
    // The clock is read to the millisecond, the file's time to the nanosecond: a write within
    // this millisecond shows a time just ahead. Times far ahead are a wrong clock, not a writer.
    constexpr qint64 ahead = 1000000000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000000;
    return entry.isFile() && entry.modifiedNs - now < ahead && now - entry.modifiedNs < window;
}

FileResult openForReading(const FilePath &path, QFile &file)
{
    return openForReading(Folder(path.folder), path.name, file);
}

Likeness native::compareBytes(qint64 size, const ReadUpTo &a, const ReadUpTo &b, qint64 *read)
{
    // Sized by the files, so that comparing thousands of small ones costs small buffers.
    const qint64 block = std::clamp<qint64>(size, 1, qint64(1024) * 1024);
    const auto da = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(block));
    const auto db = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(block));
    for (qint64 left = size; left > 0;) {
        const qint64 wanted = std::min(left, block);
        if (a(da.get(), wanted) != wanted || b(db.get(), wanted) != wanted
            || std::memcmp(da.get(), db.get(), static_cast<std::size_t>(wanted)) != 0)
            return Likeness::OtherBytes;
        if (read)
            *read += wanted;
        left -= wanted;
    }
    // What either file gained after it was opened is a change, which whoever acts on the
    // answer looks for anyway (Entry::isUnchangedSince).
    return Likeness::SameBytes;
}

Likeness native::compareSpan(qint64 size, Span span, const ReadUpTo &a, const ReadUpTo &b, const SkipTo &skipA,
                             const SkipTo &skipB, qint64 *read)
{
    if (span == Span::Whole || size <= 2 * tagSpan)
        return compareBytes(size, a, b, read);
    if (compareBytes(tagSpan, a, b, read) != Likeness::SameBytes)
        return Likeness::OtherBytes;
    if (!skipA(size - tagSpan) || !skipB(size - tagSpan))
        return Likeness::OtherBytes;
    return compareBytes(tagSpan, a, b, read);
}

qint64 native::matchedPrefix(qint64 size, const ReadUpTo &whole, const ReadUpTo &part)
{
    const qint64 block = std::clamp<qint64>(size, 1, qint64(1024) * 1024);
    const auto dw = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(block));
    const auto dp = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(block));
    qint64 matched = 0;
    bool matching = true;
    for (qint64 left = size; left > 0;) {
        const qint64 wanted = std::min(left, block);
        if (part(dp.get(), wanted) != wanted)
            return -1;
        // Once they differ, only the part is read: the rest of it must be zeros.
        const qint64 got = matching ? whole(dw.get(), wanted) : 0;
        if (got < 0)
            return -1;
        for (qint64 i = 0; i < wanted; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (matching && (i >= got || dw[at] != dp[at]))
                matching = false;
            if (matching)
                ++matched;
            else if (dp[at] != 0)
                return -1;
        }
        left -= wanted;
    }
    return matched;
}

} // namespace tonvola::fs
