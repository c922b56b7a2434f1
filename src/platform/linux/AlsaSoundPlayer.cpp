#include "AlsaSoundPlayer.h"

#include "Logging.h"
#include "sound/WaveSound.h"

#include <QFile>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace norvane {

namespace {

using Clock = std::chrono::steady_clock;

// The sound library's messages, which it would otherwise print on standard
// error (a dozen lines at every scan's end on a machine without a sound
// device), go to the sound diagnostics: silent unless switched on.
__attribute__((format(printf, 5, 6))) void logAlsaMessage(const char* file, int line,
                                                          const char* function, int error,
                                                          const char* format, ...) {
    constexpr std::size_t MaxMessage = 512;
    char text[MaxMessage];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    qCDebug(lcSound, "ALSA %s:%d %s: %s%s%s", file, line, function, text, error != 0 ? ": " : "",
            error != 0 ? snd_strerror(error) : "");
}

void routeAlsaMessages() {
    static std::once_flag routed;
    std::call_once(routed, [] { snd_lib_error_set_handler(&logAlsaMessage); });
}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const {
        snd_pcm_drop(pcm);
        snd_pcm_close(pcm);
    }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

// Writes every frame. The device stays non-blocking; when it is full the
// write waits on the device's descriptors for at most WriteTimeout, and the
// whole write ends at the deadline.
bool writeAll(snd_pcm_t* pcm, const WaveSound& sound, Clock::time_point deadline) {
    const char* data = sound.samples.constData();
    snd_pcm_uframes_t left = sound.frameCount();
    const auto timeoutMs = static_cast<int>(AlsaSoundPlayer::WriteTimeout.count());
    while (left > 0) {
        if (Clock::now() >= deadline)
            return false;
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, left);
        if (written == -EAGAIN) {
            if (snd_pcm_wait(pcm, timeoutMs) <= 0 && snd_pcm_avail_update(pcm) <= 0)
                return false;
            continue;
        }
        if (written < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(written), 1) < 0)
                return false;
            continue;
        }
        data += static_cast<std::size_t>(written) * sound.frameSize();
        left -= static_cast<snd_pcm_uframes_t>(written);
    }
    return true;
}

// Sleeps until the device has played what it holds, or the bound is reached.
void awaitPlayed(snd_pcm_t* pcm, std::uint32_t sampleRate, Clock::time_point deadline) {
    constexpr std::chrono::milliseconds MaxSleep{100};
    while (Clock::now() < deadline && snd_pcm_state(pcm) == SND_PCM_STATE_RUNNING) {
        snd_pcm_sframes_t queued = 0;
        if (snd_pcm_delay(pcm, &queued) < 0 || queued <= 0)
            return;
        const std::chrono::milliseconds remaining{queued * 1000 / sampleRate + 1};
        std::this_thread::sleep_for(
            std::min({remaining, MaxSleep,
                      std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now())}));
    }
}

} // namespace

bool AlsaSoundPlayer::play(const QString& path) const {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxFileSize)
        return false;
    const std::optional<WaveSound> sound = parseWave(file.readAll());
    return sound && play(*sound);
}

bool AlsaSoundPlayer::play(const WaveSound& sound) const {
    routeAlsaMessages();
    snd_pcm_t* handle = nullptr;
    if (snd_pcm_open(&handle, m_device.toLocal8Bit().constData(), SND_PCM_STREAM_PLAYBACK,
                     SND_PCM_NONBLOCK) < 0)
        return false;
    const Pcm pcm(handle);
    const snd_pcm_format_t format =
        sound.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED, sound.channels,
                           sound.sampleRate, 1, LatencyMicroseconds) < 0)
        return false;

    const auto length =
        std::chrono::milliseconds{std::uint64_t{sound.frameCount()} * 1000 / sound.sampleRate};
    const Clock::time_point deadline = Clock::now() + length + DrainMargin;
    if (!writeAll(pcm.get(), sound, deadline))
        return false;
    // A sound shorter than the device buffer has not started by itself.
    if (snd_pcm_state(pcm.get()) == SND_PCM_STATE_PREPARED && snd_pcm_start(pcm.get()) < 0)
        return false;
    awaitPlayed(pcm.get(), sound.sampleRate, deadline);
    return true;
}

} // namespace norvane
