#include "stt/google_stt_engine.h"

#include <charconv>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "core/language_tables.h"
#include "core/logger.h"
#include "net/endpoint.h"
#include "net/json_reply.h"
#include "stt/audio_encoding.h"
#include "stt/base64.h"
#include "stt/stt_service_client.h"
#include "stt/vocabulary.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "GoogleSttEngine";
constexpr const char* kPath = "/v1/speech:recognize";
constexpr const char* kDefaultLanguageTag = "ko-KR";
constexpr int32_t kTimeoutMs = 60000;
constexpr float kDefaultConfidence = 0.95f;
constexpr float kDefaultWordConfidence = 0.95f;

HttpClientConfig clientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (GoogleSTT)";
    config.requestTimeoutMs = kTimeoutMs;
    config.retryPolicy = RetryPolicy::defaultPolicy();
    config.circuitBreaker.failureThreshold = 3;
    config.circuitBreaker.openDurationMs = 30000;
    return config;
}

SttServiceProfile profile() {
    return {kTag,
            "Google STT API request failed: ",
            "Google STT API key not configured. Set via setApiKey() or GOOGLE_STT_API_KEY / "
            "GOOGLE_API_KEY environment variable.",
            {"GOOGLE_STT_API_KEY", "GOOGLE_API_KEY"}};
}

const std::unordered_map<std::string, std::string>& languageTagMap() {
    static const std::unordered_map<std::string, std::string> map = {
        {"ko", "ko-KR"}, {"en", "en-US"}, {"ja", "ja-JP"}, {"zh", "zh-CN"}, {"es", "es-ES"},
        {"fr", "fr-FR"}, {"de", "de-DE"}, {"it", "it-IT"}, {"pt", "pt-BR"}, {"ru", "ru-RU"},
        {"ar", "ar-AE"}, {"hi", "hi-IN"}, {"th", "th-TH"}, {"vi", "vi-VN"}, {"id", "id-ID"},
        {"tr", "tr-TR"}, {"pl", "pl-PL"}, {"nl", "nl-NL"}, {"sv", "sv-SE"}, {"da", "da-DK"},
        {"fi", "fi-FI"}, {"nb", "nb-NO"}, {"cs", "cs-CZ"}, {"hu", "hu-HU"}, {"ro", "ro-RO"},
        {"uk", "uk-UA"}, {"el", "el-GR"}, {"he", "he-IL"}, {"ms", "ms-MY"},
    };
    return map;
}

// "1.500s" -> 1500. Absent, empty, no trailing "s" or not a number: 0.
int64_t wordTimeMs(const nlohmann::json& word, const char* member) {
    if (!word.contains(member)) return 0;
    const std::string text = word.at(member).get<std::string>();
    if (text.empty() || text.back() != 's') return 0;
    const char* first = text.data();
    const char* last = text.data() + text.size() - 1;
    double seconds = 0.0;
    auto [end, ec] = std::from_chars(first, last, seconds);
    if (ec != std::errc() || end != last || !std::isfinite(seconds)) return 0;
    return secondsToMs(seconds);
}

Result<SttResult> readReply(const nlohmann::json& doc, const std::string& languageTag,
                            bool wordTimeOffsets, int64_t latencyMs) {
    if (doc.contains("error")) {
        const auto& error = doc.at("error");
        if (error.contains("message")) {
            return {ErrorCode::SttRecognitionError, error.at("message").get<std::string>()};
        }
        return {ErrorCode::SttRecognitionError, "Google STT error"};
    }

    SttResult result;
    result.language = languageTag;
    if (!doc.contains("results") || !doc.at("results").is_array() || doc.at("results").empty()) {
        logDebugTag(kTag, "No speech detected in audio");
        return result;
    }

    double confidenceSum = 0.0;
    int confidenceCount = 0;
    for (const auto& r : doc.at("results")) {
        if (!r.contains("alternatives") || !r.at("alternatives").is_array() ||
            r.at("alternatives").empty()) {
            continue;
        }
        const auto& a = r.at("alternatives").front();
        if (a.contains("transcript")) {
            if (!result.text.empty()) result.text += ' ';
            result.text += a.at("transcript").get<std::string>();
        }
        if (a.contains("confidence")) {
            confidenceSum += a.at("confidence").get<double>();
            ++confidenceCount;
        }
        if (wordTimeOffsets && a.contains("words") && a.at("words").is_array()) {
            for (const auto& w : a.at("words")) {
                WordTiming word;
                word.word = w.value("word", std::string());
                word.startMs = wordTimeMs(w, "startTime");
                word.endMs = wordTimeMs(w, "endTime");
                word.confidence = w.value("confidence", kDefaultWordConfidence);
                result.words.push_back(std::move(word));
            }
        }
        if (r.contains("languageCode")) {
            result.language = r.at("languageCode").get<std::string>();
        }
    }

    result.confidence = confidenceCount >= 1 ? static_cast<float>(confidenceSum / confidenceCount)
                                             : kDefaultConfidence;
    if (!result.words.empty()) {
        result.startTimeMs = result.words.front().startMs;
        result.durationMs = result.words.back().endMs;
    }

    logDebugTag(kTag, "Recognition complete: \"%s\" (lang=%s, conf=%.2f, latency=%lldms)",
                result.text.c_str(), result.language.c_str(), result.confidence,
                static_cast<long long>(latencyMs));
    return result;
}

}  // namespace

Result<SttResult> parseGoogleSttReply(const std::string& body, const std::string& languageTag,
                                      bool wordTimeOffsets, int64_t latencyMs) {
    return readSttReply(body,
                        "Failed to parse Google STT response: ", [&](const nlohmann::json& doc) {
                            return readReply(doc, languageTag, wordTimeOffsets, latencyMs);
                        });
}

// The service's own error text, else a hint for the common statuses, else "HTTP <status>: ...".
std::string googleSttErrorMessage(int32_t status, const std::string& body) {
    auto doc = parseJsonReply(body);
    if (doc.isSuccess() && doc.value().is_object()) {
        auto it = doc.value().find("error");
        if (it != doc.value().end()) {
            if (auto message = stringMember(*it, "message")) return *message;
        }
    }
    switch (status) {
        case 400:
            return "Bad request - check audio format or language code";
        case 401:
            return "Invalid authentication - check your Google API key";
        case 403:
            return "Permission denied - enable Speech-to-Text API in Google Cloud Console";
        case 404:
            return "API not found - check the endpoint URL";
        case 429:
            return "Quota exceeded - too many requests";
        case 500:
            return "Google STT internal server error - try again later";
        case 503:
            return "Service unavailable - Google STT may be temporarily down";
        default:
            return HttpClient::fallbackErrorMessage(status);
    }
}

struct GoogleSttEngine::Impl {
    std::string apiKey;
    std::string endpoint = resolveBaseUrl(endpoints::kGoogleSttEnv, endpoints::kGoogleStt) + kPath;
    int32_t timeoutMs = kTimeoutMs;
    bool enableWordTimeOffsets = false;
    bool enableAutomaticPunctuation = true;
    bool profanityFilter = false;
    std::string model = "latest_short";
    std::vector<std::string> phrases;  // the speech context: the vocabulary
    SttServiceClient service{profile(), clientConfig()};

    void takeVocabulary(const SttEngineConfig& config) {
        profanityFilter = config.profanityFilter;
        size_t skipped = 0;
        phrases = googleSpeechPhrases(config.vocabulary, &skipped);
        if (skipped > 0) {
            logDebugTag(kTag, "Vocabulary: %zu phrases sent, %zu over %zu characters left out",
                        phrases.size(), skipped, kGooglePhraseChars);
        }
    }

    std::string buildBody(const AudioChunk& chunk, const std::string& languageTag) const {
        nlohmann::json config = {
            {"encoding", "LINEAR16"},
            {"sampleRateHertz", chunk.sampleRate},
            {"languageCode", languageTag},
            {"model", model},
            {"enableWordTimeOffsets", enableWordTimeOffsets},
            {"enableAutomaticPunctuation", enableAutomaticPunctuation},
            {"profanityFilter", profanityFilter},
            {"enableWordConfidence", enableWordTimeOffsets},
            {"speechContexts", nlohmann::json::array()},
        };
        if (!phrases.empty())
            config["speechContexts"].push_back(nlohmann::json{{"phrases", phrases}});
        nlohmann::json body;
        body["config"] = std::move(config);
        body["audio"]["content"] = base64Encode(encodePcm16(chunk));
        // A language from settings that is not valid UTF-8 must not abort the request.
        return body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
};

GoogleSttEngine::GoogleSttEngine() : impl_(std::make_unique<Impl>()) {}

GoogleSttEngine::~GoogleSttEngine() { shutdown(); }

std::string GoogleSttEngine::mapLanguage(const std::string& code) {
    if (code.empty() || code == "auto") return kDefaultLanguageTag;
    if (code.find('-') != std::string::npos) return code;
    const auto& map = languageTagMap();
    auto it = map.find(code);
    return it == map.end() ? code : it->second;
}

VoidResult GoogleSttEngine::initialize(const SttEngineConfig& config) {
    if (auto check = checkNotInitialized(kTag); check.isError()) return check;
    config_ = config;
    config_.engineType = SttEngineType::GoogleStt;
    if (config.wordTimestamps) impl_->enableWordTimeOffsets = true;
    impl_->takeVocabulary(config_);
    initialized_.store(true);
    logInfoTag(kTag, "Initialized (language=%s, wordTimestamps=%s, model=%s)",
               config_.language.c_str(), config_.wordTimestamps ? "true" : "false",
               impl_->model.c_str());
    return VoidResult::success();
}

void GoogleSttEngine::shutdown() { shutdownCommon(kTag); }

Result<SttResult> GoogleSttEngine::recognize(const AudioChunk& chunk) {
    return guardRecognition(kTag, [&]() -> Result<SttResult> {
        if (!initialized_.load()) {
            return {ErrorCode::NotInitialized, "GoogleSttEngine not initialized"};
        }
        if (chunk.samples.empty()) return {ErrorCode::InvalidArgument, "Empty audio data"};
        const double durationMs = audioDurationMs(chunk);
        if (durationMs > kMaxDurationMs) {
            return {ErrorCode::InvalidArgument,
                    "Audio too long for synchronous recognition (max 60 seconds). Duration: " +
                        std::to_string(static_cast<long long>(durationMs / 1000.0)) + "s"};
        }
        const uint64_t pcmBytes = 2 * static_cast<uint64_t>(chunk.samples.size());
        if (pcmBytes > kMaxPcmBytes) {
            return {ErrorCode::InvalidArgument,
                    "Audio data too large for inline request (max 10 MB)"};
        }
        logDebugTag(kTag, "Sending audio for recognition (%.2f seconds, ~%zu bytes)",
                    durationMs / 1000.0, static_cast<size_t>(pcmBytes));

        const std::string languageTag = mapLanguage(config_.language);
        std::string body = impl_->buildBody(chunk, languageTag);
        Impl& impl = *impl_;
        return impl.service.run(
            impl.apiKey,
            [&](const std::string& key) {
                HttpRequest request;
                request.method = HttpMethod::POST;
                request.url = impl.endpoint + "?key=" + HttpClient::urlEscape(key);
                request.setHeader("Content-Type", "application/json");
                request.body = std::move(body);
                request.timeoutMs = impl.timeoutMs;
                request.followRedirects = false;
                request.tag = "google-stt-recognize";
                return request;
            },
            [&](const std::string& reply, int64_t latencyMs) {
                return parseGoogleSttReply(reply, languageTag, impl.enableWordTimeOffsets,
                                           latencyMs);
            },
            googleSttErrorMessage);
    });
}

std::vector<std::string> GoogleSttEngine::getSupportedLanguages() const {
    return languages::googleSpeech();
}

bool GoogleSttEngine::isLanguageSupported(const std::string& code) const {
    if (code.empty() || code == "auto") return true;
    const auto& list = languages::googleSpeech();
    return languages::contains(list, code) || languages::contains(list, mapLanguage(code));
}

VoidResult GoogleSttEngine::updateConfig(const SttEngineConfig& config) {
    auto updated = applyConfigUpdate(config, kTag);
    if (updated.isSuccess()) {
        impl_->enableWordTimeOffsets = config_.wordTimestamps;
        impl_->takeVocabulary(config_);
    }
    return updated;
}

std::string GoogleSttEngine::getStatistics() const {
    return impl_->service.statistics().toText("\"engine\":\"google_stt\",\"model\":\"" +
                                              impl_->model + "\",");
}

void GoogleSttEngine::setApiKey(const std::string& key) {
    impl_->apiKey = key;
    logDebugTag(kTag, "API key set");
}

bool GoogleSttEngine::hasApiKey() const {
    return !resolveApiKey(impl_->apiKey, profile().keyEnvVars).empty();
}

}  // namespace obs_sayline
