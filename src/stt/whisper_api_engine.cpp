#include "stt/whisper_api_engine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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

constexpr const char* kTag = "WhisperApiEngine";
constexpr const char* kPath = "/v1/audio/transcriptions";
constexpr const char* kKeyEnv = "OPENAI_API_KEY";
constexpr int32_t kTimeoutMs = 60000;
constexpr float kConfidenceWithoutSegments = 0.95f;
constexpr size_t kLoggedTextBytes = 50;

HttpClientConfig clientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (WhisperAPI)";
    config.requestTimeoutMs = kTimeoutMs;
    config.retryPolicy = RetryPolicy::defaultPolicy();
    config.circuitBreaker.failureThreshold = 3;
    return config;
}

SttServiceProfile profile() {
    return {kTag,
            "Whisper API request failed: ",
            "OpenAI API key not configured. Set via setApiKey() or OPENAI_API_KEY environment "
            "variable.",
            {kKeyEnv}};
}

Result<SttResult> readReply(const nlohmann::json& doc, int64_t latencyMs) {
    SttResult result;
    if (doc.contains("text")) result.text = doc.at("text").get<std::string>();
    if (doc.contains("language")) result.language = doc.at("language").get<std::string>();
    if (doc.contains("duration")) result.durationMs = secondsToMs(doc.at("duration").get<double>());

    if (doc.contains("words") && doc.at("words").is_array()) {
        for (const auto& w : doc.at("words")) {
            WordTiming word;
            word.word = w.value("word", std::string());
            word.startMs = secondsToMs(w.value("start", 0.0));
            word.endMs = secondsToMs(w.value("end", 0.0));
            word.confidence = 1.0f;
            result.words.push_back(std::move(word));
        }
    }

    if (!doc.contains("segments") || !doc.at("segments").is_array()) {
        result.confidence = kConfidenceWithoutSegments;
    } else if (!doc.at("segments").empty()) {
        const auto& segments = doc.at("segments");
        result.startTimeMs = secondsToMs(segments.front().value("start", 0.0));
        float logprobSum = 0.0f;
        double noSpeechSum = 0.0;
        size_t count = 0;
        for (const auto& segment : segments) {
            ++count;
            if (!segment.is_object()) continue;
            if (segment.contains("avg_logprob")) {
                logprobSum += std::exp(segment.at("avg_logprob").get<float>());
            }
            if (segment.contains("no_speech_prob")) {
                noSpeechSum += segment.at("no_speech_prob").get<double>();
            }
        }
        const float n = static_cast<float>(count);
        result.confidence = std::clamp(logprobSum / n, 0.0f, 1.0f);
        const double noSpeech = noSpeechSum / static_cast<double>(count);
        if (noSpeech > WhisperApiEngine::kNoSpeechThreshold) {
            logInfoTag(kTag,
                       "No speech detected (no_speech_prob=%.2f > 0.95), discarding result: \"%s\"",
                       noSpeech, result.text.substr(0, kLoggedTextBytes).c_str());
            result.text.clear();
            result.confidence = 0.0f;
        }
    }

    logDebugTag(kTag, "Recognition complete: \"%s\" (lang=%s, conf=%.2f, latency=%lldms)",
                result.text.c_str(), result.language.c_str(), result.confidence,
                static_cast<long long>(latencyMs));
    return result;
}

}  // namespace

Result<SttResult> parseWhisperReply(const std::string& body, int64_t latencyMs) {
    return readSttReply(body, "Failed to parse Whisper API response: ",
                        [&](const nlohmann::json& doc) { return readReply(doc, latencyMs); });
}

// The service's own error text ({"error":{"message":...}}), else "HTTP <status>: <reason>".
std::string whisperErrorMessage(int32_t status, const std::string& body) {
    auto doc = parseJsonReply(body);
    if (doc.isSuccess() && doc.value().is_object()) {
        auto it = doc.value().find("error");
        if (it != doc.value().end()) {
            if (auto message = stringMember(*it, "message")) return *message;
        }
    }
    return HttpClient::fallbackErrorMessage(status);
}

struct WhisperApiEngine::Impl {
    std::string apiKey;
    std::string endpoint = resolveBaseUrl(endpoints::kOpenAiEnv, endpoints::kOpenAi) + kPath;
    std::string model = kDefaultModel;
    bool customServer = false;  // named in the settings: the key is optional
    bool allowPrivateHttp = false;
    int32_t timeoutMs = kTimeoutMs;
    float temperature = 0.0f;
    bool wordTimestamps = false;
    std::string responseFormat = "verbose_json";
    std::string prompt;
    SttServiceClient service{profile(), clientConfig()};

    // The vocabulary travels as the prompt, which otherwise stays empty.
    void takeVocabulary(const std::vector<std::string>& terms) {
        VocabularyFit fit = whisperVocabularyPrompt(terms);
        prompt = std::move(fit.text);
        if (fit.left > 0) {
            logDebugTag(kTag, "Vocabulary: %zu terms in the prompt, %zu past its limit left out",
                        fit.sent, fit.left);
        }
    }

    HttpRequest buildRequest(const std::string& key, const std::string& language,
                             std::vector<uint8_t>&& wav) const {
        HttpRequest request;
        request.method = HttpMethod::POST;
        request.url = endpoint;
        request.allowPrivateHttp = allowPrivateHttp;
        if (!key.empty()) request.setHeader("Authorization", "Bearer " + key);
        request.timeoutMs = timeoutMs;
        request.followRedirects = false;
        request.tag = "whisper-transcription";
        request.addTextField("model", model);
        if (!language.empty() && language != "auto") request.addTextField("language", language);
        request.addTextField("response_format", responseFormat);
        if (temperature > 0.0f) {
            char text[32];
            std::snprintf(text, sizeof(text), "%.2f", static_cast<double>(temperature));
            request.addTextField("temperature", text);
        }
        if (wordTimestamps) {
            request.addTextField("timestamp_granularities[]", "word");
            request.addTextField("timestamp_granularities[]", "segment");
        }
        if (!prompt.empty()) request.addTextField("prompt", prompt);
        const size_t wavSize = wav.size();
        request.addFileField("file", "audio.wav", std::move(wav), "audio/wav");
        logInfoTag(kTag, "Sending via curl_mime: model=%s, fields=%zu, wav_size=%zu", model.c_str(),
                   request.multipartFields.size(), wavSize);
        return request;
    }
};

WhisperApiEngine::WhisperApiEngine() : impl_(std::make_unique<Impl>()) {}

WhisperApiEngine::~WhisperApiEngine() { shutdown(); }

VoidResult WhisperApiEngine::initialize(const SttEngineConfig& config) {
    if (auto check = checkNotInitialized(kTag); check.isError()) return check;
    config_ = config;
    config_.engineType = SttEngineType::WhisperApi;
    impl_->wordTimestamps = config.wordTimestamps;
    impl_->takeVocabulary(config.vocabulary);
    if (!config_.language.empty() && !isLanguageSupported(config_.language)) {
        return {ErrorCode::SttLanguageNotSupported, "Language not supported: " + config_.language};
    }
    initialized_.store(true);
    logInfoTag(kTag, "Initialized (language=%s, wordTimestamps=%s)",
               config_.language.empty() ? "auto" : config_.language.c_str(),
               config_.wordTimestamps ? "true" : "false");
    return VoidResult::success();
}

void WhisperApiEngine::shutdown() { shutdownCommon(kTag); }

Result<SttResult> WhisperApiEngine::recognize(const AudioChunk& chunk) {
    return guardRecognition(kTag, [&]() -> Result<SttResult> {
        if (!initialized_.load()) {
            return {ErrorCode::NotInitialized, "WhisperApiEngine not initialized"};
        }
        if (chunk.samples.empty()) return {ErrorCode::InvalidArgument, "Empty audio data"};
        if (wavSizeForSamples(chunk.samples.size()) > kMaxWavBytes) {
            return {ErrorCode::InvalidArgument, "Audio data exceeds maximum size (25MB)"};
        }
        std::vector<uint8_t> wav = encodeWav(chunk);
        logDebugTag(kTag, "Sending audio for recognition (%.2f seconds, %zu bytes)",
                    audioDurationMs(chunk) / 1000.0, wav.size());
        const std::string language = config_.language;
        bool keySent = false;
        return impl_->service.run(
            impl_->apiKey,
            [&](const std::string& key) {
                keySent = !key.empty();
                return impl_->buildRequest(key, language, std::move(wav));
            },
            parseWhisperReply,
            [&](int32_t status, const std::string& body) {
                std::string message = whisperErrorMessage(status, body);
                if (status == 401 && !keySent) {
                    return "The server wants an API key (none was sent): " + message;
                }
                return message;
            },
            !impl_->customServer);
    });
}

std::vector<std::string> WhisperApiEngine::getSupportedLanguages() const {
    return languages::whisper();
}

bool WhisperApiEngine::isLanguageSupported(const std::string& code) const {
    return languages::contains(languages::whisper(), code);
}

VoidResult WhisperApiEngine::updateConfig(const SttEngineConfig& config) {
    auto updated = applyConfigUpdate(config, kTag);
    if (updated.isSuccess()) {
        impl_->wordTimestamps = config_.wordTimestamps;
        impl_->takeVocabulary(config_.vocabulary);
    }
    return updated;
}

std::string WhisperApiEngine::getStatistics() const { return impl_->service.statistics().toText(); }

void WhisperApiEngine::setApiKey(const std::string& key) {
    impl_->apiKey = key;
    logDebugTag(kTag, "API key set");
}

void WhisperApiEngine::setServer(const AcceptedBaseUrl& server) {
    impl_->endpoint = server.url + kPath;
    impl_->customServer = true;
    impl_->allowPrivateHttp = server.privateNetwork;
    // Accepted URLs carry no user info or query: nothing secret in it.
    logInfoTag(kTag, "Server: %s", impl_->endpoint.c_str());
}

void WhisperApiEngine::setModel(const std::string& model) {
    impl_->model = model.empty() ? kDefaultModel : model;
}

bool WhisperApiEngine::hasApiKey() const {
    return !resolveApiKey(impl_->apiKey, {kKeyEnv}).empty();
}

}  // namespace obs_sayline
