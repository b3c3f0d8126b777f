#pragma once

#include <obs.h>

#include <cstddef>
#include <cstdint>
#include <memory>

struct audio_data;

namespace obs_sayline {

struct RecognitionSetup;
struct SubtitleSourceData;

// One chunk is cut every 3 s of 16 kHz mono audio; while a worker is still busy the buffer may
// grow to 6 s before it is cut back to its newest 3 s.
constexpr size_t kChunkSamples = 48000;
constexpr double kChunkMs = 3000.0;
constexpr size_t kOverflowSamples = 96000;

// Makes a fresh engine and provider when the source has none, then connects to the host's
// mixed audio at 16 kHz mono. Does nothing when already capturing or no engine is chosen.
void startCapture(SubtitleSourceData& data);

// Where a stop recognises the audio still buffered.
enum class LeftoverRecognition {
    CallingThread,  // here and now, unless a busy worker takes it after its current chunk
    Worker,         // always on a worker thread; the stop never waits on the network
};

// Disconnects from the host's audio, recognises what is still buffered, empties the buffer and
// clears the subtitle. Safe when never started. Without a choice, a stop on the host's
// graphics thread (an update the host deferred to its video tick) leaves the audio to a worker
// so the video never waits on a request; every other thread recognises it itself.
void stopCapture(SubtitleSourceData& data);
void stopCapture(SubtitleSourceData& data, LeftoverRecognition leftover);

// Host audio output callback (audio thread): param is the SubtitleSourceData.
void subtitle_source_audio(void* param, size_t mixIndex, struct audio_data* audio);

// Adds samples to the intake buffer and starts a worker when a chunk is complete. Audio
// thread; never waits on network work.
void appendAudio(SubtitleSourceData& data, const float* samples, size_t count);

// The snapshot a recognition run works with, from the source's current settings.
std::shared_ptr<const RecognitionSetup> makeRecognitionSetup(const SubtitleSourceData& data);

// Host activate/deactivate callbacks.
void subtitle_source_activate(void* data);
void subtitle_source_deactivate(void* data);

}  // namespace obs_sayline
