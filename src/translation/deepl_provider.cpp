#include "translation/deepl_provider.h"

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

constexpr const char* kTag = "DeepLProvider";
constexpr const char* kPath = "/v2/translate";
constexpr const char* kKeyEnv = "DEEPL_API_KEY";

bool isFreePlanKey(const std::string& key) {
    return key.size() >= 3 && key.find(":fx") != std::string::npos;
}

HttpClientConfig makeClientConfig() {
    HttpClientConfig config;
    config.userAgent = "obs-sayline/1.0 (DeepL)";
    config.requestTimeoutMs = 10000;
    config.retryPolicy = RetryPolicy::defaultPolicy();
    config.circuitBreaker.failureThreshold = 3;
    return config;
}

// The code, or its first two bytes, is in the list.
bool listedOrPrefixListed(const LanguageList& list, const std::string& code) {
    return languages::contains(list, code) || languages::contains(list, code.substr(0, 2));
}

const char* formalityValue(int32_t formality) {
    switch (formality) {
        case 1:
            return "less";
        case 2:
            return "more";
        case 3:
            return "prefer_less";
        case 4:
            return "prefer_more";
        default:
            return "";
    }
}

}  // namespace

std::string deeplErrorMessage(const HttpResponse& response) {
    // A message of another type carries no usable text: use the status's own.
    auto body = parseJsonReply(response.body);
    if (body.isSuccess()) {
        if (auto message = stringMember(body.value(), "message")) return *message;
    }
    switch (response.statusCode) {
        case 400:
            return "Bad request - check your parameters";
        case 401:
            return "Invalid authentication - check your API key";
        case 403:
            return "Authorization failed - check your API key permissions";
        case 404:
            return "Not found - check the API endpoint";
        case 413:
            return "Request entity too large - text is too long";
        case 429:
            return "Too many requests - rate limit exceeded";
        case 456:
            return "Quota exceeded - check your DeepL account";
        case 503:
            return "Service unavailable - try again later";
        default:
            return HttpClient::fallbackErrorMessage(response.statusCode);
    }
}

class DeepLProvider::Client {
public:
    Client(const std::string& freeBase, const std::string& proBase)
        : freeUrl(freeBase + kPath), proUrl(proBase + kPath), http(makeClientConfig()) {}

    std::string effectiveKey() const { return apiKey.empty() ? envValue(kKeyEnv) : apiKey; }

    std::string selectEndpoint() const {
        if (!customEndpoint.empty()) return customEndpoint;
        const std::string key = effectiveKey();
        if (isFreePlanKey(key)) return freeUrl;
        return pro ? proUrl : freeUrl;
    }

    void applyConfig(const ProviderConfig& config) {
        if (config.timeoutMs > 0) timeoutMs = config.timeoutMs;
        if (!config.endpoint.empty()) customEndpoint = config.endpoint;
    }

    std::string formBody(const std::string& text, const std::string& source,
                         const std::string& target) const {
        std::string body = "text=" + HttpClient::urlEscape(text);
        body += "&target_lang=" + HttpClient::urlEscape(target);
        if (!source.empty()) body += "&source_lang=" + HttpClient::urlEscape(source);
        if (formality != 0) body += std::string("&formality=") + formalityValue(formality);
        if (preserveFormatting) body += "&preserve_formatting=1";
        body += "&split_sentences=" + splitSentences;
        return body;
    }

    Result<TranslationResult> request(const std::string& text, const std::string& source,
                                      const std::string& target);

    std::string apiKey;
    std::string customEndpoint;
    bool pro = false;
    int32_t timeoutMs = 10000;
    int32_t formality = 0;
    bool preserveFormatting = false;
    std::string splitSentences = "1";
    const std::string freeUrl;
    const std::string proUrl;
    HttpClient http;
    ProviderStatistics stats;
};

Result<TranslationResult> parseDeepLReply(const std::string& text, int64_t latencyMs) {
    constexpr const char* kParsePrefix = "Failed to parse DeepL API response: ";
    auto parsed = parseJsonReply(text);
    if (parsed.isError()) {
        return Error(ErrorCode::TranslationFailed, kParsePrefix + parsed.error().message);
    }
    try {
        const json& body = parsed.value();
        if (!body.is_object() || !body.contains("translations") ||
            !body["translations"].is_array()) {
            return Error(ErrorCode::TranslationFailed,
                         "Invalid DeepL API response: missing translations array");
        }
        const json& translations = body["translations"];
        if (translations.empty()) {
            return Error(ErrorCode::TranslationFailed, "DeepL API returned empty translations");
        }
        TranslationResult result;
        const json& first = translations[0];
        if (first.is_object()) {
            if (first.contains("text")) result.translatedText = first["text"].get<std::string>();
            if (first.contains("detected_source_language")) {
                result.detectedLanguage =
                    asciiLower(first["detected_source_language"].get<std::string>());
            }
        }
        result.confidence = 0.95f;
        result.latencyMs = latencyMs;
        logDebugTag(kTag, "Translation complete: \"%s\" (detected=%s, latency=%lldms)",
                    preview(result.translatedText).c_str(), result.detectedLanguage.c_str(),
                    static_cast<long long>(latencyMs));
        return result;
    } catch (const json::exception& e) {
        // A member of an unexpected type.
        return Error(ErrorCode::TranslationFailed, kParsePrefix + std::string(e.what()));
    }
}

Result<TranslationResult> DeepLProvider::Client::request(const std::string& text,
                                                         const std::string& source,
                                                         const std::string& target) {
    const auto start = std::chrono::steady_clock::now();
    stats.countRequest();

    const std::string key = effectiveKey();
    if (key.empty()) {
        stats.countError();
        return Error(ErrorCode::ApiKeyMissing,
                     "DeepL API key not configured. Set via setApiKey() or DEEPL_API_KEY "
                     "environment variable.");
    }
    if (text.size() > kMaxTextBytes) {
        stats.countError();
        return Error(ErrorCode::InvalidArgument, textTooLongMessage(kMaxTextBytes));
    }

    HttpRequest req;
    req.method = HttpMethod::POST;
    req.url = selectEndpoint();
    req.headers["Authorization"] = "DeepL-Auth-Key " + key;
    req.headers["Content-Type"] = "application/x-www-form-urlencoded";
    req.body = formBody(text, source, target);
    req.timeoutMs = timeoutMs;
    req.followRedirects = false;
    req.tag = "deepl-translate";

    const ProviderCallInfo call{kTag, "DeepL API request failed: ", deeplErrorMessage};
    auto sent = sendTranslationRequest(http, stats, std::move(req), text.size(), start, call);
    if (sent.isError()) return sent.error();
    return parseDeepLReply(sent.value().response.body, sent.value().latencyMs);
}

DeepLProvider::DeepLProvider()
    : DeepLProvider(resolveBaseUrl(endpoints::kDeepLEnv, endpoints::kDeepLFree),
                    resolveBaseUrl(endpoints::kDeepLEnv, endpoints::kDeepLPro)) {}

DeepLProvider::DeepLProvider(const std::string& freeBaseUrl, const std::string& proBaseUrl)
    : client_(std::make_unique<Client>(freeBaseUrl, proBaseUrl)) {}

DeepLProvider::~DeepLProvider() { shutdown(); }

VoidResult DeepLProvider::initialize(const ProviderConfig& config) {
    auto accepted = acceptConfig(config, "DeepLProvider");
    if (accepted.isError()) return accepted;
    client_->applyConfig(config);
    markInitialized();
    const std::string endpoint = redactUrlForLog(client_->selectEndpoint());
    logInfoTag(kTag, "Initialized (endpoint=%s, timeout=%dms)", endpoint.c_str(),
               client_->timeoutMs);
    return VoidResult::success();
}

void DeepLProvider::shutdown() { shutdownCommon(kTag); }

void DeepLProvider::setApiKey(const std::string& key) {
    client_->apiKey = key;
    if (isFreePlanKey(key)) {
        client_->pro = false;
    } else if (!key.empty()) {
        client_->pro = true;
    }
    logDebugTag(kTag, "API key set (pro=%s)", client_->pro ? "true" : "false");
}

bool DeepLProvider::hasApiKey() const { return !client_->effectiveKey().empty(); }

VoidResult DeepLProvider::updateConfig(const ProviderConfig& config) {
    if (!isInitialized()) return VoidResult(ErrorCode::NotInitialized, "Provider not initialized");
    client_->applyConfig(config);
    logDebugTag(kTag, "Config updated (timeout=%dms)", client_->timeoutMs);
    return VoidResult::success();
}

std::vector<std::string> DeepLProvider::getSupportedSourceLanguages() const {
    return languages::deeplSource();
}

std::vector<std::string> DeepLProvider::getSupportedTargetLanguages() const {
    return languages::deeplTarget();
}

std::string DeepLProvider::convertLanguageCode(const std::string& code, bool isTarget) {
    if (code.empty()) return code;
    std::string upper = asciiUpper(code);
    if (upper == "AUTO") return std::string();
    if (isTarget) {
        if (upper == "EN") return "EN-US";
        if (upper == "PT") return "PT-PT";
        if (upper == "ZH") return "ZH-HANS";
    }
    return upper;
}

bool DeepLProvider::supportsLanguagePair(const std::string& source,
                                         const std::string& target) const {
    const std::string src = asciiUpper(source);
    const std::string tgt = asciiUpper(target);
    const bool sourceOk =
        src.empty() || src == "AUTO" || listedOrPrefixListed(languages::deeplSource(), src);
    if (!sourceOk) return false;
    return listedOrPrefixListed(languages::deeplTarget(), tgt);
}

std::string DeepLProvider::getStatistics() const { return client_->stats.format(); }

Result<TranslationResult> DeepLProvider::translate(const TranslationRequest& request) {
    try {
        return translateUnguarded(request);
    } catch (const std::exception& e) {
        // Nothing thrown below this point may reach the caller's thread.
        return Error(ErrorCode::InternalError,
                     std::string("DeepLProvider internal error: ") + e.what());
    }
}

Result<TranslationResult> DeepLProvider::translateUnguarded(const TranslationRequest& request) {
    if (!isInitialized()) return Error(ErrorCode::NotInitialized, "DeepLProvider not initialized");
    if (request.text.empty()) {
        return Error(ErrorCode::InvalidArgument, "Empty text for translation");
    }
    if (request.targetLanguage.empty()) {
        return Error(ErrorCode::InvalidArgument, "Target language not specified");
    }
    const std::string source = convertLanguageCode(request.sourceLanguage, false);
    const std::string target = convertLanguageCode(request.targetLanguage, true);
    const std::string shownSource = source.empty() ? std::string("auto") : source;
    if (!supportsLanguagePair(shownSource, target)) {
        return Error(ErrorCode::LanguagePairNotSupported,
                     "Language pair not supported: " + shownSource + " -> " + target);
    }
    logDebugTag(kTag, "Translating: %s -> %s (%zu chars)", shownSource.c_str(), target.c_str(),
                request.text.size());
    return client_->request(request.text, source, target);
}

}  // namespace obs_sayline
