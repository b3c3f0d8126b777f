#include "audio/voice_activity_detector.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>

#include "core/logger.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "VoiceActivityDetector";
constexpr float kNoiseFloorStart = 0.01f;
constexpr float kNoiseFloorMin = 0.001f;
constexpr float kMinZcr = 0.05f;
constexpr float kCombinedMaxZcr = 0.5f;

size_t frameSizeOf(const VadConfig& c) {
    if (c.sampleRate <= 0) return 0;
    return static_cast<size_t>(static_cast<uint64_t>(c.sampleRate) * c.frameDurationMs / 1000);
}

float rms(const float* x, size_t n) {
    if (n == 0) return 0.0f;
    float sum = 0.0f;
    for (size_t i = 0; i < n; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<float>(n));
}

// Zero counts as positive.
float zeroCrossingRate(const float* x, size_t n) {
    if (n < 2) return 0.0f;
    size_t crossings = 0;
    for (size_t i = 1; i < n; ++i) {
        if ((x[i] >= 0.0f) != (x[i - 1] >= 0.0f)) ++crossings;
    }
    return static_cast<float>(crossings) / static_cast<float>(n - 1);
}

}  // namespace

class VoiceActivityDetector::Impl {
public:
    ~Impl() { shutdown(); }

    Result<void> initialize(const VadConfig& config) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (initialized_.load()) {
            return Result<void>(ErrorCode::AlreadyInitialized, "VAD already initialized");
        }
        config_ = config;
        frameSize_ = frameSizeOf(config_);
        initialized_.store(true);
        resetLocked();
        logInfoTag(kTag, "Initialized with algorithm: %d, frame size: %zu", config_.algorithm,
                   frameSize_);
        return Result<void>::success();
    }

    void shutdown() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!initialized_.load()) return;
        resetLocked();
        initialized_.store(false);
        logInfoTag(kTag, "Shutdown complete");
    }

    bool isInitialized() const { return initialized_.load(); }

    VadResult processFrame(const float* frame, size_t n) {
        if (!initialized_.load()) return VadResult{};
        std::lock_guard<std::mutex> lock(mutex_);
        return processFrameLocked(frame, n);
    }

    std::vector<VadResult> processSamples(const std::vector<float>& samples) {
        std::vector<VadResult> results;
        if (!initialized_.load() || samples.empty()) return results;
        std::lock_guard<std::mutex> lock(mutex_);
        if (frameSize_ == 0) return results;
        results.reserve(samples.size() / frameSize_);
        for (size_t at = 0; at + frameSize_ <= samples.size(); at += frameSize_) {
            results.push_back(processFrameLocked(samples.data() + at, frameSize_));
        }
        return results;
    }

    size_t feedSamples(const float* samples, size_t count) {
        if (!initialized_.load() || samples == nullptr || count == 0) return 0;
        std::lock_guard<std::mutex> lock(mutex_);
        if (frameSize_ == 0) return 0;
        size_t frames = 0;
        for (size_t at = 0; at + frameSize_ <= count; at += frameSize_, ++frames) {
            processFrameLocked(samples + at, frameSize_);
        }
        return frames;
    }

    bool isSpeechActive() const { return isSpeechState(state_.load(std::memory_order_relaxed)); }

    double getSpeechDuration() const {
        if (!isSpeechActive()) return 0.0;
        return clock_.load(std::memory_order_relaxed) -
               speechStart_.load(std::memory_order_relaxed);
    }

    void reset() {
        std::lock_guard<std::mutex> lock(mutex_);
        resetLocked();
    }

    VadConfig getConfig() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return config_;
    }

    Result<void> updateConfig(const VadConfig& config) {
        std::lock_guard<std::mutex> lock(mutex_);
        config_ = config;
        frameSize_ = frameSizeOf(config_);
        return Result<void>::success();
    }

    void setEnergyThreshold(float threshold) {
        std::lock_guard<std::mutex> lock(mutex_);
        config_.energyThreshold = std::clamp(threshold, 0.0f, 1.0f);
    }

    void setStateCallback(StateCallback callback) {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        stateCallback_ = std::move(callback);
    }

    void setSegmentCallback(SegmentCallback callback) {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        segmentCallback_ = std::move(callback);
    }

    VadStats getStats() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return stats_;
    }

    void resetStats() {
        std::lock_guard<std::mutex> lock(mutex_);
        stats_ = VadStats{};
    }

    float getNoiseFloor() const { return noiseFloor_.load(std::memory_order_relaxed); }

private:
    VadResult processFrameLocked(const float* frame, size_t n) {
        const VadState before = state_.load(std::memory_order_relaxed);
        const float energy = rms(frame, n);
        const float zcr = zeroCrossingRate(frame, n);

        float floor = noiseFloor_.load(std::memory_order_relaxed);
        if (before == VadState::Silence && energy < 2.0f * floor) {
            const float rate = config_.noiseAdaptationRate;
            floor = (1.0f - rate) * floor + rate * energy;
        }
        floor = std::max(floor, kNoiseFloorMin);
        noiseFloor_.store(floor, std::memory_order_relaxed);

        const VadState after = step(before, isVoiced(energy, zcr, floor));
        state_.store(after, std::memory_order_relaxed);

        VadResult result;
        result.state = after;
        result.energy = energy;
        result.zeroCrossingRate = zcr;
        result.noiseFloor = floor;
        result.isSpeech = isSpeechState(after);
        const float snrTerm = (floor > 0.0f ? energy / floor : 1.0f) * 0.1f;
        // A zero threshold (allowed by setEnergyThreshold) would make 0/0 here.
        float levelTerm = energy > 0.0f ? 1.0f : 0.0f;
        if (config_.energyThreshold > 0.0f) levelTerm = energy / config_.energyThreshold * 0.5f;
        result.confidence = std::clamp(snrTerm + levelTerm, 0.0f, 1.0f);

        const double frameMs = static_cast<double>(config_.frameDurationMs);
        clock_.store(clock_.load(std::memory_order_relaxed) + frameMs, std::memory_order_relaxed);
        ++stats_.totalFrames;
        if (result.isSpeech) {
            ++stats_.speechFrames;
            stats_.totalSpeechMs += frameMs;
        } else {
            ++stats_.silenceFrames;
        }
        stats_.averageEnergy = energy * 0.01f + stats_.averageEnergy * 0.99f;
        stats_.averageNoiseFloor = stats_.averageNoiseFloor * 0.99f + floor * 0.01f;

        if (after != before) {
            std::lock_guard<std::mutex> lock(callbacksMutex_);
            if (stateCallback_) stateCallback_(after, result);
        }
        return result;
    }

    bool isVoiced(float energy, float zcr, float floor) const {
        switch (config_.algorithm) {
            case 1:
                return zcr > kMinZcr && zcr < 3.0f * config_.zcrThreshold;
            case 2:
                return energy > config_.energyThreshold && zcr > kMinZcr && zcr < kCombinedMaxZcr;
            case 3:
                return energy > floor * std::pow(10.0f, config_.snrThresholdDb / 20.0f);
            default:
                return energy > config_.energyThreshold;
        }
    }

    // One frame of the onset / release machine.
    VadState step(VadState state, bool voiced) {
        switch (state) {
            case VadState::Silence:
                if (!voiced) {
                    voicedRun_ = 0;
                    return state;
                }
                if (++voicedRun_ >= config_.minSpeechFrames) {
                    speechStart_.store(clock_.load(std::memory_order_relaxed),
                                       std::memory_order_relaxed);
                    voicedRun_ = 0;
                    return VadState::SpeechStart;
                }
                return state;
            case VadState::SpeechStart:
                silenceRun_ = 0;
                hangoverLoaded_ = false;
                return VadState::Speech;
            case VadState::Speech:
                if (voiced) {
                    silenceRun_ = 0;
                    hangoverLoaded_ = false;
                } else if (++silenceRun_ >= config_.minSilenceFrames && !hangoverLoaded_) {
                    hangoverLoaded_ = true;
                    hangover_ = config_.hangoverFrames;
                    if (hangover_ == 0) return VadState::SpeechEnd;
                }
                if (hangover_ > 0 && --hangover_ == 0 && silenceRun_ >= config_.minSilenceFrames) {
                    return VadState::SpeechEnd;
                }
                return state;
            case VadState::SpeechEnd: {
                const double start = speechStart_.load(std::memory_order_relaxed);
                const double end = clock_.load(std::memory_order_relaxed);
                {
                    std::lock_guard<std::mutex> lock(callbacksMutex_);
                    if (segmentCallback_) segmentCallback_(start, end);
                }
                silenceRun_ = 0;
                ++stats_.speechSegments;
                return VadState::Silence;
            }
        }
        return VadState::Silence;
    }

    void resetLocked() {
        if (isSpeechState(state_.load(std::memory_order_relaxed))) {
            VadResult ended;
            ended.state = VadState::SpeechEnd;
            std::lock_guard<std::mutex> lock(callbacksMutex_);
            if (stateCallback_) stateCallback_(VadState::SpeechEnd, ended);
        }
        state_.store(VadState::Silence, std::memory_order_relaxed);
        voicedRun_ = 0;
        silenceRun_ = 0;
        hangover_ = 0;
        hangoverLoaded_ = false;
        speechStart_.store(0.0, std::memory_order_relaxed);
        clock_.store(0.0, std::memory_order_relaxed);
    }

    // Lock order: mutex_, then callbacksMutex_.
    mutable std::mutex mutex_;
    std::atomic<bool> initialized_{false};
    VadConfig config_;
    VadStats stats_;
    size_t frameSize_ = 0;
    uint64_t voicedRun_ = 0;
    uint64_t silenceRun_ = 0;
    uint64_t hangover_ = 0;
    bool hangoverLoaded_ = false;  // once per silence run
    // Read without the lock by the quick queries.
    std::atomic<VadState> state_{VadState::Silence};
    std::atomic<float> noiseFloor_{kNoiseFloorStart};
    std::atomic<double> clock_{0.0};  // processed audio, ms
    std::atomic<double> speechStart_{0.0};

    std::mutex callbacksMutex_;
    StateCallback stateCallback_;
    SegmentCallback segmentCallback_;
};

VoiceActivityDetector::VoiceActivityDetector() : impl_(std::make_unique<Impl>()) {}
VoiceActivityDetector::~VoiceActivityDetector() = default;

Result<void> VoiceActivityDetector::initialize(const VadConfig& config) {
    return impl_->initialize(config);
}
void VoiceActivityDetector::shutdown() { impl_->shutdown(); }
bool VoiceActivityDetector::isInitialized() const { return impl_->isInitialized(); }
VadResult VoiceActivityDetector::processFrame(const std::vector<float>& frame) {
    return impl_->processFrame(frame.data(), frame.size());
}
std::vector<VadResult> VoiceActivityDetector::processSamples(const std::vector<float>& samples) {
    return impl_->processSamples(samples);
}
bool VoiceActivityDetector::isSpeechActive() const { return impl_->isSpeechActive(); }
double VoiceActivityDetector::getSpeechDuration() const { return impl_->getSpeechDuration(); }
void VoiceActivityDetector::reset() { impl_->reset(); }
VadConfig VoiceActivityDetector::getConfig() const { return impl_->getConfig(); }
Result<void> VoiceActivityDetector::updateConfig(const VadConfig& config) {
    return impl_->updateConfig(config);
}
void VoiceActivityDetector::setEnergyThreshold(float threshold) {
    impl_->setEnergyThreshold(threshold);
}
void VoiceActivityDetector::setStateCallback(StateCallback callback) {
    impl_->setStateCallback(std::move(callback));
}
void VoiceActivityDetector::setSegmentCallback(SegmentCallback callback) {
    impl_->setSegmentCallback(std::move(callback));
}
VadStats VoiceActivityDetector::getStats() const { return impl_->getStats(); }
void VoiceActivityDetector::resetStats() { impl_->resetStats(); }
float VoiceActivityDetector::getNoiseFloor() const { return impl_->getNoiseFloor(); }
size_t VoiceActivityDetector::feedSamples(const float* samples, size_t count) {
    return impl_->feedSamples(samples, count);
}

}  // namespace obs_sayline
