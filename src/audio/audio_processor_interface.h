#pragma once

#include <cstdint>
#include <functional>

#include "core/audio_chunk.h"
#include "core/result.h"

namespace obs_sayline {

enum class NormalizationMode : int32_t { None = 0, Peak = 1, Rms = 2 };

struct AudioProcessorConfig {
    int32_t targetSampleRate = 16000;
    int32_t targetChannels = 1;        // down-mixing happens only when this is 1
    int32_t normalizationMode = 1;     // NormalizationMode
    float normalizationTarget = 0.9f;  // peak mode
    float targetLevelDb = -20.0f;      // RMS mode, dBFS
    bool removeDcOffset = true;
    bool enableHighPass = true;
    float highPassCutoffHz = 80.0f;
    bool enableNoiseGate = false;
    float noiseGateThreshold = 0.01f;  // absolute sample value
    uint64_t chunkDurationMs = 30;
    uint64_t overlapMs = 0;  // repeated at the start of the next chunk
};

struct AudioProcessorStats {
    uint64_t samplesProcessed = 0;  // after conversion
    uint64_t chunksEmitted = 0;
    float peakLevel = 0.0f;
    float averageRms = 0.0f;
    float dcOffset = 0.0f;
    double processingTimeMs = 0.0;
};

// Converts host-format audio to the fixed format detection and recognition expect, and
// re-cuts it into chunks of a fixed duration handed to one output callback.
class IAudioProcessor {
public:
    using OutputCallback = std::function<void(const AudioChunk&)>;

    virtual ~IAudioProcessor() = default;
    virtual Result<void> initialize(const AudioProcessorConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;
    virtual Result<void> process(const AudioChunk& chunk) = 0;
    virtual void flush() = 0;
    virtual void reset() = 0;
    virtual AudioProcessorConfig getConfig() const = 0;
    virtual Result<void> updateConfig(const AudioProcessorConfig& config) = 0;
    virtual void setOutputCallback(OutputCallback callback) = 0;
    virtual AudioProcessorStats getStats() const = 0;
    virtual void resetStats() = 0;
};

}  // namespace obs_sayline
