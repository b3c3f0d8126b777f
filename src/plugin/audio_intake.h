#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

struct audio_data;

namespace obs_sayline {

struct CaptureState;

// Connects the capture's live path to the host's mixed audio, converted by the host to 16 kHz
// mono float. Logs the outcome; false when there is no audio output or the connection failed.
bool connectHostAudio(CaptureState& capture);
// Disconnects it; returns once no callback for it is running.
void disconnectHostAudio(CaptureState& capture);

// The system-clock time of a host audio timestamp (os_gettime_ns, the host's monotonic clock),
// `delayNs` earlier (a resampler's delay).
std::chrono::system_clock::time_point hostAudioTime(uint64_t timestampNs, uint64_t delayNs = 0);

// Host audio output callback (audio thread): param is the CaptureState, whose live path takes
// the audio unless paused. Never waits on recognition and does not allocate in the common
// case.
void subtitle_source_audio(void* param, size_t mixIndex, struct audio_data* audio);

}  // namespace obs_sayline
