// The audio side (capture, processing, detection) and the work on the pool (recognition,
// translation, publishing) of the subtitle engine.
#include <exception>
#include <utility>

#include "core/logger.h"
#include "engine/subtitle_engine_impl.h"
#include "output/export_factory.h"

namespace obs_sayline {
namespace {

constexpr const char* kTag = "SubtitleEngine";
constexpr int32_t kTaskPriority = 1;

double msSince(std::chrono::steady_clock::time_point since) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now() - since)
                                   .count()) /
           1000000.0;
}

// Runs one handler at a thread boundary (host audio thread, pool worker): nothing escapes.
template <typename F>
void guarded(const char* what, F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        logErrorTag(kTag, "%s failed: %s", what, e.what());
    } catch (...) {
        logErrorTag(kTag, "%s failed", what);
    }
}

}  // namespace

void SubtitleEngine::Impl::taskFinished() {
    // resetStats zeroes the count while tasks are still out; they must not wrap it around.
    if (counters.pendingTasks > 0) counters.pendingTasks -= 1;
}

void SubtitleEngine::Impl::setupCallbacks() {
    capture->setAudioCallback([this](const AudioChunk& chunk) {
        guarded("Audio chunk", [&] { onCaptureChunk(chunk); });
    });
    capture->setLevelCallback([this](float level) { currentLevel = level; });
    capture->setVoiceActivityCallback([this](bool active) { voiceActive = active; });
    processor->setOutputCallback([this](const AudioChunk& chunk) { onProcessedChunk(chunk); });
    if (detector) {
        detector->setStateCallback(
            [this](VadState vadState, const VadResult&) { onDetectorState(vadState); });
        detector->setSegmentCallback([this](double startMs, double endMs) {
            std::lock_guard<std::mutex> lock(statsMutex);
            counters.totalSpeechMs += endMs - startMs;
        });
    }
}

void SubtitleEngine::Impl::onCaptureChunk(const AudioChunk& chunk) {
    if (state != EngineState::Running) return;
    {
        std::lock_guard<std::mutex> lock(statsMutex);
        counters.audioChunksCaptured += 1;
        if (chunk.sampleRate > 0) {
            const size_t frames =
                chunk.channels > 0 ? chunk.samples.size() / static_cast<size_t>(chunk.channels) : 0;
            counters.totalAudioMs +=
                static_cast<double>(frames) * 1000.0 / static_cast<double>(chunk.sampleRate);
        }
    }
    (void)processor->process(chunk);
}

void SubtitleEngine::Impl::onProcessedChunk(const AudioChunk& chunk) {
    if (state != EngineState::Running) return;
    if (!detector) {
        submitForRecognition(chunk);
        return;
    }
    detector->feedSamples(chunk.samples.data(), chunk.samples.size());
    // The chunk that starts a segment belongs to it; the one that ends it does not.
    if (detector->isSpeechActive()) {
        std::lock_guard<std::mutex> lock(speechMutex);
        speechBuffer.insert(speechBuffer.end(), chunk.samples.begin(), chunk.samples.end());
    }
}

void SubtitleEngine::Impl::onDetectorState(VadState vadState) {
    if (vadState == VadState::SpeechStart) {
        std::lock_guard<std::mutex> lock(speechMutex);
        speechBuffer.clear();
        return;
    }
    if (vadState != VadState::SpeechEnd) return;
    AudioChunk speech;
    {
        std::lock_guard<std::mutex> lock(speechMutex);
        speech.samples.swap(speechBuffer);
    }
    // A detector reset while stopping reports an end too; that audio is dropped.
    if (speech.samples.empty() || state != EngineState::Running) return;
    {
        std::lock_guard<std::mutex> lock(componentsMutex);
        speech.sampleRate = speechRate;
        speech.channels = speechChannels;
    }
    speech.timestamp = 0;
    submitForRecognition(std::move(speech));
}

void SubtitleEngine::Impl::submitForRecognition(AudioChunk chunk) {
    std::shared_ptr<ISttEngine> engine;
    {
        std::lock_guard<std::mutex> lock(componentsMutex);
        engine = stt;
    }
    if (!engine || !engine->isInitialized() || !pool) return;
    {
        std::lock_guard<std::mutex> lock(statsMutex);
        counters.speechChunksSubmitted += 1;
        counters.pendingTasks += 1;
    }
    const auto submitted = Clock::now();
    try {
        pool->submit(kTaskPriority, [this, engine, chunk = std::move(chunk), submitted] {
            processSpeechChunk(engine, chunk, submitted);
        });
    } catch (const std::exception& e) {
        std::lock_guard<std::mutex> lock(statsMutex);
        taskFinished();
        logWarningTag(kTag, "Speech chunk dropped: %s", e.what());
    }
}

void SubtitleEngine::Impl::processSpeechChunk(const std::shared_ptr<ISttEngine>& engine,
                                              const AudioChunk& chunk,
                                              Clock::time_point submitted) {
    guarded("Recognition", [&] {
        auto recognized = engine->recognize(chunk);
        if (!recognized) {
            {
                std::lock_guard<std::mutex> lock(statsMutex);
                counters.recognitionErrors += 1;
            }
            setLastError("STT error: " + recognized.error().message);
            reportError(recognized.error());
            return;
        }
        const double latency = msSince(submitted);
        {
            std::lock_guard<std::mutex> lock(statsMutex);
            counters.recognitionsCompleted += 1;
            counters.averageRecognitionLatencyMs = smoothLatency(
                counters.averageRecognitionLatencyMs, counters.recognitionsCompleted == 1, latency);
        }
        handleRecognition(recognized.value());
    });
    std::lock_guard<std::mutex> lock(statsMutex);
    taskFinished();
}

void SubtitleEngine::Impl::handleRecognition(const SttResult& result) {
    if (result.text.empty()) return;
    SubtitleEntry entry;
    entry.id = nextEntryId();
    entry.originalText = result.text;
    entry.sourceLanguage = result.language;
    entry.startTimeMs = result.startTimeMs;
    entry.endTimeMs = result.durationMs;
    entry.confidence = result.confidence;
    entry.isFinal = result.isFinal;

    std::shared_ptr<ITranslationProvider> translator;
    {
        std::lock_guard<std::mutex> lock(componentsMutex);
        if (enableTranslation) translator = provider;
    }
    if (!translator || !translator->isInitialized() || !pool) {
        publish(entry);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(statsMutex);
        counters.translationsRequested += 1;
        counters.pendingTasks += 1;
    }
    const auto submitted = Clock::now();
    try {
        pool->submit(kTaskPriority, [this, translator, entry, submitted] {
            translateEntry(translator, entry, submitted);
        });
    } catch (const std::exception& e) {
        // The pool is shutting down: show the line untranslated rather than lose it.
        {
            std::lock_guard<std::mutex> lock(statsMutex);
            taskFinished();
        }
        logWarningTag(kTag, "Translation skipped: %s", e.what());
        publish(entry);
    }
}

void SubtitleEngine::Impl::translateEntry(const std::shared_ptr<ITranslationProvider>& translator,
                                          SubtitleEntry entry, Clock::time_point submitted) {
    guarded("Translation", [&] {
        TranslationRequest request;
        request.text = entry.originalText;
        {
            std::lock_guard<std::mutex> lock(componentsMutex);
            request.sourceLanguage = sourceLanguage;
            request.targetLanguage = targetLanguage;
        }
        auto translated = translator->translate(request);
        if (!translated) {
            {
                std::lock_guard<std::mutex> lock(statsMutex);
                counters.translationErrors += 1;
            }
            setLastError("Translation error: " + translated.error().message);
            return;
        }
        const double latency = msSince(submitted);
        {
            std::lock_guard<std::mutex> lock(statsMutex);
            counters.translationsCompleted += 1;
            counters.averageTranslationLatencyMs = smoothLatency(
                counters.averageTranslationLatencyMs, counters.translationsCompleted == 1, latency);
        }
        entry.translatedText = translated.value().translatedText;
        entry.targetLanguage = request.targetLanguage;
    });
    {
        std::lock_guard<std::mutex> lock(statsMutex);
        taskFinished();
    }
    guarded("Publishing", [&] { publish(entry); });
}

void SubtitleEngine::Impl::publish(const SubtitleEntry& entry) {
    std::shared_ptr<ISubtitleRenderer> display;
    size_t limit = 0;
    {
        std::lock_guard<std::mutex> lock(componentsMutex);
        display = renderer;
        limit = maxEntries > 0 ? static_cast<size_t>(maxEntries) : 0;
    }
    {
        std::lock_guard<std::mutex> lock(entriesMutex);
        history.push_back(entry);
        while (history.size() > limit) history.pop_front();
    }
    if (display && display->isInitialized()) {
        (void)display->showSubtitle(entry);
        std::lock_guard<std::mutex> lock(statsMutex);
        counters.subtitlesDisplayed += 1;
    }
    std::lock_guard<std::mutex> lock(callbacksMutex);
    if (onSubtitle) onSubtitle(entry);
}

Result<void> SubtitleEngine::Impl::exportSubtitles(const std::string& path, int32_t format,
                                                   const ExportOptions& options) {
    std::lock_guard<std::mutex> lock(entriesMutex);
    auto exporter = ExportFactory::create(static_cast<ExportFormat>(format));
    if (!exporter) return Result<void>(ErrorCode::NotSupported, "Export format not supported");
    const std::vector<SubtitleEntry> entries(history.begin(), history.end());
    auto written = exporter->exportToFile(entries, path, options);
    if (!written) return Result<void>(written.error());
    return Result<void>::success();
}

}  // namespace obs_sayline
