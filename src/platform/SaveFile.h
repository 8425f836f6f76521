#pragma once

#include "platform/FileResult.h"

#include <QByteArray>
#include <QString>

namespace tonvola::fs {

// Replaces a small file whole: the content is written under a hidden temporary name beside it,
// flushed, and renamed over the old file, so that a failure or a power cut leaves the old file
// or the new one, never a mix. The new file keeps the old one's permissions. A failure says
// why in the program's language.
[[nodiscard]] FileResult replaceFile(const QString &path, const QByteArray &content);

} // namespace tonvola::fs
