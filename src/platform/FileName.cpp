#include "platform/FileName.h"

#include "platform/Listing.h"

#include <QFile>

namespace tonvola {

namespace {

bool isAscii(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

} // namespace

FileName FileName::fromNative(QByteArray native)
{
    FileName name;
    name.m_text = QFile::decodeName(native);
    // Most names are plain ASCII, which always decodes to itself.
    name.m_exactText = isAscii(native) || QFile::encodeName(name.m_text) == native;
    name.m_native = std::move(native);
    return name;
}

FileName FileName::fromText(const QString &text)
{
    FileName name;
    name.m_native = QFile::encodeName(text);
    name.m_text = text;
    return name;
}

QString FilePath::text() const
{
    return fs::joinPath(folder, name.text());
}

QByteArray FilePath::native() const
{
    QByteArray path = fs::nativePath(folder);
    if (!path.endsWith('/'))
        path += '/';
    return path + name.native();
}

} // namespace tonvola
