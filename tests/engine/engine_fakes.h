#pragma once

// Stand-ins for the engine's collaborators, so its wiring can be driven without a host or a
// network: a capture the test feeds by hand, a scripted recogniser and translator, and a
// renderer that only records.

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/obs_audio_capture.h"
#include "output/subtitle_renderer_base.h"
#include "stt/stt_engine_base.h"
#include "translation/translation_provider_base.h"

namespace obs_sayline::test {

class FakeCapture : public IAudioCapture {
public:
    struct Script {
        bool failInitialize = false;
        bool failStart = false;
    };
    explicit FakeCapture(Script* script) : script_(script) {}

    Result<void> initialize(const AudioCaptureConfig& config) override {
        config_ = config;
        if (script_ && script_->failInitialize) {
            return Result<void>(ErrorCode::AudioCaptureError, "Failed to find audio source");
        }
        initialized_ = true;
        return Result<void>::success();
    }
    void shutdown() override {
        stop();
        initialized_ = false;
    }
    bool isInitialized() const override { return initialized_; }
    Result<void> start() override {
        if (script_ && script_->failStart) {
            return Result<void>(ErrorCode::AudioCaptureError, "No audio source available");
        }
        capturing_ = true;
        return Result<void>::success();
    }
    void stop() override {
        std::lock_guard<std::mutex> lock(mutex_);  // waits for a feed in flight, like the host
        capturing_ = false;
        paused_ = false;
    }
    void pause() override { paused_ = capturing_.load(); }
    void resume() override { paused_ = false; }
    bool isCapturing() const override { return capturing_; }
    bool isPaused() const override { return paused_; }
    AudioChunk takeBufferedAudio() override { return {}; }
    void clearBuffer() override {}
    float getCurrentLevel() const override { return 0.25f; }
    bool isVoiceActive() const override { return true; }
    AudioCaptureConfig getConfig() const override { return config_; }
    Result<void> updateConfig(const AudioCaptureConfig& config) override {
        config_ = config;
        return Result<void>::success();
    }
    std::vector<std::string> listAudioSources() const override { return {}; }
    void setAudioCallback(AudioCallback callback) override { audio_ = std::move(callback); }
    void setLevelCallback(LevelCallback) override {}
    void setVoiceActivityCallback(VoiceActivityCallback) override {}
    std::string getStatusJson() const override { return "{}"; }

    // Delivers a chunk the way the host hook would: only while capturing and not paused.
    void feed(const AudioChunk& chunk) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!capturing_ || paused_ || !audio_) return;
        audio_(chunk);
    }

    AudioCaptureConfig config_;

private:
    Script* script_;
    std::mutex mutex_;
    std::atomic<bool> initialized_{false};
    std::atomic<bool> capturing_{false};
    std::atomic<bool> paused_{false};
    AudioCallback audio_;
};

// Answers each recognition with the next scripted result ("line <n>" when none is left).
class FakeStt : public SttEngineBase {
public:
    using Answer = std::function<Result<SttResult>(const AudioChunk&, int call)>;

    explicit FakeStt(Answer answer = nullptr) : answer_(std::move(answer)) { initialized_ = true; }
    VoidResult initialize(const SttEngineConfig&) override {
        initialized_ = true;
        return VoidResult::success();
    }
    void shutdown() override { initialized_ = false; }
    Result<SttResult> recognize(const AudioChunk& chunk) override {
        const int call = calls_++;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            chunks_.push_back(chunk);
        }
        if (answer_) return answer_(chunk, call);
        SttResult result;
        result.text = "line " + std::to_string(call);
        result.language = "ko";
        result.confidence = 0.9f;
        result.startTimeMs = 10;
        result.durationMs = 900;
        return result;
    }
    SttEngineType getType() const override { return SttEngineType::WhisperApi; }
    std::string getName() const override { return "Fake STT"; }
    std::vector<std::string> getSupportedLanguages() const override { return {}; }
    bool isLanguageSupported(const std::string&) const override { return true; }
    VoidResult updateConfig(const SttEngineConfig&) override { return VoidResult::success(); }
    std::string getStatistics() const override { return "{}"; }

    int calls() const { return calls_; }
    std::vector<AudioChunk> chunks() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return chunks_;
    }

private:
    Answer answer_;
    std::atomic<int> calls_{0};
    mutable std::mutex mutex_;
    std::vector<AudioChunk> chunks_;
};

// Translates to "<target>:<text>", or fails when told to.
class FakeTranslator : public TranslationProviderBase {
public:
    FakeTranslator() { markInitialized(); }
    VoidResult initialize(const ProviderConfig&) override { return VoidResult::success(); }
    void shutdown() override {}
    Result<TranslationResult> translate(const TranslationRequest& request) override {
        ++calls;
        if (fail) return Result<TranslationResult>(ErrorCode::NetworkError, "service down");
        TranslationResult result;
        result.translatedText = request.targetLanguage + ":" + request.text;
        return result;
    }
    bool supportsStreaming() const override { return false; }
    void setApiKey(const std::string&) override {}
    bool hasApiKey() const override { return true; }
    VoidResult updateConfig(const ProviderConfig&) override { return VoidResult::success(); }
    ProviderType getType() const override { return ProviderType::DeepL; }
    const char* getName() const override { return "Fake"; }
    std::vector<std::string> getSupportedSourceLanguages() const override { return {}; }
    std::vector<std::string> getSupportedTargetLanguages() const override { return {}; }
    bool supportsLanguagePair(const std::string&, const std::string&) const override {
        return true;
    }
    std::string getStatistics() const override { return "{}"; }

    std::atomic<bool> fail{false};
    std::atomic<int> calls{0};
};

// Keeps what it was asked to show.
class RecordingRenderer : public SubtitleRendererBase {
public:
    RecordingRenderer() { initialized_ = true; }
    Result<void> initialize(const RendererConfig& config) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        config_ = config;
        initialized_ = true;
        return Result<void>::success();
    }
    void shutdown() override {}
    Result<void> showSubtitles(const std::vector<SubtitleEntry>& entries) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        entries_ = entries;
        shown.insert(shown.end(), entries.begin(), entries.end());
        hasSubtitle_ = !entries.empty();
        return Result<void>::success();
    }
    void clear() override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        entries_.clear();
        hasSubtitle_ = false;
        ++clears;
    }
    std::string getName() const override { return "Recording"; }
    Result<void> updateConfig(const RendererConfig& config) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        config_ = config;
        return Result<void>::success();
    }
    Result<void> setStyle(const SubtitleStyle& style) override {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        config_.style = style;
        return Result<void>::success();
    }
    void show() override {}
    void hide() override {}
    std::string getStatusJson() const override { return "{}"; }
    Result<void> refresh() override { return Result<void>::success(); }

    std::vector<SubtitleEntry> shownEntries() const {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return shown;
    }
    int clearCount() const {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        return clears;
    }

private:
    std::vector<SubtitleEntry> shown;
    int clears = 0;
};

// Polls until the predicate holds; false after the timeout.
inline bool eventually(const std::function<bool()>& predicate,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace obs_sayline::test
