#include "live/connection_check.h"

#include <cctype>
#include <chrono>
#include <string>
#include <utility>

#include "core/audio_chunk.h"
#include "core/logger.h"
#include "stt/stt_engine.h"
#include "translation/translation_provider.h"

namespace obs_sayline {

namespace {

constexpr int32_t kSampleRate = 16000;

ConnectionCheck failed(std::string error, const char* tag = "STT") {
    ConnectionCheck check;
    check.error = std::move(error);
    logWarningTag(tag, "Connection test failed: %s", check.error.c_str());
    return check;
}

int64_t msSince(std::chrono::steady_clock::time_point started) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
}

// A sentence in another language than the target, so that a translation is visible.
TranslationRequest testSentence(const std::string& targetLanguage) {
    TranslationRequest request;
    request.targetLanguage = targetLanguage;
    std::string code = targetLanguage.substr(0, 3);
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (code == "en" || code == "en-" || code == "en_") {
        request.sourceLanguage = "ko";
        request.text = "안녕하세요, 자막 번역을 시험하고 있습니다.";
    } else {
        request.sourceLanguage = "en";
        request.text = "Hello, this is a test of the subtitle translation.";
    }
    return request;
}

// What the sheet shows of the answer: a server may send a whole page back.
std::string shownAnswer(const std::string& answer) {
    constexpr size_t kMaxBytes = 300;
    if (answer.size() <= kMaxBytes) return answer;
    size_t cut = kMaxBytes;
    // Not inside a UTF-8 sequence: back up over continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(answer[cut]) & 0xC0) == 0x80) --cut;
    return answer.substr(0, cut) + "...";
}

}  // namespace

ConnectionCheck checkSpeechService(const ServiceChoice& choice) {
    PreparedEngine prepared = prepareSttEngine(choice);
    // Testing the default server in its place would answer a question nobody asked.
    if (!prepared.serverRefusal.empty()) {
        return failed("Server URL refused: " + prepared.serverRefusal);
    }
    if (!prepared.engine) {
        return failed(prepared.failed ? "the speech engine could not be initialised (see the log)"
                                      : "no speech engine to test");
    }

    AudioChunk silence;
    silence.sampleRate = kSampleRate;
    silence.channels = 1;
    silence.samples.assign(kSampleRate, 0.0f);
    const auto started = std::chrono::steady_clock::now();
    auto result = prepared.engine->recognize(silence);
    const int64_t roundTripMs = msSince(started);
    if (!result) return failed(result.error().message);

    ConnectionCheck check;
    check.ok = true;
    check.roundTripMs = roundTripMs;
    logInfoTag("STT", "Connection test OK: %lld ms", static_cast<long long>(check.roundTripMs));
    return check;
}

ConnectionCheck checkTranslationService(const ServiceChoice& choice,
                                        const std::string& targetLanguage) {
    constexpr const char* kTag = "Translation";
    ServiceChoice tested = choice;
    tested.enableTranslation = true;
    PreparedTranslator prepared = prepareTranslation(tested);
    if (!prepared.serverRefusal.empty()) {
        return failed("Server URL refused: " + prepared.serverRefusal, kTag);
    }
    if (!prepared.provider) {
        return failed(prepared.failed
                          ? "the translation service could not be initialised (see the log)"
                          : "no translation service to test",
                      kTag);
    }
    if (targetLanguage.empty()) return failed("no target language chosen", kTag);

    const auto started = std::chrono::steady_clock::now();
    auto result = prepared.provider->translate(testSentence(targetLanguage));
    const int64_t roundTripMs = msSince(started);
    prepared.provider->shutdown();
    if (!result) return failed(result.error().message, kTag);

    ConnectionCheck check;
    check.ok = true;
    check.roundTripMs = roundTripMs;
    check.answer = shownAnswer(result.value().translatedText);
    logInfoTag(kTag, "Connection test OK: %lld ms", static_cast<long long>(check.roundTripMs));
    logDebugTag(kTag, "Connection test answer: \"%s\"", check.answer.c_str());
    return check;
}

}  // namespace obs_sayline
