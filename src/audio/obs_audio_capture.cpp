#include "audio/obs_audio_capture.h"

#include <obs.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <mutex>
#include <sstream>
#include <utility>

#include "core/logger.h"

namespace obs_sayline {
namespace {

constexpr const char* kTag = "ObsAudioCapture";
// The voice flag drops on the eleventh quiet packet in a row.
constexpr uint64_t kQuietPacketsBeforeRelease = 10;

int32_t channelsOf(speaker_layout layout) {
    switch (layout) {
        case SPEAKERS_MONO:
            return 1;
        case SPEAKERS_STEREO:
            return 2;
        case SPEAKERS_2POINT1:
            return 3;
        case SPEAKERS_4POINT0:
            return 4;
        case SPEAKERS_4POINT1:
            return 5;
        case SPEAKERS_5POINT1:
            return 6;
        case SPEAKERS_7POINT1:
            return 8;
        default:
            return 0;
    }
}

obs_source_t* lookUpSource(const AudioCaptureConfig& config) {
    switch (config.sourceType) {
        case 0:
        case 1:
        case 4:
            return obs_get_output_source(0);
        case 2:
            return obs_get_output_source(1);
        case 3:
            return obs_get_source_by_name(config.sourceName.c_str());
        default:
            return nullptr;
    }
}

}  // namespace

uint64_t captureChunkSamples(int32_t sampleRate, uint64_t durationMs, int32_t channels) {
    if (sampleRate <= 0 || channels <= 0) return 0;
    return static_cast<uint64_t>(sampleRate) * durationMs / 1000 * static_cast<uint64_t>(channels);
}

float rmsLevel(const float* samples, size_t count) {
    if (count == 0) return 0.0f;
    float sum = 0.0f;
    for (size_t i = 0; i < count; ++i) sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<float>(count));
}

class ObsAudioCapture::Impl {
public:
    ~Impl() { shutdown(); }

    Result<void> initialize(const AudioCaptureConfig& config) {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (initialized) {
            return Result<void>(ErrorCode::AlreadyInitialized, "Audio capture already initialized");
        }
        storeConfig(config);
        {
            std::lock_guard<std::mutex> bufferLock(bufferMutex);
            reserveBuffer();
        }
        obs_source_t* found = lookUpSource(config);
        if (!found)
            return Result<void>(ErrorCode::AudioCaptureError, "Failed to find audio source");
        source = found;
        initialized = true;
        logInfoTag(kTag, "Initialized with sample rate: %d, channels: %d", config.sampleRate,
                   config.channels);
        return Result<void>::success();
    }

    void shutdown() {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (!initialized) return;
        stopLocked();
        if (source) {
            obs_source_release(source);
            source = nullptr;
        }
        {
            std::lock_guard<std::mutex> bufferLock(bufferMutex);
            buffer.clear();
            buffer.shrink_to_fit();
        }
        initialized = false;
        logInfoTag(kTag, "Shutdown complete");
    }

    Result<void> start() {
        std::lock_guard<std::mutex> lock(stateMutex);
        return startLocked();
    }

    Result<void> startLocked() {
        if (!initialized) {
            return Result<void>(ErrorCode::NotInitialized, "Audio capture not initialized");
        }
        if (capturing) return Result<void>::success();
        if (!source) return Result<void>(ErrorCode::AudioCaptureError, "No audio source available");
        obs_source_add_audio_capture_callback(source, &Impl::onAudio, this);
        paused = false;
        capturing = true;
        logInfoTag(kTag, "Capture started");
        return Result<void>::success();
    }

    void stopLocked() {
        if (!capturing.exchange(false)) return;
        // Returns only once no hook call is in flight: the host holds its callback lock
        // around each call.
        if (source) obs_source_remove_audio_capture_callback(source, &Impl::onAudio, this);
        paused = false;
        logInfoTag(kTag, "Capture stopped");
    }

    Result<void> updateConfig(const AudioCaptureConfig& config) {
        std::lock_guard<std::mutex> lock(stateMutex);
        const bool wasCapturing = capturing.load();
        if (wasCapturing) stopLocked();
        storeConfig(config);
        if (wasCapturing) return startLocked();
        return Result<void>::success();
    }

    AudioChunk takeBufferedAudio() {
        AudioChunk chunk;
        std::lock_guard<std::mutex> lock(bufferMutex);
        chunk.samples = std::move(buffer);
        label(chunk);
        buffer.clear();
        reserveBuffer();
        return chunk;
    }

    std::string statusJson() const {
        std::lock_guard<std::mutex> lock(stateMutex);
        std::ostringstream out;
        auto flag = [](bool b) { return b ? "true" : "false"; };
        out << "{\"initialized\":" << flag(initialized) << ",\"capturing\":" << flag(capturing)
            << ",\"paused\":" << flag(paused) << ",\"sampleRate\":" << config.sampleRate
            << ",\"channels\":" << config.channels << ",\"currentLevel\":" << currentLevel.load()
            << ",\"voiceActive\":" << flag(voiceActive)
            << ",\"totalSamplesProcessed\":" << totalSamplesProcessed.load()
            << ",\"totalChunksEmitted\":" << totalChunksEmitted.load() << "}";
        return out.str();
    }

    // Host audio thread.
    static void onAudio(void* param, obs_source_t* /*source*/, const audio_data* packet,
                        bool /*muted*/) {
        auto* self = static_cast<Impl*>(param);
        if (!self || !packet || !packet->data[0]) return;
        try {
            self->handlePacket(*packet);
        } catch (const std::exception& e) {
            logErrorTag(kTag, "Audio callback failed: %s", e.what());
        } catch (...) {
            logErrorTag(kTag, "Audio callback failed");
        }
    }

    void handlePacket(const audio_data& packet) {
        const uint32_t frames = packet.frames;
        int32_t channels = 0;
        int32_t rate = 0;
        if (audio_t* audio = obs_get_audio()) {
            if (const audio_output_info* info = audio_output_get_info(audio)) {
                channels = channelsOf(info->speakers);
                rate = static_cast<int32_t>(info->samples_per_sec);
            }
        }
        if (!capturing || paused) return;

        // The host hands each channel in its own plane of `frames` floats.
        const size_t planes = static_cast<size_t>(channels);
        const size_t n = static_cast<size_t>(frames) * planes;
        float sum = 0.0f;
        for (size_t c = 0; c < planes && c < MAX_AV_PLANES; ++c) {
            const auto* plane = reinterpret_cast<const float*>(packet.data[c]);
            if (!plane) continue;
            for (uint32_t i = 0; i < frames; ++i) sum += plane[i] * plane[i];
        }
        const float level = n == 0 ? 0.0f : std::sqrt(sum / static_cast<float>(n));
        currentLevel = level;
        {
            std::lock_guard<std::mutex> lock(callbacksMutex);
            if (levelCallback) levelCallback(level);
        }

        if (voiceDetection) {
            if (level >= voiceThreshold.load()) {
                quietPackets = 0;
                if (!voiceActive.exchange(true)) notifyVoice(true);
            } else {
                const uint64_t quiet = ++quietPackets;
                if (voiceActive && quiet > kQuietPacketsBeforeRelease) {
                    voiceActive = false;
                    notifyVoice(false);
                }
            }
        }

        if (n == 0) return;
        if (rate > 0) hostRate = rate;
        hostChannels = channels;

        AudioChunk chunk;
        bool handOff = false;
        {
            std::lock_guard<std::mutex> lock(bufferMutex);
            // Interleave the planes so the chunk reads like any other multi-channel block.
            const size_t base = buffer.size();
            buffer.resize(base + n);
            for (size_t c = 0; c < planes; ++c) {
                const auto* plane =
                    c < MAX_AV_PLANES ? reinterpret_cast<const float*>(packet.data[c]) : nullptr;
                for (uint32_t i = 0; i < frames; ++i) {
                    buffer[base + i * planes + c] = plane ? plane[i] : 0.0f;
                }
            }
            const uint64_t chunkSize =
                captureChunkSamples(labelRate(), chunkDurationMs.load(), labelChannels());
            if (buffer.size() >= chunkSize) {
                chunk.samples = std::move(buffer);
                label(chunk);
                buffer.clear();
                reserveBuffer();
                handOff = true;
            }
        }
        totalSamplesProcessed += frames;
        if (!handOff) return;
        ++totalChunksEmitted;
        std::lock_guard<std::mutex> lock(callbacksMutex);
        if (audioCallback) audioCallback(chunk);
    }

    void notifyVoice(bool active) {
        std::lock_guard<std::mutex> lock(callbacksMutex);
        if (voiceCallback) voiceCallback(active);
    }

    // Chunks carry the format the host really delivers, so later stages convert from the
    // truth; the configured format stands in until the first packet arrives.
    int32_t labelRate() const {
        const int32_t rate = hostRate.load();
        return rate > 0 ? rate : configRate.load();
    }
    int32_t labelChannels() const {
        const int32_t channels = hostChannels.load();
        return channels > 0 ? channels : configChannels.load();
    }
    void label(AudioChunk& chunk) const {
        chunk.sampleRate = labelRate();
        chunk.channels = labelChannels();
        chunk.timestamp = 0;
    }

    // Caller holds bufferMutex.
    void reserveBuffer() {
        // Twice a chunk: the packet that completes a chunk may run past it.
        buffer.reserve(captureChunkSamples(labelRate(), chunkDurationMs.load(), labelChannels()) *
                       2);
    }

    // Caller holds stateMutex.
    void storeConfig(const AudioCaptureConfig& next) {
        config = next;
        configRate = next.sampleRate;
        configChannels = next.channels;
        chunkDurationMs = next.chunkDurationMs;
        voiceDetection = next.enableVoiceDetection;
        voiceThreshold = next.voiceThreshold;
    }

    mutable std::mutex stateMutex;
    std::mutex bufferMutex;
    std::mutex callbacksMutex;

    obs_source_t* source = nullptr;
    AudioCaptureConfig config;
    std::atomic<bool> initialized{false};
    std::atomic<bool> capturing{false};
    std::atomic<bool> paused{false};

    // What the audio thread reads of the configuration, without the state lock.
    std::atomic<int32_t> configRate{16000};
    std::atomic<int32_t> configChannels{1};
    std::atomic<uint64_t> chunkDurationMs{100};
    std::atomic<bool> voiceDetection{true};
    std::atomic<float> voiceThreshold{0.5f};
    std::atomic<int32_t> hostRate{0};
    std::atomic<int32_t> hostChannels{0};

    std::vector<float> buffer;
    std::atomic<float> currentLevel{0.0f};
    std::atomic<bool> voiceActive{false};
    std::atomic<uint64_t> quietPackets{0};
    std::atomic<uint64_t> totalSamplesProcessed{0};
    std::atomic<uint64_t> totalChunksEmitted{0};

    AudioCallback audioCallback;
    LevelCallback levelCallback;
    VoiceActivityCallback voiceCallback;
};

ObsAudioCapture::ObsAudioCapture() : impl_(std::make_unique<Impl>()) {}
ObsAudioCapture::~ObsAudioCapture() = default;

Result<void> ObsAudioCapture::initialize(const AudioCaptureConfig& config) {
    return impl_->initialize(config);
}
void ObsAudioCapture::shutdown() { impl_->shutdown(); }
bool ObsAudioCapture::isInitialized() const { return impl_->initialized; }
Result<void> ObsAudioCapture::start() { return impl_->start(); }

void ObsAudioCapture::stop() {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    impl_->stopLocked();
}

void ObsAudioCapture::pause() {
    if (!impl_->capturing) return;
    bool expected = false;
    if (impl_->paused.compare_exchange_strong(expected, true)) logDebugTag(kTag, "Capture paused");
}

void ObsAudioCapture::resume() {
    if (!impl_->capturing) return;
    bool expected = true;
    if (impl_->paused.compare_exchange_strong(expected, false)) {
        logDebugTag(kTag, "Capture resumed");
    }
}

bool ObsAudioCapture::isCapturing() const { return impl_->capturing; }
bool ObsAudioCapture::isPaused() const { return impl_->paused; }
AudioChunk ObsAudioCapture::takeBufferedAudio() { return impl_->takeBufferedAudio(); }

void ObsAudioCapture::clearBuffer() {
    std::lock_guard<std::mutex> lock(impl_->bufferMutex);
    impl_->buffer.clear();
}

float ObsAudioCapture::getCurrentLevel() const { return impl_->currentLevel; }
bool ObsAudioCapture::isVoiceActive() const { return impl_->voiceActive; }

AudioCaptureConfig ObsAudioCapture::getConfig() const {
    std::lock_guard<std::mutex> lock(impl_->stateMutex);
    return impl_->config;
}

Result<void> ObsAudioCapture::updateConfig(const AudioCaptureConfig& config) {
    return impl_->updateConfig(config);
}

std::vector<std::string> ObsAudioCapture::listAudioSources() const {
    std::vector<std::string> names;
    obs_enum_sources(
        [](void* param, obs_source_t* source) {
            auto* out = static_cast<std::vector<std::string>*>(param);
            const char* name = obs_source_get_name(source);
            if ((obs_source_get_output_flags(source) & OBS_SOURCE_AUDIO) && name) {
                out->emplace_back(name);
            }
            return true;
        },
        &names);
    return names;
}

void ObsAudioCapture::setAudioCallback(AudioCallback callback) {
    std::lock_guard<std::mutex> lock(impl_->callbacksMutex);
    impl_->audioCallback = std::move(callback);
}

void ObsAudioCapture::setLevelCallback(LevelCallback callback) {
    std::lock_guard<std::mutex> lock(impl_->callbacksMutex);
    impl_->levelCallback = std::move(callback);
}

void ObsAudioCapture::setVoiceActivityCallback(VoiceActivityCallback callback) {
    std::lock_guard<std::mutex> lock(impl_->callbacksMutex);
    impl_->voiceCallback = std::move(callback);
}

std::string ObsAudioCapture::getStatusJson() const { return impl_->statusJson(); }

}  // namespace obs_sayline
