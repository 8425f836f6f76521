#include "platform/Path.h"

#include <QDir>

namespace tonvola::fs {

int byteWithoutText(QStringView text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (c < 0xdc80 || c > 0xdcff || (i > 0 && text[i - 1].isHighSurrogate()))
        return -1;
    return c - 0xdc00;
}

QString shownPath(const QString &path)
{
    QString shown = QDir::toNativeSeparators(path);
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (byteWithoutText(shown, i) >= 0)
            shown[i] = QChar::ReplacementCharacter;
    }
    return shown;
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + name;
    return folder + QDir::separator() + name;
}

} // namespace tonvola::fs
