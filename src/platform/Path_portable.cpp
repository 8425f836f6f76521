#include "platform/Path.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace tonvola::fs {

QString pathFromNative(const QByteArray &native)
{
    return QFile::decodeName(native);
}

QString localPathOf(const QUrl &url)
{
    return url.isLocalFile() ? url.toLocalFile() : QString();
}

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

bool isSameDirectory(const QString &a, const QString &b)
{
    // Without file numbers, the paths with links and dots resolved. Where a medium ignores letter
    // case, two spellings of one folder still look like two: the fill asks the medium itself
    // (isSameFolder).
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (ca.isEmpty() || cb.isEmpty())
        return QDir::cleanPath(a) == QDir::cleanPath(b);
    return ca == cb;
}

} // namespace tonvola::fs
