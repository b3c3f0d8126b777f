#include "plugin/recognition_worker.h"

#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "core/logger.h"
#include "plugin/phantom_filter.h"
#include "plugin/speech_gate.h"
#include "plugin/subtitle_handoff.h"
#include "plugin/subtitle_source_data.h"
#include "stt/stt_engine.h"
#include "translation/translation_provider.h"

namespace obs_sayline {
namespace {

constexpr size_t kTranslationLogBytes = 80;

uint64_t chunkDurationMs(const AudioChunk& chunk) {
    if (chunk.sampleRate < 1 || chunk.channels < 1) return 0;
    const uint64_t frames = chunk.samples.size() / static_cast<size_t>(chunk.channels);
    return frames * 1000 / static_cast<uint64_t>(chunk.sampleRate);
}

template <typename Body>
void guardedWorkerStep(Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        logErrorTag("STT-Thread", "Exception in processBufferedAudio: %s", e.what());
    } catch (...) {
        logErrorTag("STT-Thread", "Unknown exception in processBufferedAudio");
    }
}

}  // namespace

void recognizeChunk(SourceSharedState& shared, const RecognitionSetup& setup,
                    const AudioChunk& chunk) {
    auto recognised = setup.engine->recognize(chunk);
    if (!recognised) {
        logErrorTag("STT", "Recognition failed: %s", recognised.error().message.c_str());
        return;
    }
    const SttResult& result = recognised.value();
    logInfoTag("STT", "Result: \"%s\" (lang=%s, conf=%.2f)", result.text.c_str(),
               result.language.c_str(), static_cast<double>(result.confidence));
    if (isPhantomResult(result.text, result.confidence)) {
        logInfoTag("STT", "Filtered hallucination: \"%s\" (conf=%.2f)", result.text.c_str(),
                   static_cast<double>(result.confidence));
        return;
    }

    std::string translated;
    if (setup.enableTranslation && setup.translator && !shared.orphaned.load()) {
        TranslationRequest request;
        request.text = result.text;
        request.sourceLanguage = setup.sourceLanguage;
        request.targetLanguage = setup.targetLanguage;
        auto translation = setup.translator->translate(request);
        if (!translation) {
            logErrorTag("Translation", "Failed: %s", translation.error().message.c_str());
        } else {
            translated = translation.value().translatedText;
            const std::string shown = translated.substr(0, kTranslationLogBytes);
            logInfoTag("Translation", "OK: \"%s\"", shown.c_str());
        }
    }
    publishSubtitle(shared, result.text, translated, setup.enableTranslation, setup.showOriginal);
}

void processChunkSamples(SourceSharedState& shared, const RecognitionSetup& setup,
                         std::vector<float> samples) {
    if (samples.empty() || !setup.engine) return;
    std::lock_guard<std::mutex> serial(shared.recognitionMutex);

    const float rms = chunkRms(samples);
    if (isSilent(rms)) {
        noteSilentChunk(rms);
        shared.audioPositionMs.fetch_add(samples.size() * 1000 / kIntakeSampleRate);
        return;
    }
    logInfoTag("VAD", "Speech detected (RMS=%.6f, threshold=%.6f)", static_cast<double>(rms),
               static_cast<double>(kSilenceRmsThreshold));

    AudioChunk chunk;
    chunk.samples = std::move(samples);
    chunk.sampleRate = kIntakeSampleRate;
    chunk.channels = kIntakeChannels;
    chunk.timestamp = shared.audioPositionMs.load();
    logDebug("Processing audio chunk: %.2f seconds, %zu samples",
             static_cast<double>(chunk.samples.size()) / kIntakeSampleRate, chunk.samples.size());
    recognizeChunk(shared, setup, chunk);
    shared.audioPositionMs.fetch_add(chunkDurationMs(chunk));
}

void processBufferedAudio(SourceSharedState& shared, const RecognitionSetup& setup) {
    std::vector<float> samples;
    {
        std::lock_guard<std::mutex> lock(shared.bufferMutex);
        if (shared.audioBuffer.empty()) return;
        samples.assign(shared.audioBuffer.begin(), shared.audioBuffer.end());
        shared.audioBuffer.clear();  // keeps its capacity for the audio thread
    }
    processChunkSamples(shared, setup, std::move(samples));
}

namespace {

// Processes what stops handed over until there is none left, then clears workerRunning under
// the buffer mutex, so a stop either sees the flag cleared or leaves its audio to this loop.
void drainHandedOver(const std::shared_ptr<SourceSharedState>& shared,
                     const RecognitionSetup& setup) {
    for (;;) {
        std::vector<float> next;
        {
            std::lock_guard<std::mutex> lock(shared->bufferMutex);
            if (shared->handedOver.empty() || shared->orphaned.load()) {
                shared->handedOver.clear();
                shared->workerRunning.exchange(false);
                return;
            }
            next.swap(shared->handedOver);
        }
        guardedWorkerStep([&] { processChunkSamples(*shared, setup, std::move(next)); });
    }
}

}  // namespace

void runRecognitionWorker(const std::shared_ptr<SourceSharedState>& shared,
                          const std::shared_ptr<const RecognitionSetup>& setup) {
    guardedWorkerStep([&] { processBufferedAudio(*shared, *setup); });
    drainHandedOver(shared, *setup);
}

void startRecognitionWorker(std::shared_ptr<SourceSharedState> shared,
                            std::shared_ptr<const RecognitionSetup> setup) {
    std::thread([shared = std::move(shared), setup = std::move(setup)] {
        runRecognitionWorker(shared, setup);
    }).detach();
}

void handOverToWorker(const std::shared_ptr<SourceSharedState>& shared,
                      std::shared_ptr<const RecognitionSetup> setup, std::vector<float> samples) {
    if (samples.empty()) return;
    std::lock_guard<std::mutex> lock(shared->bufferMutex);
    if (shared->workerRunning.load()) {
        shared->handedOver.insert(shared->handedOver.end(), samples.begin(), samples.end());
        return;
    }
    if (!setup || !setup->engine) return;
    shared->handedOver.insert(shared->handedOver.end(), samples.begin(), samples.end());
    shared->workerRunning.exchange(true);
    try {
        std::thread([shared, setup = std::move(setup)] {
            drainHandedOver(shared, *setup);
        }).detach();
    } catch (const std::exception& e) {
        shared->handedOver.clear();
        shared->workerRunning.store(false);
        logErrorTag("STT-Thread", "Failed to start worker thread: %s", e.what());
    }
}

}  // namespace obs_sayline
