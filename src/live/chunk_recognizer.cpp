#include "live/chunk_recognizer.h"

#include <mutex>
#include <string>
#include <utility>

#include "core/audio_chunk.h"
#include "core/logger.h"
#include "live/display_text.h"
#include "live/phantom_filter.h"
#include "live/service_call_watch.h"
#include "live/speech_gate.h"
#include "stt/stt_engine.h"
#include "translation/translation_provider.h"

namespace obs_sayline {
namespace {

constexpr size_t kTranslationLogBytes = 80;
constexpr size_t kMaxRecognisedBytes = 4096;

uint64_t chunkDurationMs(const AudioChunk& chunk) {
    if (chunk.sampleRate < 1 || chunk.channels < 1) return 0;
    const uint64_t frames = chunk.samples.size() / static_cast<size_t>(chunk.channels);
    return frames * 1000 / static_cast<uint64_t>(chunk.sampleRate);
}

std::string translate(SourceStatus& status, const RecognitionSetup& setup,
                      const std::string& text) {
    TranslationRequest request;
    request.text = text;
    request.sourceLanguage = setup.sourceLanguage;
    request.targetLanguage = setup.targetLanguage;
    auto translation = watchServiceCall(status, setup.translator->getName(),
                                        [&] { return setup.translator->translate(request); });
    if (!translation) {
        logErrorTag("Translation", "Failed: %s", translation.error().message.c_str());
        return {};
    }
    std::string translated = translation.value().translatedText;
    const std::string shown = translated.substr(0, kTranslationLogBytes);
    logInfoTag("Translation", "OK: \"%s\"", shown.c_str());
    return translated;
}

// Engine, filter and translation for one speech chunk; the subtitle goes to the sinks.
void recognizeSpeech(SourceShared& shared, const RecognitionSetup& setup,
                     const SubtitleSinks& sinks, const AudioChunk& audio, uint64_t startMs,
                     uint64_t endMs) {
    SourceStatus& status = shared.status;
    SourceStatus::Request request(status);
    auto recognised = watchServiceCall(status, setup.engine->getName(),
                                       [&] { return setup.engine->recognize(audio); });
    if (!recognised) {
        logErrorTag("STT", "Recognition failed: %s", recognised.error().message.c_str());
        return;
    }
    finishRecognised(shared, setup, sinks, recognised.value(), startMs, endMs);
}

}  // namespace

bool finishRecognised(SourceShared& shared, const RecognitionSetup& setup,
                      const SubtitleSinks& sinks, SttResult& result, uint64_t startMs,
                      uint64_t endMs) {
    SourceStatus& status = shared.status;
    // Speech of a few seconds is a few hundred bytes of text: a runaway reply goes no further
    // than this, whatever the sinks do with it.
    if (result.text.size() > kMaxRecognisedBytes) {
        result.text = limitBytes(result.text, kMaxRecognisedBytes);
        result.text.shrink_to_fit();
    }
    logInfoTag("STT", "Result: \"%s\" (lang=%s, conf=%.2f)", result.text.c_str(),
               result.language.c_str(), static_cast<double>(result.confidence));
    if (isPhantomResult(result.text, result.confidence)) {
        logInfoTag("STT", "Filtered hallucination: \"%s\" (conf=%.2f)", result.text.c_str(),
                   static_cast<double>(result.confidence));
        status.nothingToShow();
        return false;
    }

    std::string translated;
    if (setup.enableTranslation && setup.translator && !shared.orphaned.load()) {
        translated = translate(status, setup, result.text);
    }
    if (shared.orphaned.load()) {
        logDebugTag("STT", "Source is gone, result dropped");
        return false;
    }

    FinishedSubtitle subtitle;
    subtitle.text =
        composeDisplayText(result.text, translated, setup.enableTranslation, setup.showOriginal);
    subtitle.original = result.text;
    subtitle.translation = translated;
    const bool languageChosen =
        !setup.sourceLanguage.empty() && setup.sourceLanguage != "auto";
    subtitle.sourceLanguage = languageChosen ? setup.sourceLanguage : result.language;
    if (!translated.empty()) subtitle.targetLanguage = setup.targetLanguage;
    subtitle.startMs = startMs;
    subtitle.endMs = endMs;
    subtitle.displayMs = setup.displayMs;
    sinks.deliver(subtitle);
    status.subtitleShown();
    return true;
}

void recognizeChunk(SourceShared& shared, const RecognitionSetup& setup,
                    const SubtitleSinks& sinks, SpeechChunk& chunk) {
    if (chunk.samples.empty() || !setup.engine) return;
    std::lock_guard<std::mutex> serial(shared.recognitionMutex);

    if (chunk.loudnessGate) {
        const float rms = chunkRms(chunk.samples);
        if (isSilent(rms)) {
            noteSilentChunk(rms);
            shared.status.heardSilence();
            shared.audioPositionMs.fetch_add(intakeMs(chunk.samples.size()));
            return;
        }
        logInfoTag("VAD", "Speech detected (RMS=%.6f, threshold=%.6f)", static_cast<double>(rms),
                   static_cast<double>(kSilenceRmsThreshold));
    }

    AudioChunk audio;
    audio.samples = std::move(chunk.samples);
    audio.sampleRate = kIntakeSampleRate;
    audio.channels = kIntakeChannels;
    audio.timestamp = shared.audioPositionMs.load();
    logDebug("Processing audio chunk: %.2f seconds, %zu samples",
             static_cast<double>(audio.samples.size()) / kIntakeSampleRate, audio.samples.size());
    struct GiveBack {
        AudioChunk& audio;
        SpeechChunk& chunk;
        // The samples go back to the chunk whatever happens, so its buffer is reused.
        ~GiveBack() { chunk.samples = std::move(audio.samples); }
    } giveBack{audio, chunk};
    recognizeSpeech(shared, setup, sinks, audio, chunk.startMs,
                    chunk.startMs + intakeMs(audio.samples.size()));
    shared.audioPositionMs.fetch_add(chunkDurationMs(audio));
}

}  // namespace obs_sayline
