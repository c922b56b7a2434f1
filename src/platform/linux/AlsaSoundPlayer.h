#pragma once

// Plays a WAVE file to its end through ALSA and returns when it has been
// heard, so the caller can fall back to the default beep when it could not
// be played. Without a sound device it returns false at once; a device that
// stops taking sound is given up after a bounded wait. What the sound
// library has to say goes to the sound diagnostics, not to standard error.

#include "platform/SoundPlayer.h"

#include <QString>

#include <chrono>

namespace norvane {

struct WaveSound;

class AlsaSoundPlayer : public SoundPlayer {
public:
    // How long a write may wait for the device to take more sound.
    static constexpr std::chrono::milliseconds WriteTimeout{1000};
    // How long past the sound's own length the end of playing is awaited.
    static constexpr std::chrono::milliseconds DrainMargin{500};
    // The device buffer: short, so the end of the sound is near the end of
    // the writes.
    static constexpr unsigned LatencyMicroseconds = 100000;
    // Larger sound files are not read.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    explicit AlsaSoundPlayer(QString device = QStringLiteral("default"))
        : m_device(std::move(device)) {}

    // Plays a WAVE file (a resource path or a file name); false when it
    // cannot be read, parsed or played.
    bool play(const QString& path) const override;
    bool play(const WaveSound& sound) const;

private:
    QString m_device;
};

} // namespace norvane
