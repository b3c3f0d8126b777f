#pragma once

#include <memory>
#include <vector>

#include "core/audio_chunk.h"

namespace obs_sayline {

struct RecognitionSetup;
struct SourceSharedState;

// Audio format of the host source's intake and of every chunk it recognises.
constexpr int kIntakeSampleRate = 16000;
constexpr int kIntakeChannels = 1;

// Recognises one speech chunk, filters and translates the result and leaves the subtitle for
// the renderer. Network calls happen here, outside every lock.
void recognizeChunk(SourceSharedState& shared, const RecognitionSetup& setup,
                    const AudioChunk& chunk);

// Gates one cut chunk by loudness, recognises speech, and advances the audio position by the
// chunk's length either way. Serialised per source.
void processChunkSamples(SourceSharedState& shared, const RecognitionSetup& setup,
                         std::vector<float> samples);

// Takes everything buffered and processes it as one chunk; nothing when the buffer is empty.
void processBufferedAudio(SourceSharedState& shared, const RecognitionSetup& setup);

// Body of the detached worker thread: processes the buffer, then whatever a stop handed over
// meanwhile, and clears workerRunning (under the buffer mutex) when there is nothing left.
void runRecognitionWorker(const std::shared_ptr<SourceSharedState>& shared,
                          const std::shared_ptr<const RecognitionSetup>& setup);

// Starts runRecognitionWorker on a detached thread that shares ownership of both.
void startRecognitionWorker(std::shared_ptr<SourceSharedState> shared,
                            std::shared_ptr<const RecognitionSetup> setup);

// Leaves samples to a worker instead of recognising them on the calling thread: a running
// worker takes them after its current chunk; otherwise a new worker is started for them alone
// (without an engine in `setup` they are dropped, as a direct run would drop them). Never
// waits on recognition.
void handOverToWorker(const std::shared_ptr<SourceSharedState>& shared,
                      std::shared_ptr<const RecognitionSetup> setup, std::vector<float> samples);

}  // namespace obs_sayline
