#include "platform/FolderByPath.h"

#include "platform/Folder.h"

namespace tonvola::fs {

FileNames mp3Names(const QString &folder)
{
    return Folder(folder).mp3Files().names;
}

QStringList mp3Files(const QString &folder)
{
    QStringList texts;
    for (const FileName &name : mp3Names(folder))
        texts.append(name.text());
    return texts;
}

FileResult checkFolder(const QString &folder)
{
    return Folder(folder).opened();
}

} // namespace tonvola::fs
