#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

// A folder's path is text everywhere, also where the system holds bytes that are no text (a
// Latin-1 name from an old stick or backup): on POSIX each such byte stands in the text as one of
// the code points U+DC80 to U+DCFF, which no text holds alone, so that the path gives back
// exactly its bytes. The portable platform reaches files through Qt's names, which have no room
// for such bytes; there they become replacement characters.
//
// pathFromNative(), localPathOf(), nativePath() and isSameDirectory() differ by system
// (Path_posix.cpp, Path_portable.cpp); the rest is Path.cpp.
namespace tonvola::fs {

// The text for a path as the system gave it (the command line, config.dat, a folder's entries).
[[nodiscard]] QString pathFromNative(const QByteArray &native);
// The path a file URL names, as a file manager hands a folder over; empty for any other URL. A byte
// that is no text comes as its percent escape, which Qt's own reading of the URL would replace.
[[nodiscard]] QString localPathOf(const QUrl &url);
// The system's bytes for a path.
[[nodiscard]] QByteArray nativePath(const QString &path);
// The path to show in a window: a byte that is no text shows as a replacement character.
[[nodiscard]] QString shownPath(const QString &path);
// The byte that the text's code unit at i stands for, or -1 where it is text.
[[nodiscard]] int byteWithoutText(QStringView text, qsizetype i);

// Folder and name joined with exactly one separator, also at a volume's root.
[[nodiscard]] QString joinPath(const QString &folder, const QString &name);

// True when both name the same directory on disk, however they are spelt.
[[nodiscard]] bool isSameDirectory(const QString &a, const QString &b);

} // namespace tonvola::fs
