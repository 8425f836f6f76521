#pragma once

#include "platform/FileName.h"
#include "platform/FileResult.h"

#include <QString>
#include <QStringList>

namespace tonvola::fs {

// The program's one test for an MP3: the name ends in ".mp3", in any letter case.
[[nodiscard]] bool isMp3(QStringView name);

// The system's bytes for a path.
[[nodiscard]] QByteArray nativePath(const QString &path);

// Folder and name joined with exactly one separator, also at a volume's root.
[[nodiscard]] QString joinPath(const QString &folder, const QString &name);

// The MP3 files of a folder (no sub-folders, no hidden files), in a stable case-insensitive
// alphabetical order. Empty when the folder cannot be read (Folder::mp3Files says why).
[[nodiscard]] FileNames mp3Names(const QString &folder);
// The same names as they are shown.
[[nodiscard]] QStringList mp3Files(const QString &folder);

// The order of the lists, by the names' texts; lists kept by callers stay in the same order
// with it. Names of the same text (possible only where the bytes are no valid text) follow
// their bytes.
[[nodiscard]] bool listsBefore(const QString &a, const QString &b);
[[nodiscard]] bool listsBefore(const FileName &a, const FileName &b);
void sortInListOrder(FileNames &names);

// True when both name the same directory on disk, however they are spelt.
[[nodiscard]] bool isSameDirectory(const QString &a, const QString &b);

// Ok when the folder exists and its entries can be read; otherwise says why.
[[nodiscard]] FileResult checkFolder(const QString &folder);

} // namespace tonvola::fs
