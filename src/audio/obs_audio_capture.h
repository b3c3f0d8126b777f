#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/audio_chunk.h"
#include "core/result.h"

namespace obs_sayline {

struct AudioCaptureConfig {
    // 0, 1, 4: the source on output channel 0; 2: output channel 1; 3: the source named
    // sourceName. Anything else finds nothing.
    int32_t sourceType = 1;
    std::string sourceName;
    // Fallback format for sizing chunks while the host's own format is unknown.
    int32_t sampleRate = 16000;
    int32_t channels = 1;
    uint64_t chunkDurationMs = 100;
    bool enableVoiceDetection = true;
    float voiceThreshold = 0.5f;  // RMS at or above which a packet counts as voiced
};

// Samples in one chunk: rate * durationMs / 1000 (truncated) frames of `channels` samples.
uint64_t captureChunkSamples(int32_t sampleRate, uint64_t durationMs, int32_t channels);
// sqrt(sum x^2 / n) in single precision; 0 for no samples.
float rmsLevel(const float* samples, size_t count);

// Captures the audio of one host source through its audio capture hook: keeps a level meter
// and a loudness-based voice flag and hands the samples on in chunks of a set duration.
class IAudioCapture {
public:
    using AudioCallback = std::function<void(const AudioChunk&)>;
    using LevelCallback = std::function<void(float)>;
    using VoiceActivityCallback = std::function<void(bool)>;

    virtual ~IAudioCapture() = default;
    virtual Result<void> initialize(const AudioCaptureConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;
    virtual Result<void> start() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual bool isCapturing() const = 0;
    virtual bool isPaused() const = 0;
    // Moves whole buffer out without counting a chunk or calling the chunk callback.
    virtual AudioChunk takeBufferedAudio() = 0;
    virtual void clearBuffer() = 0;
    virtual float getCurrentLevel() const = 0;
    virtual bool isVoiceActive() const = 0;
    virtual AudioCaptureConfig getConfig() const = 0;
    // A new source type or name takes effect only at the next initialize.
    virtual Result<void> updateConfig(const AudioCaptureConfig& config) = 0;
    // Names of the host's audio sources, in enumeration order.
    virtual std::vector<std::string> listAudioSources() const = 0;
    // Callbacks run on the host's audio thread with the callbacks lock held: they must not
    // call the setters below.
    virtual void setAudioCallback(AudioCallback callback) = 0;
    virtual void setLevelCallback(LevelCallback callback) = 0;
    virtual void setVoiceActivityCallback(VoiceActivityCallback callback) = 0;
    virtual std::string getStatusJson() const = 0;
};

class ObsAudioCapture : public IAudioCapture {
public:
    ObsAudioCapture();
    ~ObsAudioCapture() override;

    ObsAudioCapture(const ObsAudioCapture&) = delete;
    ObsAudioCapture& operator=(const ObsAudioCapture&) = delete;

    Result<void> initialize(const AudioCaptureConfig& config) override;
    void shutdown() override;
    bool isInitialized() const override;
    Result<void> start() override;
    void stop() override;
    void pause() override;
    void resume() override;
    bool isCapturing() const override;
    bool isPaused() const override;
    AudioChunk takeBufferedAudio() override;
    void clearBuffer() override;
    float getCurrentLevel() const override;
    bool isVoiceActive() const override;
    AudioCaptureConfig getConfig() const override;
    Result<void> updateConfig(const AudioCaptureConfig& config) override;
    std::vector<std::string> listAudioSources() const override;
    void setAudioCallback(AudioCallback callback) override;
    void setLevelCallback(LevelCallback callback) override;
    void setVoiceActivityCallback(VoiceActivityCallback callback) override;
    std::string getStatusJson() const override;

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
