#include "stt/deepgram_engine.h"

#include <algorithm>
#include <utility>

#include "core/language_tables.h"
#include "core/logger.h"
#include "net/endpoint.h"
#include "net/json_reply.h"
#include "stt/audio_encoding.h"
#include "stt/stt_service_client.h"
#include "stt/vocabulary.h"

namespace obs_sayline {

namespace {

constexpr const char* kTag = "DeepgramEngine";
constexpr const char* kPath = "/v1/listen";
constexpr int32_t kTimeoutMs = 30000;
constexpr float kDefaultConfidence = 0.9f;
constexpr float kDefaultWordConfidence = 1.0f;

HttpClientConfig clientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (Deepgram)";
    config.requestTimeoutMs = kTimeoutMs;
    config.retryPolicy = RetryPolicy::defaultPolicy();
    config.circuitBreaker.failureThreshold = 3;
    config.circuitBreaker.openDurationMs = 30000;
    return config;
}

SttServiceProfile profile() {
    return {kTag,
            "Deepgram API request failed: ",
            "Deepgram API key not configured. Set via setApiKey() or DEEPGRAM_API_KEY "
            "environment variable.",
            {"DEEPGRAM_API_KEY"}};
}

const char* flag(bool value) { return value ? "true" : "false"; }

Result<SttResult> readReply(const nlohmann::json& doc, int64_t latencyMs) {
    if (!doc.contains("results")) {
        return {ErrorCode::SttRecognitionError, "Deepgram response missing 'results' field"};
    }
    SttResult result;
    if (doc.contains("metadata") && doc.at("metadata").contains("duration")) {
        result.durationMs = secondsToMs(doc.at("metadata").at("duration").get<double>());
    }

    const auto& results = doc.at("results");
    if (!results.contains("channels") || !results.at("channels").is_array() ||
        results.at("channels").empty()) {
        logInfoTag(kTag, "No channels in response (no speech). latency=%lldms",
                   static_cast<long long>(latencyMs));
        return result;
    }
    const auto& channel = results.at("channels").front();
    if (channel.contains("detected_language")) {
        result.language = channel.at("detected_language").get<std::string>();
    } else if (channel.contains("language")) {
        result.language = channel.at("language").get<std::string>();
    }

    if (!channel.contains("alternatives") || !channel.at("alternatives").is_array() ||
        channel.at("alternatives").empty()) {
        logInfoTag(kTag, "No alternatives in response. latency=%lldms",
                   static_cast<long long>(latencyMs));
        return result;
    }
    const auto& alternative = channel.at("alternatives").front();
    if (alternative.contains("transcript")) {
        result.text = alternative.at("transcript").get<std::string>();
    }
    result.confidence = alternative.contains("confidence")
                            ? std::clamp(alternative.at("confidence").get<float>(), 0.0f, 1.0f)
                            : kDefaultConfidence;

    if (alternative.contains("words") && alternative.at("words").is_array()) {
        for (const auto& w : alternative.at("words")) {
            WordTiming word;
            if (w.contains("punctuated_word")) {
                word.word = w.at("punctuated_word").get<std::string>();
            } else if (w.contains("word")) {
                word.word = w.at("word").get<std::string>();
            }
            word.startMs = secondsToMs(w.value("start", 0.0));
            word.endMs = secondsToMs(w.value("end", 0.0));
            word.confidence = w.value("confidence", kDefaultWordConfidence);
            result.words.push_back(std::move(word));
        }
    }
    if (!result.words.empty()) {
        result.startTimeMs = result.words.front().startMs;
        if (result.durationMs == 0) result.durationMs = result.words.back().endMs;
    }

    logDebugTag(kTag, "Recognition complete: \"%s\" (lang=%s, conf=%.2f, latency=%lldms)",
                result.text.c_str(), result.language.c_str(), result.confidence,
                static_cast<long long>(latencyMs));
    return result;
}

}  // namespace

Result<SttResult> parseDeepgramReply(const std::string& body, int64_t latencyMs) {
    return readSttReply(body, "Failed to parse Deepgram response: ",
                        [&](const nlohmann::json& doc) { return readReply(doc, latencyMs); });
}

// "err_msg", then "error" as text, then "error"."message", then "message"; else the fallback.
std::string deepgramErrorMessage(int32_t status, const std::string& body) {
    auto doc = parseJsonReply(body);
    if (doc.isSuccess() && doc.value().is_object()) {
        const auto& json = doc.value();
        if (auto text = stringMember(json, "err_msg")) return *text;
        if (auto text = stringMember(json, "error")) return *text;
        auto it = json.find("error");
        if (it != json.end()) {
            if (auto text = stringMember(*it, "message")) return *text;
        }
        if (auto text = stringMember(json, "message")) return *text;
    }
    return HttpClient::fallbackErrorMessage(status);
}

struct DeepgramEngine::Impl {
    std::string apiKey;
    std::string endpoint = resolveBaseUrl(endpoints::kDeepgramEnv, endpoints::kDeepgram) + kPath;
    std::string model = "nova-3";
    int32_t timeoutMs = kTimeoutMs;
    bool smartFormat = true;
    bool punctuate = true;
    bool utterances = false;
    bool detectLanguage = true;
    bool diarize = false;
    // Profanity filter and keyterms, ready for the query.
    std::string vocabularyQuery;
    SttServiceClient service{profile(), clientConfig()};

    void takeVocabulary(const SttEngineConfig& config) {
        VocabularyFit fit =
            deepgramVocabularyQuery(model, config.vocabulary, config.profanityFilter);
        vocabularyQuery = std::move(fit.text);
        if (fit.left > 0) {
            logDebugTag(kTag,
                        "Vocabulary: %zu keyterms sent, %zu left out (model %s, limit %zu tokens)",
                        fit.sent, fit.left, model.c_str(), kDeepgramKeytermTokens);
        }
    }

    std::string buildUrl(const std::string& language) const {
        std::string url = endpoint + "?model=" + model;
        if (!language.empty() && language != "auto") {
            // Every listed code escapes to itself; escaping keeps a stray code from adding
            // parameters of its own.
            url += "&language=" + HttpClient::urlEscape(language);
        } else if (detectLanguage) {
            url += "&detect_language=true";
        }
        url += std::string("&smart_format=") + flag(smartFormat);
        url += std::string("&punctuate=") + flag(punctuate);
        if (utterances) url += "&utterances=true";
        if (diarize) url += "&diarize=true";
        url += vocabularyQuery;
        return url;
    }
};

DeepgramEngine::DeepgramEngine() : impl_(std::make_unique<Impl>()) {}

DeepgramEngine::~DeepgramEngine() { shutdown(); }

VoidResult DeepgramEngine::initialize(const SttEngineConfig& config) {
    if (auto check = checkNotInitialized(kTag); check.isError()) return check;
    config_ = config;
    config_.engineType = SttEngineType::Deepgram;
    impl_->utterances = config.wordTimestamps;
    impl_->takeVocabulary(config_);
    if (!config_.language.empty() && !isLanguageSupported(config_.language)) {
        return {ErrorCode::SttLanguageNotSupported, "Language not supported: " + config_.language};
    }
    initialized_.store(true);
    logInfoTag(kTag, "Initialized (model=%s, language=%s, wordTimestamps=%s)", impl_->model.c_str(),
               config_.language.empty() ? "auto" : config_.language.c_str(),
               flag(config_.wordTimestamps));
    return VoidResult::success();
}

void DeepgramEngine::shutdown() { shutdownCommon(kTag); }

Result<SttResult> DeepgramEngine::recognize(const AudioChunk& chunk) {
    return guardRecognition(kTag, [&]() -> Result<SttResult> {
        if (!initialized_.load()) {
            return {ErrorCode::NotInitialized, "DeepgramEngine not initialized"};
        }
        if (chunk.samples.empty()) return {ErrorCode::InvalidArgument, "Empty audio data"};
        if (wavSizeForSamples(chunk.samples.size()) > kMaxWavBytes) {
            return {ErrorCode::InvalidArgument, "Audio data exceeds maximum size (50MB)"};
        }
        std::string wav = encodeWavString(chunk);
        logDebugTag(kTag, "Sending audio for recognition (%.2f seconds, %zu bytes)",
                    audioDurationMs(chunk) / 1000.0, wav.size());

        const std::string language = config_.language;
        Impl& impl = *impl_;
        return impl.service.run(
            impl.apiKey,
            [&](const std::string& key) {
                HttpRequest request;
                request.method = HttpMethod::POST;
                request.url = impl.buildUrl(language);
                request.setHeader("Authorization", "Token " + key);
                request.setHeader("Content-Type", "audio/wav");
                request.timeoutMs = impl.timeoutMs;
                request.followRedirects = false;
                request.tag = "deepgram-recognize";
                logInfoTag(kTag, "Sending request: model=%s, wav_size=%zu, lang=%s",
                           impl.model.c_str(), wav.size(),
                           language.empty() ? "auto" : language.c_str());
                request.body = std::move(wav);
                return request;
            },
            parseDeepgramReply, deepgramErrorMessage);
    });
}

std::vector<std::string> DeepgramEngine::getSupportedLanguages() const {
    return languages::deepgram();
}

bool DeepgramEngine::isLanguageSupported(const std::string& code) const {
    return languages::contains(languages::deepgram(), code);
}

VoidResult DeepgramEngine::updateConfig(const SttEngineConfig& config) {
    auto updated = applyConfigUpdate(config, kTag);
    if (updated.isSuccess()) {
        impl_->utterances = config_.wordTimestamps;
        impl_->takeVocabulary(config_);
    }
    return updated;
}

std::string DeepgramEngine::getStatistics() const { return impl_->service.statistics().toText(); }

void DeepgramEngine::setApiKey(const std::string& key) {
    impl_->apiKey = key;
    logDebugTag(kTag, "API key set");
}

bool DeepgramEngine::hasApiKey() const {
    return !resolveApiKey(impl_->apiKey, profile().keyEnvVars).empty();
}

}  // namespace obs_sayline
