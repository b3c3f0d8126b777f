#include "plugin/audio_intake.h"

#include <media-io/audio-io.h>
#include <obs.h>
#include <util/platform.h>

#include <atomic>

#include "core/logger.h"
#include "live/live_path.h"
#include "plugin/callback_guard.h"
#include "plugin/source_capture.h"

namespace obs_sayline {
namespace {

constexpr size_t kMixIndex = 0;

// Logged once per process: that the host's audio arrives at all.
std::atomic<bool> firstAudioSeen{false};

// The host's audio output; null also where no host runs (obs_get_audio needs one).
audio_t* hostAudio() { return obs_initialized() ? obs_get_audio() : nullptr; }

}  // namespace

bool connectHostAudio(CaptureState& capture) {
    audio_t* audio = hostAudio();
    if (!audio) {
        logErrorTag("Audio", "obs_get_audio() returned NULL");
        return false;
    }
    audio_convert_info conversion{};
    conversion.samples_per_sec = kIntakeSampleRate;
    conversion.format = AUDIO_FORMAT_FLOAT_PLANAR;
    conversion.speakers = SPEAKERS_MONO;
    if (!audio_output_connect(audio, kMixIndex, &conversion, &subtitle_source_audio, &capture)) {
        logErrorTag("Audio", "Failed to connect to OBS audio output");
        return false;
    }
    logInfoTag("Audio", "Connected to OBS audio output (16kHz mono)");
    return true;
}

void disconnectHostAudio(CaptureState& capture) {
    if (audio_t* audio = hostAudio()) {
        audio_output_disconnect(audio, kMixIndex, &subtitle_source_audio, &capture);
        logInfoTag("Audio", "Disconnected from OBS audio output");
    }
}

std::chrono::system_clock::time_point hostAudioTime(uint64_t timestampNs, uint64_t delayNs) {
    // Both clocks read together: how long ago, on the host's clock, the audio was heard.
    const auto now = std::chrono::system_clock::now();
    const int64_t agoNs =
        static_cast<int64_t>(os_gettime_ns() - timestampNs) + static_cast<int64_t>(delayNs);
    return now - std::chrono::duration_cast<std::chrono::system_clock::duration>(
                     std::chrono::nanoseconds(agoNs));
}

void subtitle_source_audio(void* param, size_t, struct audio_data* audio) {
    guardCallback("subtitle_source_audio", [&] {
        if (!param || !audio || !audio->data[0]) return;
        injectFault(Fault::Audio);
        if (!firstAudioSeen.exchange(true)) {
            logInfoTag("Audio", "First audio data received: %u frames", audio->frames);
        }
        auto* capture = static_cast<CaptureState*>(param);
        if (capture->paused.load(std::memory_order_relaxed) || !capture->live) return;
        capture->live->feed(reinterpret_cast<const float*>(audio->data[0]), audio->frames,
                            hostAudioTime(audio->timestamp));
    });
}

}  // namespace obs_sayline
