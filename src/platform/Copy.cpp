#include "platform/Copy.h"

#include "platform/Native.h"

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

} // namespace tonvola::fs
