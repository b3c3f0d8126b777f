#include "live/recognised_text.h"

#include <string>

#include "core/logger.h"
#include "core/utf8_text.h"
#include "live/chunker.h"
#include "live/source_status.h"
#include "translation/translation_provider.h"

namespace obs_sayline {
namespace {

constexpr size_t kTranslationLogBytes = 80;
constexpr size_t kMaxRecognisedBytes = 4096;

std::string translate(SourceStatus& status, const RecognitionSetup& setup,
                      const std::string& text) {
    TranslationRequest request;
    request.text = text;
    request.sourceLanguage = setup.sourceLanguage;
    request.targetLanguage = setup.targetLanguage;
    request.keepTerms = setup.vocabulary;
    auto translation = watchServiceCall(status, setup.capture, setup.translator->getName(),
                                        [&] { return setup.translator->translate(request); });
    if (!translation) {
        logErrorTag("Translation", "Failed: %s", translation.error().message.c_str());
        return {};
    }
    // A hidden word the translation still holds (a name, a loan word) is hidden there too.
    std::string translated = setup.wordRules.hide(std::move(translation.value().translatedText));
    const std::string shown = translated.substr(0, kTranslationLogBytes);
    logInfoTag("Translation", "OK: \"%s\"", shown.c_str());
    return translated;
}

// Where the speech began on the audio clock: where the recogniser heard its first words, when
// it says so, else where the chunk's first sound was.
uint64_t speechBeganMs(const SttResult& result, uint64_t startMs, uint64_t endMs, uint64_t leadMs) {
    const uint64_t spanMs = endMs > startMs ? endMs - startMs : 0;
    if (result.startTimeMs > 0 && static_cast<uint64_t>(result.startTimeMs) < spanMs) {
        return startMs + static_cast<uint64_t>(result.startTimeMs);
    }
    return startMs + (leadMs < spanMs ? leadMs : 0);
}

}  // namespace

uint64_t behindIntakeMs(const SourceShared& shared, uint64_t endMs) {
    const uint64_t heardMs = intakeMs(static_cast<size_t>(shared.heardSamples.load()));
    return heardMs > endMs ? heardMs - endMs : 0;
}

bool isPhantomResult(const std::string& text, float confidence) {
    if (text.empty()) return true;
    if (confidence < kMinRecognitionConfidence) return true;
    for (const std::string_view phrase : kPhantomPhrases) {
        if (text.size() >= phrase.size() && text.find(phrase) != std::string::npos) return true;
    }
    return false;
}

std::string composeDisplayText(const std::string& recognised, const std::string& translated,
                               bool enableTranslation, bool showOriginal) {
    if (enableTranslation && !translated.empty()) {
        return showOriginal ? recognised + "\n" + translated : translated;
    }
    return recognised;
}

bool finishRecognised(SourceShared& shared, const RecognitionSetup& setup,
                      const SubtitleSinks& sinks, SttResult& result, uint64_t startMs,
                      uint64_t endMs, uint64_t leadMs) {
    SourceStatus& status = shared.status;
    const uint64_t spokenMs = speechBeganMs(result, startMs, endMs, leadMs);
    // Speech of a few seconds is a few hundred bytes of text: a runaway reply goes no further
    // than this, whatever the sinks do with it.
    if (result.text.size() > kMaxRecognisedBytes) {
        result.text = limitBytes(result.text, kMaxRecognisedBytes);
        result.text.shrink_to_fit();
    }
    logInfoTag("STT", "Result: \"%s\" (lang=%s, conf=%.2f)", result.text.c_str(),
               result.language.c_str(), static_cast<double>(result.confidence));
    // The streamer's replacements first: what they make is what is filtered, translated and
    // shown.
    result.text = setup.wordRules.apply(std::move(result.text));
    if (isPhantomResult(result.text, result.confidence)) {
        logInfoTag("STT", "Filtered hallucination: \"%s\" (conf=%.2f)", result.text.c_str(),
                   static_cast<double>(result.confidence));
        const uint64_t behindMs = behindIntakeMs(shared, endMs);
        if (behindMs > kLateResultMs) {
            status.recognitionLate(behindMs, setup.capture);
        } else {
            status.nothingToShow(setup.capture);
        }
        return false;
    }

    // Hidden words leave as said to no one, the translator included.
    const std::string shown = setup.wordRules.hide(result.text);
    std::string translated;
    if (setup.enableTranslation && setup.translator && !shared.orphaned.load()) {
        translated = translate(status, setup, shown);
    }
    if (shared.orphaned.load()) {
        logDebugTag("STT", "Source is gone, result dropped");
        return false;
    }

    FinishedSubtitle subtitle;
    subtitle.text =
        composeDisplayText(shown, translated, setup.enableTranslation, setup.showOriginal);
    subtitle.original = shown;
    subtitle.translation = translated;
    const bool languageChosen = !setup.sourceLanguage.empty() && setup.sourceLanguage != "auto";
    subtitle.sourceLanguage = languageChosen ? setup.sourceLanguage : result.language;
    if (!translated.empty()) subtitle.targetLanguage = setup.targetLanguage;
    subtitle.startMs = startMs;
    // On the system clock through the host's timestamps of the audio, which account for
    // pauses and for the host's buffering; the capture's start time where none were noted.
    if (const auto heard = shared.audioClock.systemTimeOf(spokenMs)) {
        subtitle.spokenAt = *heard;
    } else if (setup.audioStart != std::chrono::system_clock::time_point{}) {
        subtitle.spokenAt = setup.audioStart + std::chrono::milliseconds(spokenMs);
    }
    subtitle.endMs = endMs;
    subtitle.displayMs = setup.displayMs;
    // Known only now that the text is ready, translation included.
    subtitle.behindMs = behindIntakeMs(shared, endMs);
    subtitle.late = subtitle.behindMs > kLateResultMs;
    sinks.deliver(subtitle);
    if (subtitle.late) {
        logInfoTag("STT", "Too late to show (%.1f s after its speech): transcript only",
                   static_cast<double>(subtitle.behindMs) / 1000.0);
        status.recognitionLate(subtitle.behindMs, setup.capture);
        return false;
    }
    status.subtitleShown(setup.capture);
    return true;
}

}  // namespace obs_sayline
