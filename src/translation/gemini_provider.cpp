#include "translation/gemini_provider.h"

#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <utility>

#include "core/language_tables.h"
#include "core/logger.h"
#include "net/endpoint.h"
#include "net/http_client.h"
#include "net/json_reply.h"
#include "translation/llm_prompt.h"
#include "translation/provider_statistics.h"
#include "translation/provider_support.h"

namespace obs_sayline {

using namespace translation_detail;
using json = nlohmann::json;

namespace {

constexpr const char* kTag = "GeminiProvider";

HttpClientConfig makeClientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (Gemini)";
    config.requestTimeoutMs = 15000;
    config.retryPolicy = RetryPolicy::quickPolicy();
    config.circuitBreaker.failureThreshold = 5;
    config.circuitBreaker.openDurationMs = 30000;
    config.circuitBreaker.enabled = true;
    return config;
}

std::string effectiveEnvKey() {
    std::string key = envValue("GOOGLE_GEMINI_API_KEY");
    return key.empty() ? envValue("GEMINI_API_KEY") : key;
}

}  // namespace

std::string geminiErrorMessage(const HttpResponse& response) {
    if (auto message = googleErrorMessage(response.body)) return *message;
    switch (response.statusCode) {
        case 400:
            return "Bad request - check your parameters or prompt";
        case 401:
            return "Invalid authentication - check your API key";
        case 403:
            return "Permission denied - check API key permissions and Gemini API access";
        case 404:
            return "Model not found - check the model name";
        case 429:
            return "Rate limit exceeded - too many requests";
        case 500:
            return "Internal server error - try again later";
        case 503:
            return "Service unavailable - Gemini API may be temporarily down";
        default:
            return HttpClient::fallbackErrorMessage(response.statusCode);
    }
}

namespace {

Result<std::string> candidateText(const json& body) {
    const json& candidate = body["candidates"][0];
    const bool hasParts =
        candidate.is_object() && candidate.contains("content") &&
        candidate["content"].is_object() && candidate["content"].contains("parts") &&
        candidate["content"]["parts"].is_array() && !candidate["content"]["parts"].empty();
    if (!hasParts) {
        if (candidate.is_object() && candidate.contains("finishReason") &&
            candidate["finishReason"] == "SAFETY") {
            return Error(ErrorCode::TranslationFailed,
                         "Translation blocked by Gemini safety filters");
        }
        return Error(ErrorCode::TranslationFailed,
                     "Invalid Gemini API response: missing content parts");
    }
    std::string joined;
    for (const json& part : candidate["content"]["parts"]) {
        if (part.is_object() && part.contains("text")) joined += part["text"].get<std::string>();
    }
    return cleanModelReply(joined);
}

}  // namespace

Result<TranslationResult> parseGeminiReply(const std::string& text,
                                           const std::string& sourceLanguage,
                                           const std::string& model, int64_t latencyMs) {
    constexpr const char* kParsePrefix = "Failed to parse Gemini API response: ";
    auto parsed = parseJsonReply(text);
    if (parsed.isError()) {
        return Error(ErrorCode::TranslationFailed, kParsePrefix + parsed.error().message);
    }
    try {
        const json& body = parsed.value();
        const bool hasCandidates = body.is_object() && body.contains("candidates") &&
                                   body["candidates"].is_array() && !body["candidates"].empty();
        if (!hasCandidates) {
            if (body.is_object() && body.contains("error")) {
                const json& error = body["error"];
                if (error.is_object() && error.contains("message")) {
                    return Error(ErrorCode::TranslationFailed, error["message"].get<std::string>());
                }
                return Error(ErrorCode::TranslationFailed, "Gemini API error");
            }
            return Error(ErrorCode::TranslationFailed,
                         "Invalid Gemini API response: missing candidates array");
        }
        auto translated = candidateText(body);
        if (translated.isError()) return translated.error();

        TranslationResult result;
        result.translatedText = std::move(translated.value());
        result.detectedLanguage = sourceLanguage.empty() ? std::string("auto") : sourceLanguage;
        result.confidence = 0.85f;
        result.latencyMs = latencyMs;
        if (body.contains("usageMetadata") && body["usageMetadata"].is_object()) {
            const json& usage = body["usageMetadata"];
            if (usage.contains("promptTokenCount")) {
                result.promptTokens = tokenCount(usage["promptTokenCount"]);
            }
            if (usage.contains("candidatesTokenCount")) {
                result.completionTokens = tokenCount(usage["candidatesTokenCount"]);
            }
        }
        logDebugTag(kTag, "Translation complete: \"%s\" (model=%s, latency=%lldms, tokens=%d/%d)",
                    result.translatedText.substr(0, 50).c_str(), model.c_str(),
                    static_cast<long long>(latencyMs), result.promptTokens,
                    result.completionTokens);
        return result;
    } catch (const json::exception& e) {
        // A member of an unexpected type.
        return Error(ErrorCode::TranslationFailed, kParsePrefix + std::string(e.what()));
    }
}

class GeminiProvider::Client {
public:
    Client()
        : baseUrl(resolveBaseUrl(endpoints::kGeminiEnv, endpoints::kGemini)),
          http(makeClientConfig()) {}

    std::string effectiveKey() const { return apiKey.empty() ? effectiveEnvKey() : apiKey; }

    // The URL without the key query.
    std::string endpoint() const {
        if (!customEndpoint.empty()) return customEndpoint;
        return baseUrl + "/v1beta/models/" + model + ":generateContent";
    }

    void applyConfig(const ProviderConfig& config) {
        if (config.timeoutMs > 0) timeoutMs = config.timeoutMs;
        if (!config.endpoint.empty()) customEndpoint = config.endpoint;
        if (!config.model.empty()) model = config.model;
    }

    std::string requestBody(const std::string& prompt) const {
        json part = json::object();
        part["text"] = prompt;
        json content = json::object();
        content["parts"] = json::array({part});
        json body = json::object();
        body["contents"] = json::array({content});
        json generation = json::object();
        generation["maxOutputTokens"] = 1024;
        generation["temperature"] = static_cast<double>(temperature);
        generation["topP"] = 0.95;
        body["generationConfig"] = generation;
        // Invalid UTF-8 in the text is replaced rather than allowed to abort the call.
        return body.dump(-1, ' ', false, json::error_handler_t::replace);
    }

    Result<TranslationResult> request(const TranslationRequest& request);

    std::string apiKey;
    std::string customEndpoint;
    std::string model = kDefaultModel;
    int32_t timeoutMs = 15000;
    float temperature = 0.3f;
    const std::string baseUrl;
    HttpClient http;
    ProviderStatistics stats;
};

Result<TranslationResult> GeminiProvider::Client::request(const TranslationRequest& request) {
    const auto start = std::chrono::steady_clock::now();
    stats.countRequest();

    const std::string key = effectiveKey();
    if (key.empty()) {
        stats.countError();
        return Error(ErrorCode::ApiKeyMissing,
                     "Gemini API key not configured. Set via setApiKey() or GEMINI_API_KEY "
                     "environment variable.");
    }
    if (request.text.size() > kMaxTextBytes) {
        stats.countError();
        return Error(ErrorCode::InvalidArgument, textTooLongMessage(kMaxTextBytes));
    }

    HttpRequest req;
    req.method = HttpMethod::POST;
    req.url = endpoint() + "?key=" + HttpClient::urlEscape(key);
    req.headers["Content-Type"] = "application/json";
    req.body = requestBody(buildPrompt(request));
    req.timeoutMs = timeoutMs;
    req.followRedirects = false;
    req.tag = "gemini-translate";

    const ProviderCallInfo call{kTag, "Gemini API request failed: ", geminiErrorMessage};
    auto sent =
        sendTranslationRequest(http, stats, std::move(req), request.text.size(), start, call);
    if (sent.isError()) return sent.error();
    return parseGeminiReply(sent.value().response.body, request.sourceLanguage, model,
                            sent.value().latencyMs);
}

GeminiProvider::GeminiProvider() : client_(std::make_unique<Client>()) {}

GeminiProvider::~GeminiProvider() { shutdown(); }

VoidResult GeminiProvider::initialize(const ProviderConfig& config) {
    auto accepted = acceptConfig(config, "GeminiProvider");
    if (accepted.isError()) return accepted;
    client_->applyConfig(config);
    markInitialized();
    const std::string endpoint = redactUrlForLog(client_->endpoint());
    logInfoTag(kTag, "Initialized (model=%s, endpoint=%s, timeout=%dms)", client_->model.c_str(),
               endpoint.c_str(), client_->timeoutMs);
    return VoidResult::success();
}

void GeminiProvider::shutdown() { shutdownCommon(kTag); }

void GeminiProvider::setApiKey(const std::string& key) {
    if (key.size() > kMaxApiKeyBytes) {
        logErrorTag(kTag,
                    "API key rejected - corrupted! length=%zu (max=%zu). Please re-enter your "
                    "Gemini API key in OBS settings.",
                    key.size(), kMaxApiKeyBytes);
        client_->apiKey.clear();
        return;
    }
    client_->apiKey = key;
    logInfoTag(kTag, "API key set (length=%zu)", key.size());
}

bool GeminiProvider::hasApiKey() const { return !client_->effectiveKey().empty(); }

VoidResult GeminiProvider::updateConfig(const ProviderConfig& config) {
    if (!isInitialized()) return VoidResult(ErrorCode::NotInitialized, "Provider not initialized");
    client_->applyConfig(config);
    logDebugTag(kTag, "Config updated (model=%s, timeout=%dms)", client_->model.c_str(),
                client_->timeoutMs);
    return VoidResult::success();
}

std::vector<std::string> GeminiProvider::getSupportedSourceLanguages() const {
    return llmSourceLanguages();
}

std::vector<std::string> GeminiProvider::getSupportedTargetLanguages() const {
    return llmTargetLanguages();
}

bool GeminiProvider::supportsLanguagePair(const std::string&, const std::string& target) const {
    return llmSupportsTarget(kTag, target);
}

std::string GeminiProvider::getStatistics() const {
    return client_->stats.format("\"provider\":\"gemini\",\"model\":\"" + client_->model + "\",");
}

std::string GeminiProvider::buildPrompt(const TranslationRequest& request) {
    std::string prompt = "You are a real-time subtitle translator. ";
    prompt += "Translate the following text";
    if (!request.sourceLanguage.empty() && request.sourceLanguage != "auto") {
        prompt += " from " + languages::geminiLanguageName(request.sourceLanguage);
    }
    prompt += " to " + languages::geminiLanguageName(request.targetLanguage) + ".\n\n";
    prompt += "Rules:\n";
    prompt += "- Output ONLY the translated text, nothing else.\n";
    prompt += "- Maintain the original tone and style.\n";
    prompt += "- Keep the translation natural and conversational.\n";
    prompt += "- If the text contains proper nouns, keep them as-is.\n";
    const std::string keep = keepTermsSentence(request.keepTerms);
    if (!keep.empty()) prompt += "- " + keep + "\n";
    prompt += "- Do not add explanations, notes, or formatting.\n";
    if (!request.context.empty()) {
        prompt += "\nPrevious context for reference:\n" + request.context + "\n";
    }
    prompt += "\nText to translate:\n" + request.text;
    return prompt;
}

Result<TranslationResult> GeminiProvider::translate(const TranslationRequest& request) {
    return guardTranslate("GeminiProvider", [&] { return translateUnguarded(request); });
}

Result<TranslationResult> GeminiProvider::translateUnguarded(const TranslationRequest& request) {
    if (auto refused = beginModelTranslate(kTag, isInitialized(), request, client_->model)) {
        return *refused;
    }
    return client_->request(request);
}

VoidResult GeminiProvider::translateStream(const TranslationRequest& request) {
    if (!isInitialized()) {
        return VoidResult(ErrorCode::NotInitialized, "GeminiProvider not initialized");
    }
    auto result = translate(request);
    if (result.isError()) return result.error();
    return emitStreamResult(result.value(), true, kTag);
}

}  // namespace obs_sayline
