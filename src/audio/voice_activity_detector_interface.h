#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "core/result.h"

namespace obs_sayline {

enum class VadState : int32_t { Silence = 0, SpeechStart = 1, Speech = 2, SpeechEnd = 3 };

inline bool isSpeechState(VadState s) {
    return s == VadState::SpeechStart || s == VadState::Speech;
}

enum class VadAlgorithm : int32_t { Energy = 0, ZeroCrossing = 1, Combined = 2, Adaptive = 3 };

struct VadResult {
    VadState state = VadState::Silence;
    float energy = 0.0f;            // RMS of the frame
    float zeroCrossingRate = 0.0f;  // sign changes per sample pair
    float noiseFloor = 0.0f;
    float confidence = 0.0f;  // 0 to 1
    bool isSpeech = false;
};

struct VadConfig {
    int32_t algorithm = 2;  // VadAlgorithm; unknown values decide by energy
    int32_t sensitivity = 1;
    int32_t sampleRate = 16000;
    uint64_t frameDurationMs = 30;
    float energyThreshold = 0.01f;
    float zcrThreshold = 0.1f;
    uint64_t minSpeechFrames = 3;    // voiced frames in a row to enter speech
    uint64_t minSilenceFrames = 10;  // unvoiced frames in a row before release starts
    uint64_t hangoverFrames = 5;     // release countdown
    float noiseAdaptationRate = 0.01f;
    float snrThresholdDb = 6.0f;
};

struct VadStats {
    uint64_t totalFrames = 0;
    uint64_t speechFrames = 0;
    uint64_t silenceFrames = 0;
    uint64_t speechSegments = 0;
    float averageEnergy = 0.0f;
    float averageNoiseFloor = 0.0f;
    double totalSpeechMs = 0.0;
};

// Frame-by-frame speech decisions turned into segments. Callbacks run on the processing
// thread with the detector locked and must not call back into it.
class IVoiceActivityDetector {
public:
    using StateCallback = std::function<void(VadState, const VadResult&)>;
    using SegmentCallback = std::function<void(double startMs, double endMs)>;

    virtual ~IVoiceActivityDetector() = default;
    virtual Result<void> initialize(const VadConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;
    virtual VadResult processFrame(const std::vector<float>& frame) = 0;
    virtual std::vector<VadResult> processSamples(const std::vector<float>& samples) = 0;
    virtual bool isSpeechActive() const = 0;
    virtual double getSpeechDuration() const = 0;
    virtual void reset() = 0;
    virtual VadConfig getConfig() const = 0;
    virtual Result<void> updateConfig(const VadConfig& config) = 0;
    virtual void setEnergyThreshold(float threshold) = 0;
    virtual void setStateCallback(StateCallback callback) = 0;
    virtual void setSegmentCallback(SegmentCallback callback) = 0;
    virtual VadStats getStats() const = 0;
    virtual void resetStats() = 0;
    virtual float getNoiseFloor() const = 0;
    // Like processSamples, without collecting the results: nothing is allocated, so the audio
    // thread can feed every chunk through it. Returns the number of frames run.
    virtual size_t feedSamples(const float* samples, size_t count) = 0;
};

}  // namespace obs_sayline
