#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QString>
#include <QStringList>

class QFileSystemWatcher;

// A folder named by its path, opened afresh at every call: what the window's lists and the
// settings ask of a path. subFolders() and watchFolder() differ by system
// (FolderByPath_posix.cpp, FolderByPath_portable.cpp); the rest is FolderByPath.cpp.
namespace tonvola::fs {

// The MP3 files of a folder (no sub-folders, no hidden files), in list order. Empty when the
// folder cannot be read (Folder::mp3Files says why).
[[nodiscard]] FileNames mp3Names(const QString &folder);
// The same names as they are shown.
[[nodiscard]] QStringList mp3Files(const QString &folder);
// The sub-folders of a folder (no hidden ones; links to folders count), in list order. Read
// from the entries' types, not by looking at every file: a player folder holds tens of
// thousands, and the folder list reads it at every change.
[[nodiscard]] QStringList subFolders(const QString &folder);

// Ok when the folder exists and its entries can be read; otherwise says why.
[[nodiscard]] FileResult checkFolder(const QString &folder);

// Has the watcher tell the folder's changes; false when it cannot watch it. Qt watches a folder by
// the name it makes of the path, which has no room for bytes that are no text; such a folder is
// watched under the name the system gives the open folder, where it has one.
bool watchFolder(QFileSystemWatcher &watcher, const QString &folder);

} // namespace tonvola::fs
