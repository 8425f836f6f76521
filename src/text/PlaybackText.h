#pragma once

#include "platform/FileResult.h"

#include <QString>

// Why the preview cannot play a file. Each reason is a sentence of its own that can follow
// cannotPlay's "kann nicht abgespielt werden:".
namespace tonvola::playbacktext {

[[nodiscard]] QString cannotPlay(const QString &name, const QString &reason);

[[nodiscard]] QString gone();
[[nodiscard]] QString notAFile();
// The file cannot be opened, for the reason given.
[[nodiscard]] QString unreadable(const fs::FileResult &why);
[[nodiscard]] QString empty();
[[nodiscard]] QString noMp3Data();
[[nodiscard]] QString noPlaybackOnSystem();
[[nodiscard]] QString accessDenied();
[[nodiscard]] QString notPlayableAsMp3();
[[nodiscard]] QString soundOutputFailed();

} // namespace tonvola::playbacktext
