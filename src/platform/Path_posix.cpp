#include "platform/Path.h"

#include <QDir>
#include <QUrl>

#include <sys/stat.h>

namespace tonvola::fs {

namespace {

// The length of the UTF-8 sequence at the start of the bytes, or 0 where none begins there (a
// Latin-1 letter, an overlong form, a surrogate, a sequence cut short).
qsizetype utf8Length(const unsigned char *bytes, qsizetype left)
{
    const unsigned char lead = bytes[0];
    if (lead < 0x80)
        return 1;
    const auto follows = [&](qsizetype k, unsigned char low = 0x80, unsigned char high = 0xbf) {
        return k < left && bytes[k] >= low && bytes[k] <= high;
    };
    if (lead >= 0xc2 && lead <= 0xdf)
        return follows(1) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        const unsigned char low = lead == 0xe0 ? 0xa0 : 0x80;
        const unsigned char high = lead == 0xed ? 0x9f : 0xbf;
        return follows(1, low, high) && follows(2) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const unsigned char low = lead == 0xf0 ? 0x90 : 0x80;
        const unsigned char high = lead == 0xf4 ? 0x8f : 0xbf;
        return follows(1, low, high) && follows(2) && follows(3) ? 4 : 0;
    }
    return 0;
}

} // namespace

QString pathFromNative(const QByteArray &native)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(native.constData());
    const qsizetype size = native.size();
    QString path;
    qsizetype text = 0;
    for (qsizetype i = 0; i < size;) {
        if (const qsizetype length = utf8Length(bytes + i, size - i); length > 0) {
            i += length;
            continue;
        }
        path += QString::fromUtf8(native.constData() + text, i - text);
        path += QChar(static_cast<char16_t>(0xdc00 + bytes[i]));
        text = ++i;
    }
    path += QString::fromUtf8(native.constData() + text, size - text);
    return path;
}

QString localPathOf(const QUrl &url)
{
    if (!url.isLocalFile())
        return {};
    return pathFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QByteArray nativePath(const QString &path)
{
    QByteArray native;
    qsizetype text = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (const int byte = byteWithoutText(path, i); byte >= 0) {
            native += QStringView(path).mid(text, i - text).toUtf8();
            native += static_cast<char>(byte);
            text = i + 1;
        }
    }
    native += QStringView(path).mid(text).toUtf8();
    return native;
}

bool isSameDirectory(const QString &a, const QString &b)
{
    struct stat sa {};
    struct stat sb {};
    if (::stat(nativePath(a).constData(), &sa) != 0 || ::stat(nativePath(b).constData(), &sb) != 0)
        return QDir::cleanPath(a) == QDir::cleanPath(b);
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

} // namespace tonvola::fs
