#include "WaveSound.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace norvane {

namespace {

constexpr qsizetype RiffHeaderSize = 12;
constexpr qsizetype ChunkHeaderSize = 8;
constexpr qsizetype PcmFormatSize = 16;

std::optional<WaveSound> reject(QString* error, const char* reason) {
    if (error)
        *error = QString::fromLatin1(reason);
    return std::nullopt;
}

std::uint16_t u16(const char* at) {
    return qFromLittleEndian<std::uint16_t>(at);
}
std::uint32_t u32(const char* at) {
    return qFromLittleEndian<std::uint32_t>(at);
}

} // namespace

std::optional<WaveSound> parseWave(const QByteArray& file, QString* error) {
    if (file.size() < RiffHeaderSize || !file.startsWith("RIFF") ||
        file.mid(8, 4) != QByteArrayLiteral("WAVE"))
        return reject(error, "not a RIFF WAVE file");
    // The RIFF size bounds the chunks, but never beyond the bytes present.
    const qsizetype end = std::min<qsizetype>(
        file.size(), ChunkHeaderSize + static_cast<qsizetype>(u32(file.constData() + 4)));

    WaveSound sound;
    bool haveFormat = false;
    qsizetype at = RiffHeaderSize;
    while (end - at >= ChunkHeaderSize) {
        const char* header = file.constData() + at;
        const qsizetype size = u32(header + 4);
        const qsizetype body = at + ChunkHeaderSize;
        if (size > end - body)
            return reject(error, "chunk runs past the end of the file");
        if (std::memcmp(header, "fmt ", 4) == 0) {
            if (size < PcmFormatSize)
                return reject(error, "format chunk too short");
            const char* format = file.constData() + body;
            if (u16(format) != WavePcmFormat)
                return reject(error, "not uncompressed PCM");
            sound.channels = u16(format + 2);
            sound.sampleRate = u32(format + 4);
            const std::uint16_t blockAlign = u16(format + 12);
            sound.bitsPerSample = u16(format + 14);
            if (sound.channels == 0 || sound.channels > WaveMaxChannels)
                return reject(error, "unsupported channel count");
            if (sound.bitsPerSample != 8 && sound.bitsPerSample != 16)
                return reject(error, "unsupported sample size");
            if (sound.sampleRate < WaveMinSampleRate || sound.sampleRate > WaveMaxSampleRate)
                return reject(error, "unsupported sample rate");
            if (blockAlign != sound.frameSize())
                return reject(error, "block alignment does not match the format");
            haveFormat = true;
        } else if (std::memcmp(header, "data", 4) == 0) {
            if (!haveFormat)
                return reject(error, "sound data before its format");
            sound.samples = file.mid(body, size - size % sound.frameSize());
            if (sound.samples.isEmpty())
                return reject(error, "no sound data");
            return sound;
        }
        // Chunks are word aligned: an odd size is followed by a pad byte.
        at = body + size + (size & 1);
    }
    return reject(error, haveFormat ? "no sound data" : "no format chunk");
}

} // namespace norvane
