#include "translation/google_translate_provider.h"

#include <chrono>
#include <exception>
#include <nlohmann/json.hpp>
#include <utility>

#include "core/language_tables.h"
#include "core/logger.h"
#include "net/endpoint.h"
#include "net/http_client.h"
#include "net/json_reply.h"
#include "translation/provider_statistics.h"
#include "translation/provider_support.h"

namespace obs_sayline {

using namespace translation_detail;
using json = nlohmann::json;

namespace {

constexpr const char* kTag = "GoogleTranslateProvider";
constexpr const char* kPath = "/language/translate/v2";
constexpr const char* kKeyEnv = "GOOGLE_TRANSLATE_API_KEY";

HttpClientConfig makeClientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (GoogleTranslate)";
    config.requestTimeoutMs = 10000;
    config.retryPolicy = RetryPolicy::defaultPolicy();
    config.circuitBreaker.failureThreshold = 3;
    return config;
}

bool listedOrPrefixListed(const std::string& code) {
    const LanguageList& list = languages::googleTranslate();
    return languages::contains(list, code) || languages::contains(list, code.substr(0, 2));
}

}  // namespace

std::string googleTranslateErrorMessage(const HttpResponse& response) {
    if (auto message = googleErrorMessage(response.body)) return *message;
    switch (response.statusCode) {
        case 400:
            return "Bad request - check language codes and parameters";
        case 401:
            return "Invalid authentication - check your API key";
        case 403:
            return "Forbidden - API key may not have Translation API enabled";
        case 429:
            return "Too many requests - rate limit exceeded";
        case 500:
            return "Internal server error - try again later";
        case 503:
            return "Service unavailable - try again later";
        default:
            return "HTTP " + std::to_string(response.statusCode);
    }
}

Result<TranslationResult> parseGoogleTranslateReply(const std::string& text, int64_t latencyMs) {
    constexpr const char* kParsePrefix = "Failed to parse Google Translate API response: ";
    auto parsed = parseJsonReply(text);
    if (parsed.isError()) {
        return Error(ErrorCode::TranslationFailed, kParsePrefix + parsed.error().message);
    }
    try {
        const json& body = parsed.value();
        const bool shaped = body.is_object() && body.contains("data") && body["data"].is_object() &&
                            body["data"].contains("translations") &&
                            body["data"]["translations"].is_array() &&
                            !body["data"]["translations"].empty();
        if (!shaped) {
            return Error(ErrorCode::TranslationFailed,
                         "Invalid Google Translate API response: missing translations");
        }
        TranslationResult result;
        const json& first = body["data"]["translations"][0];
        if (first.is_object()) {
            if (first.contains("translatedText")) {
                result.translatedText = first["translatedText"].get<std::string>();
            }
            if (first.contains("detectedSourceLanguage")) {
                result.detectedLanguage =
                    asciiLower(first["detectedSourceLanguage"].get<std::string>());
            }
        }
        result.confidence = 0.9f;
        result.latencyMs = latencyMs;
        logDebugTag(kTag, "Translation complete: detected=%s, latency=%lldms",
                    result.detectedLanguage.c_str(), static_cast<long long>(latencyMs));
        return result;
    } catch (const json::exception& e) {
        // A member of an unexpected type.
        return Error(ErrorCode::TranslationFailed, kParsePrefix + std::string(e.what()));
    }
}

class GoogleTranslateProvider::Client {
public:
    Client()
        : endpoint(resolveBaseUrl(endpoints::kGoogleTranslateEnv, endpoints::kGoogleTranslate) +
                   kPath),
          http(makeClientConfig()) {}

    std::string effectiveKey() const { return apiKey.empty() ? envValue(kKeyEnv) : apiKey; }

    void applyConfig(const ProviderConfig& config) {
        if (config.timeoutMs > 0) timeoutMs = config.timeoutMs;
        if (!config.endpoint.empty()) endpoint = config.endpoint;
    }

    Result<TranslationResult> request(const std::string& text, const std::string& source,
                                      const std::string& target);

    std::string apiKey;
    std::string endpoint;
    int32_t timeoutMs = 10000;
    HttpClient http;
    ProviderStatistics stats;
};

Result<TranslationResult> GoogleTranslateProvider::Client::request(const std::string& text,
                                                                   const std::string& source,
                                                                   const std::string& target) {
    const auto start = std::chrono::steady_clock::now();
    stats.countRequest();

    const std::string key = effectiveKey();
    if (key.empty()) {
        stats.countError();
        return Error(ErrorCode::ApiKeyMissing,
                     "Google Translate API key not configured. Set via setApiKey() or "
                     "GOOGLE_TRANSLATE_API_KEY environment variable.");
    }
    if (text.size() > kMaxTextBytes) {
        stats.countError();
        return Error(ErrorCode::InvalidArgument, textTooLongMessage(kMaxTextBytes));
    }

    json body = json::object();
    body["q"] = text;
    body["target"] = target;
    body["format"] = "text";
    if (!source.empty()) body["source"] = source;

    HttpRequest req;
    req.method = HttpMethod::POST;
    req.url = endpoint + "?key=" + HttpClient::urlEscape(key);
    req.headers["Content-Type"] = "application/json; charset=utf-8";
    // Invalid UTF-8 in the text is replaced rather than allowed to abort the call.
    req.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    req.timeoutMs = timeoutMs;
    req.followRedirects = false;
    req.tag = "google-translate";

    const ProviderCallInfo call{
        kTag, "Google Translate API request failed: ", googleTranslateErrorMessage};
    auto sent = sendTranslationRequest(http, stats, std::move(req), text.size(), start, call);
    if (sent.isError()) return sent.error();
    return parseGoogleTranslateReply(sent.value().response.body, sent.value().latencyMs);
}

GoogleTranslateProvider::GoogleTranslateProvider() : client_(std::make_unique<Client>()) {}

GoogleTranslateProvider::~GoogleTranslateProvider() { shutdown(); }

VoidResult GoogleTranslateProvider::initialize(const ProviderConfig& config) {
    auto accepted = acceptConfig(config, "GoogleTranslateProvider");
    if (accepted.isError()) return accepted;
    client_->applyConfig(config);
    markInitialized();
    logInfoTag(kTag, "Initialized (timeout=%dms)", client_->timeoutMs);
    return VoidResult::success();
}

void GoogleTranslateProvider::shutdown() { shutdownCommon(kTag); }

void GoogleTranslateProvider::setApiKey(const std::string& key) {
    client_->apiKey = key;
    logDebugTag(kTag, "API key configured");
}

bool GoogleTranslateProvider::hasApiKey() const { return !client_->effectiveKey().empty(); }

VoidResult GoogleTranslateProvider::updateConfig(const ProviderConfig& config) {
    if (!isInitialized()) return VoidResult(ErrorCode::NotInitialized, "Provider not initialized");
    client_->applyConfig(config);
    logDebugTag(kTag, "Config updated (timeout=%dms)", client_->timeoutMs);
    return VoidResult::success();
}

std::vector<std::string> GoogleTranslateProvider::getSupportedSourceLanguages() const {
    return languages::googleTranslate();
}

std::vector<std::string> GoogleTranslateProvider::getSupportedTargetLanguages() const {
    std::vector<std::string> targets;
    for (const auto& code : languages::googleTranslate()) {
        if (code != "auto") targets.push_back(code);
    }
    return targets;
}

std::string GoogleTranslateProvider::normalizeLanguageCode(const std::string& code) {
    if (code.empty() || code == "auto") return std::string();
    std::string lower = asciiLower(code);
    if (lower == "en-us" || lower == "en-gb") return "en";
    if (lower == "pt-br" || lower == "pt-pt") return "pt";
    return lower;
}

bool GoogleTranslateProvider::supportsLanguagePair(const std::string& source,
                                                   const std::string& target) const {
    const std::string src = asciiLower(source);
    const std::string tgt = asciiLower(target);
    if (!(src.empty() || src == "auto" || listedOrPrefixListed(src))) return false;
    if (tgt.empty() || tgt == "auto") return false;
    return listedOrPrefixListed(tgt);
}

std::string GoogleTranslateProvider::getStatistics() const { return client_->stats.format(); }

Result<TranslationResult> GoogleTranslateProvider::translate(const TranslationRequest& request) {
    try {
        return translateUnguarded(request);
    } catch (const std::exception& e) {
        // Nothing thrown below this point may reach the caller's thread.
        return Error(ErrorCode::InternalError,
                     std::string("GoogleTranslateProvider internal error: ") + e.what());
    }
}

Result<TranslationResult> GoogleTranslateProvider::translateUnguarded(
    const TranslationRequest& request) {
    if (!isInitialized()) {
        return Error(ErrorCode::NotInitialized, "GoogleTranslateProvider not initialized");
    }
    if (request.text.empty()) {
        return Error(ErrorCode::InvalidArgument, "Empty text for translation");
    }
    if (request.targetLanguage.empty()) {
        return Error(ErrorCode::InvalidArgument, "Target language not specified");
    }
    const std::string source = normalizeLanguageCode(request.sourceLanguage);
    const std::string target = normalizeLanguageCode(request.targetLanguage);
    if (target.empty()) return Error(ErrorCode::InvalidArgument, "Invalid target language code");
    logDebugTag(kTag, "Translating: %s -> %s (%zu chars)", source.empty() ? "auto" : source.c_str(),
                target.c_str(), request.text.size());
    return client_->request(request.text, source, target);
}

}  // namespace obs_sayline
