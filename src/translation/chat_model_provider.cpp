#include "translation/chat_model_provider.h"

#include <chrono>
#include <utility>

#include "core/logger.h"
#include "net/endpoint.h"
#include "net/http_client.h"
#include "translation/llm_prompt.h"
#include "translation/provider_statistics.h"
#include "translation/provider_support.h"

namespace obs_sayline {

using namespace translation_detail;

std::string chatServiceErrorMessage(const HttpResponse& response) {
    if (auto message = serviceErrorText(response.body)) return *message;
    switch (response.statusCode) {
        case 400:
            return "Bad request - check the model name and parameters";
        case 401:
            return "Invalid authentication - check your API key";
        case 403:
            return "Permission denied - check your API key's access to the model";
        case 404:
            return "Not found - check the server URL and the model name";
        case 429:
            return "Rate limit exceeded - too many requests or no quota left";
        case 500:
            return "Internal server error - try again later";
        case 503:
        case kStatusOverloaded:
            return "Service unavailable or overloaded - try again later";
        default:
            return HttpClient::fallbackErrorMessage(response.statusCode);
    }
}

struct ChatModelProvider::State {
    explicit State(const Service& s) : service(s), model(s.defaultModel), http(s.client) {}

    const Service service;
    std::string apiKey;
    std::string model;
    int32_t timeoutMs = 15000;
    HttpClient http;
    ProviderStatistics stats;
};

HttpClientConfig ChatModelProvider::clientConfig(const char* userAgent) {
    HttpClientConfig config;
    config.userAgent = userAgent;
    config.requestTimeoutMs = 15000;
    config.retryPolicy = RetryPolicy::quickPolicy();
    config.circuitBreaker.failureThreshold = 5;
    config.circuitBreaker.openDurationMs = 30000;
    config.circuitBreaker.enabled = true;
    return config;
}

ChatModelProvider::ChatModelProvider(const Service& service)
    : state_(std::make_unique<State>(service)) {}

ChatModelProvider::~ChatModelProvider() { shutdown(); }

std::string ChatModelProvider::errorMessage(const HttpResponse& response,
                                            const std::string&) const {
    return chatServiceErrorMessage(response);
}

std::string ChatModelProvider::effectiveKey() const {
    return state_->apiKey.empty() ? envValue(state_->service.keyEnv) : state_->apiKey;
}

VoidResult ChatModelProvider::applyConfig(const ProviderConfig& config) {
    if (!config.endpoint.empty()) {
        auto used = useEndpoint(config.endpoint);
        if (used.isError()) {
            logErrorTag(state_->service.className, "%s", used.error().message.c_str());
            return used;
        }
    }
    if (config.timeoutMs > 0) state_->timeoutMs = config.timeoutMs;
    if (!config.model.empty()) state_->model = config.model;
    keyOrServerChanged();
    return VoidResult::success();
}

VoidResult ChatModelProvider::initialize(const ProviderConfig& config) {
    const char* name = state_->service.className;
    if (isInitialized()) {
        return VoidResult(ErrorCode::AlreadyInitialized,
                          std::string(name) + " already initialized");
    }
    auto applied = applyConfig(config);
    if (applied.isError()) return applied;
    auto accepted = acceptConfig(config, name);
    if (accepted.isError()) return accepted;
    markInitialized();
    logInfoTag(name, "Initialized (model=%s, endpoint=%s, timeout=%dms)", state_->model.c_str(),
               redactUrlForLog(url()).c_str(), state_->timeoutMs);
    return VoidResult::success();
}

void ChatModelProvider::shutdown() { shutdownCommon(state_->service.className); }

void ChatModelProvider::setApiKey(const std::string& key) {
    state_->apiKey = key;
    logInfoTag(state_->service.className, "API key set (length=%zu)", key.size());
    keyOrServerChanged();
}

bool ChatModelProvider::hasApiKey() const { return !effectiveKey().empty(); }

VoidResult ChatModelProvider::updateConfig(const ProviderConfig& config) {
    if (!isInitialized()) return VoidResult(ErrorCode::NotInitialized, "Provider not initialized");
    auto applied = applyConfig(config);
    if (applied.isError()) return applied;
    logDebugTag(state_->service.className, "Config updated (model=%s, timeout=%dms)",
                state_->model.c_str(), state_->timeoutMs);
    return VoidResult::success();
}

std::vector<std::string> ChatModelProvider::getSupportedSourceLanguages() const {
    return llmSourceLanguages();
}

std::vector<std::string> ChatModelProvider::getSupportedTargetLanguages() const {
    return llmTargetLanguages();
}

bool ChatModelProvider::supportsLanguagePair(const std::string&, const std::string& target) const {
    return llmSupportsTarget(state_->service.className, target);
}

std::string ChatModelProvider::getStatistics() const {
    return state_->stats.format(modelStatsFields(state_->service.statisticsName, state_->model),
                                true);
}

Result<TranslationResult> ChatModelProvider::translate(const TranslationRequest& request) {
    return guardTranslate(state_->service.className, [&] { return translateUnguarded(request); });
}

Result<TranslationResult> ChatModelProvider::translateUnguarded(const TranslationRequest& request) {
    if (auto refused = beginModelTranslate(state_->service.className, isInitialized(), request,
                                           state_->model)) {
        return *refused;
    }
    return send(request);
}

Result<TranslationResult> ChatModelProvider::send(const TranslationRequest& request) {
    const auto start = std::chrono::steady_clock::now();
    State& s = *state_;
    s.stats.countRequest();

    const std::string key = effectiveKey();
    if (key.empty() && keyRequired()) {
        s.stats.countError();
        return Error(ErrorCode::ApiKeyMissing, s.service.missingKeyMessage);
    }
    if (request.text.size() > kMaxTextBytes) {
        s.stats.countError();
        return Error(ErrorCode::InvalidArgument, textTooLongMessage(kMaxTextBytes));
    }

    HttpRequest req = buildRequest(request, key, s.model);
    req.method = HttpMethod::POST;
    req.url = url();
    req.timeoutMs = s.timeoutMs;
    req.followRedirects = false;
    req.tag = s.service.requestTag;

    const ProviderCallInfo call{s.service.className, s.service.requestFailedPrefix,
                                [&](const HttpResponse& response) {
                                    return withoutSecret(errorMessage(response, key), key);
                                }};
    auto sent =
        sendTranslationRequest(s.http, s.stats, std::move(req), request.text.size(), start, call);
    if (sent.isError()) return sent.error();
    auto result = parseReply(sent.value().response.body, request.sourceLanguage, s.model,
                             sent.value().latencyMs);
    if (result.isSuccess()) {
        s.stats.addTokens(result.value().promptTokens, result.value().completionTokens);
    }
    return result;
}

}  // namespace obs_sayline
