#pragma once

#include <cstddef>

struct audio_data;

namespace obs_sayline {

class LivePath;

// Connects the live path to the host's mixed audio, converted by the host to 16 kHz mono
// float. Logs the outcome; false when there is no audio output or the connection failed.
bool connectHostAudio(LivePath& live);
// Disconnects it; returns once no callback for it is running.
void disconnectHostAudio(LivePath& live);

// Host audio output callback (audio thread): param is the LivePath. Never waits on
// recognition and does not allocate in the common case.
void subtitle_source_audio(void* param, size_t mixIndex, struct audio_data* audio);

}  // namespace obs_sayline
