#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_processor.h"
#include "audio/voice_activity_detector.h"
#include "core/thread_pool.h"
#include "engine/subtitle_engine.h"

namespace obs_sayline {

// Lock order: stateMutex, then componentsMutex or callbacksMutex. Pool workers and the audio
// thread never take stateMutex: shutdown joins the workers and stop unhooks the audio thread
// while holding it.
class SubtitleEngine::Impl {
public:
    using Clock = std::chrono::steady_clock;

    explicit Impl(CaptureFactory makeCapture);
    ~Impl();

    // Lifecycle (subtitle_engine.cpp).
    Result<void> initialize(const EngineConfig& config);
    void shutdown();
    Result<void> start();
    void stop();
    void pause();
    void resume();
    Result<void> updateConfig(const EngineConfig& config);
    EngineStats stats() const;
    void resetStats();

    // Pipeline (subtitle_engine_pipeline.cpp).
    void setupCallbacks();
    void onCaptureChunk(const AudioChunk& chunk);
    void onProcessedChunk(const AudioChunk& chunk);
    void onDetectorState(VadState state);
    void submitForRecognition(AudioChunk chunk);
    void processSpeechChunk(const std::shared_ptr<ISttEngine>& stt, const AudioChunk& chunk,
                            Clock::time_point submitted);
    void handleRecognition(const SttResult& result);
    void translateEntry(const std::shared_ptr<ITranslationProvider>& provider, SubtitleEntry entry,
                        Clock::time_point submitted);
    void publish(const SubtitleEntry& entry);
    // Caller holds statsMutex.
    void taskFinished();
    Result<void> exportSubtitles(const std::string& path, int32_t format,
                                 const ExportOptions& options);

    void setLastError(std::string text);
    std::string lastError() const;
    // Caller holds stateMutex.
    void changeState(EngineState next);
    void resumeLocked();
    void stopLocked();
    void reportError(const Error& error);

    CaptureFactory makeCapture;
    std::atomic<EngineState> state{EngineState::Uninitialized};
    EngineConfig config;  // stateMutex
    mutable std::mutex stateMutex;

    std::unique_ptr<IAudioCapture> capture;
    std::unique_ptr<AudioProcessor> processor;
    std::unique_ptr<VoiceActivityDetector> detector;
    std::unique_ptr<ThreadPool> pool;

    // What workers and the audio thread read; changed by control calls.
    mutable std::mutex componentsMutex;
    std::shared_ptr<ISttEngine> stt;
    std::shared_ptr<ITranslationProvider> provider;
    std::shared_ptr<ISubtitleRenderer> renderer;
    bool enableTranslation = true;
    std::string sourceLanguage;
    std::string targetLanguage = "en";
    int32_t maxEntries = 100;
    int32_t speechRate = 16000;
    int32_t speechChannels = 1;

    // Counters are touched by the audio thread, the workers and the control thread.
    mutable std::mutex statsMutex;
    EngineStats counters;
    std::atomic<float> currentLevel{0.0f};
    std::atomic<bool> voiceActive{false};

    mutable std::mutex errorMutex;
    std::string lastErrorText;

    mutable std::mutex entriesMutex;
    std::deque<SubtitleEntry> history;

    std::mutex speechMutex;
    std::vector<float> speechBuffer;

    Clock::time_point startTime{};  // stateMutex
    Clock::time_point pauseTime{};  // stateMutex

    std::mutex callbacksMutex;
    SubtitleCallback onSubtitle;
    StateCallback onStateChanged;
    ErrorCallback onError;
};

}  // namespace obs_sayline
