#pragma once

class QIODevice;

namespace tonvola::playback {

// True when the data, after an ID3v2 tag, begin with two MPEG audio frames in a row. Cheap
// enough to run before every preview: it turns away text and other data that merely carry the
// .mp3 name before the decoder sees them, which in Qt 6.4 would stall the window for a second.
// Reads from the device's start; the device must allow seeking.
[[nodiscard]] bool looksLikeMpegAudio(QIODevice &device);

} // namespace tonvola::playback
