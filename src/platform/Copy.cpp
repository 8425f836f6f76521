#include "platform/Copy.h"

#include "platform/Native_p.h"
#include "platform/WrittenRecord.h"

namespace tonvola::fs {

FileResult native::sourceChanged()
{
    return FileResult::failure(FileResult::Status::SourceChanged,
                               QStringLiteral("Die Datei wurde während des Kopierens verändert"));
}

FileResult native::sourceInUse()
{
    return FileResult::failure(FileResult::Status::InUse,
                               QStringLiteral("Die Datei wird gerade von einem anderen Programm geschrieben"));
}

FileResult native::tooLarge()
{
    return FileResult::failure(FileResult::Status::TooLarge,
                               QStringLiteral("Der Datenträger nimmt keine Datei dieser Größe auf"));
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
