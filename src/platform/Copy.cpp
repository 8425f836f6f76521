#include "platform/Copy.h"

#include "platform/Native_p.h"
#include "platform/WrittenRecord.h"

namespace tonvola::fs {

FileResult native::sourceChanged()
{
    return FileResult::failure(FileResult::Status::SourceChanged, FileResult::Reason::ChangedWhileCopying);
}

FileResult native::sourceInUse()
{
    return FileResult::failure(FileResult::Status::InUse, FileResult::Reason::WrittenByOther);
}

FileResult native::tooLarge()
{
    return FileResult::failure(FileResult::Status::TooLarge, FileResult::Reason::NoFileThatLarge);
}

qsizetype CopyBatch::count() const
{
    return static_cast<qsizetype>(m_staged.size());
}

qint64 CopyBatch::bytes() const
{
    return m_bytes;
}

void CopyBatch::noteNamed(WrittenRecord &record, const QList<Named> &named)
{
    // A name the batch could not give is held by another file now, whatever the record said of
    // it before.
    QList<std::pair<FileName, Entry>> copies;
    QList<QByteArray> origins;
    QList<FileName> takenBack;
    for (const Named &copy : named) {
        if (copy.named) {
            copies.append({copy.name, copy.source});
            origins.append(copy.origin);
        } else {
            takenBack.append(copy.name);
        }
    }
    record.noteCopies(copies, takenBack, origins);
}

} // namespace tonvola::fs
