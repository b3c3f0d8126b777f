#include "audio/audio_processor.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "core/logger.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "AudioProcessor";
constexpr float kTwoPi = 6.2831855f;
// One-pole DC tracker: dc follows the signal's mean with a time constant of 1000 samples.
constexpr float kDcPole = 0.999f;
constexpr float kDcGain = 1.0f - kDcPole;

uint64_t chunkLength(const AudioProcessorConfig& c) {
    if (c.targetSampleRate <= 0) return 0;
    return static_cast<uint64_t>(c.targetSampleRate) * c.chunkDurationMs / 1000;
}

uint64_t overlapLength(const AudioProcessorConfig& c) {
    if (c.targetSampleRate <= 0) return 0;
    return c.overlapMs * static_cast<uint64_t>(c.targetSampleRate) / 1000;
}

float highPassAlpha(const AudioProcessorConfig& c) {
    const float rc = 1.0f / (c.highPassCutoffHz * kTwoPi);
    const float dt = 1.0f / static_cast<float>(c.targetSampleRate);
    return rc / (rc + dt);
}

// Frames of `channels` interleaved samples averaged to one; an incomplete last frame is dropped.
void downMix(const float* in, size_t n, int32_t channels, std::vector<float>& out) {
    if (n == 0 || channels < 1) {
        out.clear();
        return;
    }
    const size_t c = static_cast<size_t>(channels);
    const size_t frames = n / c;
    out.resize(frames);
    if (c == 2) {
        for (size_t i = 0; i < frames; ++i) out[i] = (in[2 * i] + in[2 * i + 1]) * 0.5f;
        return;
    }
    const float scale = 1.0f / static_cast<float>(channels);
    for (size_t i = 0; i < frames; ++i) {
        float sum = 0.0f;
        for (size_t ch = 0; ch < c; ++ch) sum += in[i * c + ch];
        out[i] = sum * scale;
    }
}

// Linear interpolation over the whole run; each call starts again at input position 0.
void resampleLinear(const std::vector<float>& in, double ratio, std::vector<float>& out) {
    const size_t n = in.size();
    if (n == 0) {
        out.clear();
        return;
    }
    const size_t length = static_cast<size_t>(static_cast<double>(n) * ratio);
    out.assign(length, 0.0f);
    for (size_t i = 0; i < length; ++i) {
        const double p = static_cast<double>(i) / ratio;
        const double floorP = std::floor(p);
        const size_t k = static_cast<size_t>(floorP);
        const double f = p - floorP;
        if (k + 1 < n) {
            out[i] = static_cast<float>(static_cast<double>(in[k + 1]) * f +
                                        (1.0 - f) * static_cast<double>(in[k]));
        } else if (k < n) {
            out[i] = in[k];
        }
    }
}

}  // namespace

class AudioProcessor::Impl {
public:
    ~Impl() { shutdown(); }

    Result<void> initialize(const AudioProcessorConfig& config) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (initialized_.load()) {
            return Result<void>(ErrorCode::AlreadyInitialized,
                                "Audio processor already initialized");
        }
        config_ = config;
        {
            std::lock_guard<std::mutex> bufferLock(bufferMutex_);
            buffer_.reserve(static_cast<size_t>(2 * chunkLength(config_)));
        }
        if (config_.enableHighPass) alpha_ = highPassAlpha(config_);
        initialized_.store(true);
        stats_ = AudioProcessorStats{};
        logInfoTag(kTag, "Initialized with target rate: %d, channels: %d", config_.targetSampleRate,
                   config_.targetChannels);
        return Result<void>::success();
    }

    void shutdown() {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        if (!initialized_.load()) return;
        {
            std::lock_guard<std::mutex> bufferLock(bufferMutex_);
            buffer_.clear();
        }
        initialized_.store(false);
        logInfoTag(kTag, "Shutdown complete");
    }

    bool isInitialized() const { return initialized_.load(); }

    Result<void> process(const AudioChunk& chunk) {
        if (!initialized_.load()) {
            return Result<void>(ErrorCode::NotInitialized, "Audio processor not initialized");
        }
        const auto started = std::chrono::steady_clock::now();

        AudioProcessorConfig cfg;
        float alpha = 0.0f;
        {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            cfg = config_;
            alpha = alpha_;
        }
        const uint64_t length = chunkLength(cfg);
        const uint64_t overlap = overlapLength(cfg);
        // Cutting could never advance with these numbers.
        if (length == 0) {
            return Result<void>(ErrorCode::InvalidArgument,
                                "Chunk duration gives no samples at the target rate");
        }
        if (overlap >= length) {
            return Result<void>(ErrorCode::InvalidArgument,
                                "Overlap must be shorter than the chunk duration");
        }
        if (chunk.sampleRate != cfg.targetSampleRate && chunk.sampleRate <= 0) {
            return Result<void>(ErrorCode::AudioFormatError,
                                "Invalid input sample rate: " + std::to_string(chunk.sampleRate));
        }

        {
            std::lock_guard<std::mutex> processLock(processMutex_);
            convert(chunk, cfg);
            std::vector<float>& run = run_;
            const size_t n = run.size();

            float dcOffset = 0.0f;
            if (n > 0 && cfg.removeDcOffset) {
                for (float& x : run) {
                    dc_ = x * kDcGain + dc_ * kDcPole;
                    x = x - dc_;
                }
                dcOffset = dc_;
            }
            if (n > 0 && cfg.enableHighPass) {
                for (float& x : run) {
                    const float y = alpha * (yPrev_ + x - xPrev_);
                    xPrev_ = x;
                    yPrev_ = y;
                    x = y;
                }
            }
            if (cfg.enableNoiseGate) {
                for (float& x : run) {
                    if (std::fabs(x) < cfg.noiseGateThreshold) x = 0.0f;
                }
            }

            float peakBeforeGain = 0.0f;
            float rmsBeforeGain = 0.0f;
            const bool peakMode = n > 0 && cfg.normalizationMode == 1;
            const bool rmsMode = n > 0 && cfg.normalizationMode == 2;
            if (peakMode) {
                for (float x : run) peakBeforeGain = std::max(peakBeforeGain, std::fabs(x));
                if (peakBeforeGain > 0.0f && peakBeforeGain != cfg.normalizationTarget) {
                    const float gain = cfg.normalizationTarget / peakBeforeGain;
                    for (float& x : run) x *= gain;
                }
            } else if (rmsMode) {
                float sum = 0.0f;
                for (float x : run) sum += x * x;
                rmsBeforeGain = std::sqrt(sum / static_cast<float>(n));
                if (rmsBeforeGain > 0.0f) {
                    const float target = std::pow(10.0f, cfg.targetLevelDb / 20.0f);
                    // Never above an output RMS of 0.5.
                    const float gain =
                        std::min(1.0f / (2.0f * rmsBeforeGain), target / rmsBeforeGain);
                    for (float& x : run) x *= gain;
                }
            }

            {
                std::lock_guard<std::mutex> bufferLock(bufferMutex_);
                buffer_.insert(buffer_.end(), run.begin(), run.end());
            }

            float runPeak = 0.0f;
            for (float x : run) runPeak = std::max(runPeak, std::fabs(x));
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            if (n > 0 && cfg.removeDcOffset) stats_.dcOffset = dcOffset;
            if (peakMode) stats_.peakLevel = std::max(stats_.peakLevel, peakBeforeGain);
            if (rmsMode) stats_.averageRms = (rmsBeforeGain + stats_.averageRms) * 0.5f;
            stats_.samplesProcessed += n;
            stats_.peakLevel = std::max(stats_.peakLevel, runPeak);
        }

        emitChunks(cfg, static_cast<size_t>(length), static_cast<size_t>(overlap));

        const auto elapsed = std::chrono::steady_clock::now() - started;
        const double ms =
            static_cast<double>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed).count()) /
            1000000.0;
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        stats_.processingTimeMs += ms;
        return Result<void>::success();
    }

    void flush() {
        AudioChunk out;
        {
            std::lock_guard<std::mutex> bufferLock(bufferMutex_);
            if (buffer_.empty()) return;
            out.samples.assign(buffer_.begin(), buffer_.end());
            buffer_.clear();
        }
        {
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            out.sampleRate = config_.targetSampleRate;
            out.channels = config_.targetChannels;
        }
        std::lock_guard<std::mutex> callbackLock(callbacksMutex_);
        if (!callback_) return;
        callback_(out);
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        ++stats_.chunksEmitted;
    }

    void reset() {
        std::lock_guard<std::mutex> processLock(processMutex_);
        std::lock_guard<std::mutex> bufferLock(bufferMutex_);
        buffer_.clear();
        dc_ = 0.0f;
        xPrev_ = 0.0f;
        yPrev_ = 0.0f;
    }

    AudioProcessorConfig getConfig() const {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return config_;
    }

    Result<void> updateConfig(const AudioProcessorConfig& config) {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        config_ = config;
        if (config_.enableHighPass) alpha_ = highPassAlpha(config_);
        return Result<void>::success();
    }

    void setOutputCallback(OutputCallback callback) {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        callback_ = std::move(callback);
    }

    AudioProcessorStats getStats() const {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return stats_;
    }

    void resetStats() {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        stats_ = AudioProcessorStats{};
    }

private:
    // Down-mix and resample into run_. The scratch vectors keep their capacity between calls,
    // so steady-state processing does not allocate.
    void convert(const AudioChunk& chunk, const AudioProcessorConfig& cfg) {
        if (chunk.channels != cfg.targetChannels && cfg.targetChannels == 1) {
            downMix(chunk.samples.data(), chunk.samples.size(), chunk.channels, run_);
        } else {
            run_.assign(chunk.samples.begin(), chunk.samples.end());
        }
        if (chunk.sampleRate != cfg.targetSampleRate) {
            const double ratio =
                static_cast<double>(cfg.targetSampleRate) / static_cast<double>(chunk.sampleRate);
            resampleLinear(run_, ratio, scratch_);
            run_.swap(scratch_);
        }
    }

    void emitChunks(const AudioProcessorConfig& cfg, size_t length, size_t overlap) {
        for (;;) {
            AudioChunk out;
            {
                std::lock_guard<std::mutex> bufferLock(bufferMutex_);
                if (buffer_.size() < length) return;
                out.samples.assign(buffer_.begin(), buffer_.begin() + length);
                // The last `overlap` samples of this chunk open the next one.
                const size_t advance = overlap > 0 ? length - overlap : length;
                buffer_.erase(buffer_.begin(), buffer_.begin() + advance);
            }
            out.sampleRate = cfg.targetSampleRate;
            out.channels = cfg.targetChannels;
            out.timestamp = 0;
            {
                std::lock_guard<std::mutex> callbackLock(callbacksMutex_);
                if (callback_) callback_(out);
            }
            std::lock_guard<std::recursive_mutex> lock(mutex_);
            ++stats_.chunksEmitted;
        }
    }

    // Lock order: processMutex_, then bufferMutex_ or mutex_; callbacksMutex_ before mutex_.
    mutable std::recursive_mutex mutex_;  // lifecycle, configuration, statistics
    AudioProcessorConfig config_;
    AudioProcessorStats stats_;
    float alpha_ = 0.0f;
    std::atomic<bool> initialized_{false};

    std::mutex processMutex_;  // filter state and scratch buffers
    float dc_ = 0.0f;
    float xPrev_ = 0.0f;
    float yPrev_ = 0.0f;
    std::vector<float> run_;
    std::vector<float> scratch_;

    std::mutex bufferMutex_;
    std::vector<float> buffer_;

    std::mutex callbacksMutex_;
    OutputCallback callback_;
};

AudioProcessor::AudioProcessor() : impl_(std::make_unique<Impl>()) {}
AudioProcessor::~AudioProcessor() = default;

Result<void> AudioProcessor::initialize(const AudioProcessorConfig& config) {
    return impl_->initialize(config);
}
void AudioProcessor::shutdown() { impl_->shutdown(); }
bool AudioProcessor::isInitialized() const { return impl_->isInitialized(); }
Result<void> AudioProcessor::process(const AudioChunk& chunk) { return impl_->process(chunk); }
void AudioProcessor::flush() { impl_->flush(); }
void AudioProcessor::reset() { impl_->reset(); }
AudioProcessorConfig AudioProcessor::getConfig() const { return impl_->getConfig(); }
Result<void> AudioProcessor::updateConfig(const AudioProcessorConfig& config) {
    return impl_->updateConfig(config);
}
void AudioProcessor::setOutputCallback(OutputCallback callback) {
    impl_->setOutputCallback(std::move(callback));
}
AudioProcessorStats AudioProcessor::getStats() const { return impl_->getStats(); }
void AudioProcessor::resetStats() { impl_->resetStats(); }

}  // namespace obs_sayline
