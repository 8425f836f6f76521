#include "playback/MpegAudioProbe.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>
#include <array>

namespace tonvola::playback {
namespace {

// Bit rates in kbit/s by header index. Rows: MPEG-1 Layer I, II, III; MPEG-2 and 2.5 Layer I;
// MPEG-2 and 2.5 Layers II and III.
constexpr std::array<std::array<int, 16>, 5> bitRates = {{
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
}};
constexpr std::array<int, 3> mpeg1SampleRates = {44100, 48000, 32000};

// How far past the tag the first frame may start; encoders put at most some padding there.
constexpr qint64 searchWindow = qint64(64) * 1024;
// The longest possible frame (MPEG-1 Layer II at 384 kbit/s, 32 kHz, padded) plus a header.
constexpr qint64 longestFrame = 1441 + 4;

// Length in bytes of the frame whose header starts at `h`; 0 when the bytes are no usable
// header. Free-format frames count as unusable, since only the next header tells their length.
int frameLength(const unsigned char *h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (h[1] >> 3) & 3; // 0: MPEG-2.5, 1: reserved, 2: MPEG-2, 3: MPEG-1
    const int layer = (h[1] >> 1) & 3;   // 1: Layer III, 2: Layer II, 3: Layer I, 0: reserved
    const int bitRateIndex = h[2] >> 4;
    const int sampleRateIndex = (h[2] >> 2) & 3;
    const int padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitRateIndex == 0 || bitRateIndex == 15 || sampleRateIndex == 3)
        return 0;

    const bool mpeg1 = version == 3;
    const std::size_t row = mpeg1 ? static_cast<std::size_t>(3 - layer) : (layer == 3 ? 3U : 4U);
    const int bitRate = bitRates.at(row).at(static_cast<std::size_t>(bitRateIndex)) * 1000;
    const int sampleRateShift = mpeg1 ? 0 : (version == 2 ? 1 : 2);
    const int sampleRate = mpeg1SampleRates.at(static_cast<std::size_t>(sampleRateIndex)) >> sampleRateShift;
    if (layer == 3)
        return (12 * bitRate / sampleRate + padding) * 4;
    const int bytesPerBitRateUnit = (layer == 1 && !mpeg1) ? 72 : 144;
    return bytesPerBitRateUnit * bitRate / sampleRate + padding;
}

bool sameStream(const unsigned char *a, const unsigned char *b)
{
    // Version, layer and sample rate stay the same from frame to frame.
    return (a[1] & 0xFE) == (b[1] & 0xFE) && (a[2] & 0x0C) == (b[2] & 0x0C);
}

// Where the audio starts: after an ID3v2 tag when there is one, else at the beginning.
qint64 audioStart(const QByteArray &head)
{
    if (head.size() < 10 || !head.startsWith("ID3"))
        return 0;
    const auto *h = reinterpret_cast<const unsigned char *>(head.constData());
    if (h[3] == 0xFF || h[4] == 0xFF || ((h[6] | h[7] | h[8] | h[9]) & 0x80) != 0)
        return 0;
    const qint64 size = (qint64{h[6]} << 21) | (qint64{h[7]} << 14) | (qint64{h[8]} << 7) | qint64{h[9]};
    const bool hasFooter = (h[5] & 0x10) != 0;
    return 10 + size + (hasFooter ? 10 : 0);
}

} // namespace

bool looksLikeMpegAudio(QIODevice &device)
{
    if (!device.seek(0))
        return false;
    const qint64 start = audioStart(device.read(10));
    if (!device.seek(start))
        return false;
    const QByteArray data = device.read(searchWindow + longestFrame);
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const qint64 size = data.size();
    for (qint64 at = 0; at + 4 <= std::min(size, searchWindow); ++at) {
        const int length = frameLength(bytes + at);
        if (length == 0)
            continue;
        const qint64 next = at + length;
        if (next + 4 <= size && frameLength(bytes + next) != 0 && sameStream(bytes + at, bytes + next))
            return true;
    }
    return false;
}

} // namespace tonvola::playback
