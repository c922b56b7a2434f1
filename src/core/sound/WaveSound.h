#pragma once

// Reading an uncompressed PCM WAVE file: the RIFF chunks are walked with
// every length checked against the bytes actually there.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace norvane {

constexpr std::uint16_t WavePcmFormat = 1;
constexpr std::uint32_t WaveMinSampleRate = 1000;
constexpr std::uint32_t WaveMaxSampleRate = 192000;
constexpr std::uint16_t WaveMaxChannels = 8;

struct WaveSound {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0; // 8 (unsigned) or 16 (signed little-endian)
    QByteArray samples;              // whole frames only

    std::uint32_t frameSize() const { return channels * (bitsPerSample / 8u); }
    std::uint32_t frameCount() const {
        return static_cast<std::uint32_t>(samples.size()) / frameSize();
    }
};

// The sound in a WAVE file, or nothing with the reason in `error`.
std::optional<WaveSound> parseWave(const QByteArray& file, QString* error = nullptr);

} // namespace norvane
