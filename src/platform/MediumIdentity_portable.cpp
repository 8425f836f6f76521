#include "platform/MediumIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace tonvola::fs {

QByteArray mediumIdentity(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (canonical.isEmpty())
        return {};
    const QStorageInfo medium(canonical);
    // Qt tells the label, not the UUID; a label is what the user gave the stick, and stays.
    if (!medium.isValid() || medium.name().isEmpty())
        return "path:" + QFile::encodeName(canonical);
    const QString within = QDir(medium.rootPath()).relativeFilePath(canonical);
    return "label:" + medium.name().toUtf8() + ":/" + QFile::encodeName(within == u"." ? QString() : within);
}

} // namespace tonvola::fs
