#include "platform/SaveFile.h"

#include <QSaveFile>

namespace tonvola::fs {

FileResult replaceFile(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return FileResult::described(FileResult::Status::Failed, file.errorString());
    return FileResult::success();
}

} // namespace tonvola::fs
