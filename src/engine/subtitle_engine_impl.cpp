#include "engine/subtitle_engine_impl.h"

#include <exception>
#include <utility>

#include "core/logger.h"
#include "output/renderer_factory.h"
#include "stt/stt_factory.h"
#include "translation/provider_factory.h"

namespace obs_sayline {
namespace {

constexpr const char* kTag = "SubtitleEngine";

uint64_t elapsedMs(std::chrono::steady_clock::time_point since) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - since)
                        .count();
    return ms > 0 ? static_cast<uint64_t>(ms) : 0;
}

}  // namespace

SubtitleEngine::Impl::Impl(CaptureFactory factory) : makeCapture(std::move(factory)) {
    if (!makeCapture) makeCapture = [] { return std::make_unique<ObsAudioCapture>(); };
}

SubtitleEngine::Impl::~Impl() { shutdown(); }

void SubtitleEngine::Impl::setLastError(std::string text) {
    std::lock_guard<std::mutex> lock(errorMutex);
    lastErrorText = std::move(text);
}

std::string SubtitleEngine::Impl::lastError() const {
    std::lock_guard<std::mutex> lock(errorMutex);
    return lastErrorText;
}

void SubtitleEngine::Impl::changeState(EngineState next) {
    const EngineState old = state.exchange(next);
    std::lock_guard<std::mutex> lock(callbacksMutex);
    if (onStateChanged) onStateChanged(old, next);
}

void SubtitleEngine::Impl::reportError(const Error& error) {
    std::lock_guard<std::mutex> lock(callbacksMutex);
    if (onError) onError(error);
}

Result<void> SubtitleEngine::Impl::initialize(const EngineConfig& next) {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (state != EngineState::Uninitialized) {
        return Result<void>(ErrorCode::AlreadyInitialized, "Engine already initialized");
    }
    config = next;
    {
        std::lock_guard<std::mutex> components(componentsMutex);
        enableTranslation = next.enableTranslation;
        sourceLanguage = next.sourceLanguage;
        targetLanguage = next.targetLanguage;
        maxEntries = next.maxEntries;
        speechRate = next.sampleRate;
        speechChannels = next.channels;
    }

    capture.reset();
    capture = makeCapture();
    AudioCaptureConfig captureConfig;
    captureConfig.sourceType = next.audioSourceType;
    captureConfig.sourceName = next.audioSourceName;
    captureConfig.sampleRate = next.sampleRate;
    captureConfig.channels = next.channels;
    captureConfig.chunkDurationMs =
        next.captureChunkMs > 0 ? static_cast<uint64_t>(next.captureChunkMs) : 0;
    captureConfig.enableVoiceDetection = next.enableVad;
    captureConfig.voiceThreshold = next.vadThreshold;
    auto captured = capture->initialize(captureConfig);
    if (!captured) {
        setLastError("Failed to initialize audio capture: " + captured.error().message);
        return captured;
    }

    processor = std::make_unique<AudioProcessor>();
    AudioProcessorConfig processorConfig;
    processorConfig.targetSampleRate = next.sampleRate;
    processorConfig.targetChannels = next.channels;
    auto processed = processor->initialize(processorConfig);
    if (!processed) {
        setLastError("Failed to initialize audio processor: " + processed.error().message);
        return processed;
    }

    detector.reset();
    if (next.enableVad) {
        detector = std::make_unique<VoiceActivityDetector>();
        VadConfig vadConfig;
        vadConfig.sampleRate = next.sampleRate;
        vadConfig.energyThreshold = next.vadThreshold;
        auto detected = detector->initialize(vadConfig);
        if (!detected) {
            setLastError("Failed to initialize VAD: " + detected.error().message);
            return detected;
        }
    }

    if (pool) pool->shutdown(true);
    pool = std::make_unique<ThreadPool>(static_cast<size_t>(next.threadCount));
    setupCallbacks();
    state = EngineState::Initialized;
    logInfoTag(kTag, "Initialized with STT: %s, Provider: %s",
               sttEngineTypeName(static_cast<SttEngineType>(next.sttEngine)),
               providerTypeName(static_cast<ProviderType>(next.translationProvider)));
    return Result<void>::success();
}

void SubtitleEngine::Impl::resumeLocked() {
    if (state != EngineState::Paused) return;
    {
        std::lock_guard<std::mutex> statsLock(statsMutex);
        counters.totalPausedMs += elapsedMs(pauseTime);
    }
    if (capture) capture->resume();
    changeState(EngineState::Running);
    logInfoTag(kTag, "Resumed");
}

void SubtitleEngine::Impl::stopLocked() {
    const EngineState current = state;
    if (current != EngineState::Running && current != EngineState::Paused) return;
    changeState(EngineState::Stopping);
    if (capture) capture->stop();
    changeState(EngineState::Initialized);
    logInfoTag(kTag, "Stopped");
}

Result<void> SubtitleEngine::Impl::start() {
    std::lock_guard<std::mutex> lock(stateMutex);
    const EngineState current = state;
    if (current == EngineState::Uninitialized) {
        return Result<void>(ErrorCode::NotInitialized, "Engine not initialized");
    }
    if (current == EngineState::Running) return Result<void>::success();
    if (current == EngineState::Paused) {
        resumeLocked();
        return Result<void>::success();
    }
    changeState(EngineState::Starting);

    std::shared_ptr<ISttEngine> sttNow;
    std::shared_ptr<ITranslationProvider> providerNow;
    std::shared_ptr<ISubtitleRenderer> rendererNow;
    {
        std::lock_guard<std::mutex> components(componentsMutex);
        sttNow = stt;
        providerNow = provider;
        rendererNow = renderer;
    }
    if (!sttNow) {
        sttNow = SttFactory::create(static_cast<SttEngineType>(config.sttEngine));
        if (sttNow) {
            SttEngineConfig sttConfig;
            sttConfig.engineType = static_cast<SttEngineType>(config.sttEngine);
            sttConfig.language = config.sttLanguage;
            sttConfig.wordTimestamps = config.wordTimestamps;
            (void)sttNow->initialize(sttConfig);
        }
    }
    if (config.enableTranslation && !providerNow) {
        providerNow =
            ProviderFactory::create(static_cast<ProviderType>(config.translationProvider));
        if (providerNow) {
            ProviderConfig providerConfig;
            providerConfig.type = static_cast<ProviderType>(config.translationProvider);
            providerConfig.maxRetries = 3;
            providerConfig.timeoutMs = config.translationTimeoutMs;
            providerConfig.extraFlag = false;
            (void)providerNow->initialize(providerConfig);
        }
    }
    if (!rendererNow) {
        rendererNow = RendererFactory::create(config.rendererType);
        if (rendererNow) {
            RendererConfig rendererConfig;
            rendererConfig.rendererType = config.rendererType;
            rendererConfig.textSourceName = config.textSourceName;
            rendererConfig.style = config.style;
            (void)rendererNow->initialize(rendererConfig);
        }
    }
    {
        std::lock_guard<std::mutex> components(componentsMutex);
        stt = sttNow;
        provider = providerNow;
        renderer = rendererNow;
    }

    auto started = capture->start();
    if (!started) {
        state = EngineState::Failed;
        setLastError("Failed to start audio capture: " + started.error().message);
        reportError(started.error());
        return started;
    }
    startTime = Clock::now();
    changeState(EngineState::Running);
    logInfoTag(kTag, "Started");
    return Result<void>::success();
}

void SubtitleEngine::Impl::stop() {
    std::lock_guard<std::mutex> lock(stateMutex);
    stopLocked();
}

void SubtitleEngine::Impl::pause() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (state != EngineState::Running) return;
    state = EngineState::Paused;
    pauseTime = Clock::now();
    if (capture) capture->pause();
    {
        std::lock_guard<std::mutex> callbacks(callbacksMutex);
        if (onStateChanged) onStateChanged(EngineState::Running, EngineState::Paused);
    }
    logInfoTag(kTag, "Paused");
}

void SubtitleEngine::Impl::resume() {
    std::lock_guard<std::mutex> lock(stateMutex);
    resumeLocked();
}

void SubtitleEngine::Impl::shutdown() {
    std::lock_guard<std::mutex> lock(stateMutex);
    if (state == EngineState::Uninitialized) return;
    stopLocked();
    // Queued recognitions and translations still run; they never wait for this lock.
    if (pool) {
        pool->shutdown(true);
        pool.reset();
    }
    if (detector) {
        detector->shutdown();
        detector.reset();
    }
    if (processor) {
        processor->shutdown();
        processor.reset();
    }
    if (capture) {
        capture->shutdown();
        capture.reset();
    }
    {
        std::lock_guard<std::mutex> components(componentsMutex);
        stt.reset();
        provider.reset();
        renderer.reset();
    }
    {
        std::lock_guard<std::mutex> entries(entriesMutex);
        history.clear();
    }
    {
        std::lock_guard<std::mutex> speech(speechMutex);
        speechBuffer.clear();
    }
    state = EngineState::Uninitialized;
    logInfoTag(kTag, "Shutdown complete");
}

Result<void> SubtitleEngine::Impl::updateConfig(const EngineConfig& next) {
    std::lock_guard<std::mutex> lock(stateMutex);
    config.enableTranslation = next.enableTranslation;
    config.sourceLanguage = next.sourceLanguage;
    config.targetLanguage = next.targetLanguage;
    config.style = next.style;
    config.maxEntries = next.maxEntries;
    std::shared_ptr<ISubtitleRenderer> rendererNow;
    {
        std::lock_guard<std::mutex> components(componentsMutex);
        enableTranslation = next.enableTranslation;
        sourceLanguage = next.sourceLanguage;
        targetLanguage = next.targetLanguage;
        maxEntries = next.maxEntries;
        rendererNow = renderer;
    }
    {
        // A smaller limit applies to what is already held, not only to the next entry.
        const size_t limit = next.maxEntries > 0 ? static_cast<size_t>(next.maxEntries) : 0;
        std::lock_guard<std::mutex> entries(entriesMutex);
        while (history.size() > limit) history.pop_front();
    }
    if (rendererNow) {
        RendererConfig rendererConfig;
        // Keep the text source in use: a style change must not move the subtitle elsewhere.
        rendererConfig.textSourceName = config.textSourceName;
        rendererConfig.style = next.style;
        (void)rendererNow->updateConfig(rendererConfig);
    }
    if (next.sttEngine == config.sttEngine &&
        next.translationProvider == config.translationProvider &&
        next.rendererType == config.rendererType &&
        next.audioSourceName == config.audioSourceName && next.sampleRate == config.sampleRate) {
        return Result<void>::success();
    }
    if (state == EngineState::Running) {
        logInfoTag(kTag, "Configuration change requires restart");
        config = next;
    }
    return Result<void>::success();
}

EngineStats SubtitleEngine::Impl::stats() const {
    std::lock_guard<std::mutex> lock(stateMutex);
    EngineStats out;
    {
        std::lock_guard<std::mutex> statsLock(statsMutex);
        out = counters;
    }
    const EngineState current = state;
    out.uptimeMs = (current == EngineState::Running || current == EngineState::Paused)
                       ? elapsedMs(startTime)
                       : 0;
    if (capture) {
        out.currentLevel = capture->getCurrentLevel();
        out.voiceActive = capture->isVoiceActive();
    } else {
        out.currentLevel = currentLevel;
        out.voiceActive = voiceActive;
    }
    std::lock_guard<std::mutex> entries(entriesMutex);
    out.entryCount = history.size();
    return out;
}

void SubtitleEngine::Impl::resetStats() {
    std::lock_guard<std::mutex> lock(stateMutex);
    {
        std::lock_guard<std::mutex> statsLock(statsMutex);
        counters = EngineStats{};
    }
    startTime = Clock::now();
}

// Public object: every operation forwards to the implementation.

}  // namespace obs_sayline
