#pragma once

// Plays the completion sound. The core names the operation; each system
// supplies its own player.

#include <QString>

namespace norvane {

// The sound played when a scan completes, as a resource path.
inline constexpr const char* CompletionSound = ":/sound/judas_priest.wav";

class SoundPlayer {
public:
    SoundPlayer() = default;
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;
    virtual ~SoundPlayer() = default;

    // Plays a WAVE file (a resource path or a file name) to its end; false
    // when it cannot be read, parsed or played, so the caller can beep.
    virtual bool play(const QString& path) const = 0;
};

} // namespace norvane
