#include "translation/provider_support.h"

#include <cctype>
#include <cstdlib>
#include <limits>
#include <nlohmann/json.hpp>
#include <utility>

#include "core/logger.h"
#include "net/json_reply.h"

namespace obs_sayline::translation_detail {

std::string asciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string asciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string envValue(const char* name) {
    const char* value = std::getenv(name);
    return (value && *value) ? std::string(value) : std::string();
}

int64_t elapsedMs(std::chrono::steady_clock::time_point start) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    return static_cast<int64_t>(ns / 1000000);
}

std::string preview(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    return text.substr(0, maxBytes) + "...";
}

std::string textTooLongMessage(size_t limit) {
    return "Text exceeds maximum length (" + std::to_string(limit) + " bytes)";
}

std::string cleanModelReply(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    // Models like to wrap a whole answer in quotes; drop one matching pair.
    if (end - begin > 1 && text[begin] == text[end - 1] &&
        (text[begin] == '"' || text[begin] == '\'')) {
        ++begin;
        --end;
    }
    return text.substr(begin, end - begin);
}

int32_t tokenCount(const nlohmann::json& value) {
    constexpr auto kMin = std::numeric_limits<int32_t>::min();
    constexpr auto kMax = std::numeric_limits<int32_t>::max();
    if (value.is_number_unsigned()) {
        const auto n = value.get<uint64_t>();
        return n > static_cast<uint64_t>(kMax) ? kMax : static_cast<int32_t>(n);
    }
    if (value.is_number_integer()) {
        const auto n = value.get<int64_t>();
        if (n > kMax) return kMax;
        if (n < kMin) return kMin;
        return static_cast<int32_t>(n);
    }
    if (value.is_number_float()) {
        const double d = value.get<double>();
        if (!(d == d)) return 0;  // NaN
        if (d >= static_cast<double>(kMax)) return kMax;
        if (d <= static_cast<double>(kMin)) return kMin;
        return static_cast<int32_t>(d);
    }
    return value.get<int32_t>();
}

std::string withoutSecret(std::string text, const std::string& secret) {
    constexpr size_t kMinSecretBytes = 8;
    if (secret.size() < kMinSecretBytes) return text;
    constexpr const char* kRedacted = "REDACTED";
    for (size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + std::char_traits<char>::length(kRedacted))) {
        text.replace(at, secret.size(), kRedacted);
    }
    return text;
}

TranslationResult modelAnswer(const char* logTag, std::string text, const nlohmann::json& body,
                              const TokenFields& fields, const std::string& sourceLanguage,
                              const std::string& model, int64_t latencyMs) {
    TranslationResult result;
    result.translatedText = std::move(text);
    result.detectedLanguage = sourceLanguage.empty() ? std::string("auto") : sourceLanguage;
    result.confidence = 0.85f;
    result.latencyMs = latencyMs;
    auto usage = body.find(fields.usage);
    if (usage != body.end() && usage->is_object()) {
        auto prompt = usage->find(fields.prompt);
        if (prompt != usage->end() && prompt->is_number()) {
            result.promptTokens = tokenCount(*prompt);
        }
        auto completion = usage->find(fields.completion);
        if (completion != usage->end() && completion->is_number()) {
            result.completionTokens = tokenCount(*completion);
        }
    }
    logDebugTag(logTag, "Translation complete: \"%s\" (model=%s, latency=%lldms, tokens=%d/%d)",
                result.translatedText.substr(0, 50).c_str(), model.c_str(),
                static_cast<long long>(latencyMs), result.promptTokens, result.completionTokens);
    return result;
}

std::string modelStatsFields(const char* provider, const std::string& model) {
    const std::string quoted =
        nlohmann::json(model).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return std::string("\"provider\":\"") + provider + "\",\"model\":" + quoted + ",";
}

std::optional<Error> checkTranslateRequest(bool initialized, const TranslationRequest& request,
                                           const char* className) {
    if (!initialized) {
        return Error(ErrorCode::NotInitialized, std::string(className) + " not initialized");
    }
    if (request.text.empty()) {
        return Error(ErrorCode::InvalidArgument, "Empty text for translation");
    }
    if (request.targetLanguage.empty()) {
        return Error(ErrorCode::InvalidArgument, "Target language not specified");
    }
    return std::nullopt;
}

std::optional<Error> beginModelTranslate(const char* className, bool initialized,
                                         const TranslationRequest& request,
                                         const std::string& model) {
    logDebugTag(className, "translate(): text_len=%zu, src=%s, tgt=%s", request.text.size(),
                request.sourceLanguage.c_str(), request.targetLanguage.c_str());
    if (auto refused = checkTranslateRequest(initialized, request, className)) return refused;
    logDebugTag(className, "Translating: %s -> %s (%zu chars, model=%s)",
                request.sourceLanguage.empty() ? "auto" : request.sourceLanguage.c_str(),
                request.targetLanguage.c_str(), request.text.size(), model.c_str());
    return std::nullopt;
}

Result<HttpCallOutcome> sendTranslationRequest(HttpClient& client, ProviderStatistics& stats,
                                               HttpRequest request, size_t textBytes,
                                               std::chrono::steady_clock::time_point start,
                                               const ProviderCallInfo& call) {
    auto sent = client.execute(std::move(request));
    if (sent.isError()) {
        stats.countError();
        const std::string& message = sent.error().message;
        logErrorTag(call.logTag, "HTTP request failed: %s", message.c_str());
        return Error(ErrorCode::NetworkError, call.requestFailedPrefix + message);
    }

    HttpCallOutcome outcome;
    outcome.response = std::move(sent.value());
    outcome.latencyMs = elapsedMs(start);
    stats.addLatency(outcome.latencyMs);

    const int32_t status = outcome.response.statusCode;
    if (!outcome.response.isSuccess()) {
        stats.countError();
        const std::string message = call.errorMessage(outcome.response);
        logErrorTag(call.logTag, "API error (HTTP %d): %s", status, message.c_str());
        return Error(HttpClient::statusToErrorCode(status), message);
    }
    stats.countSuccess(static_cast<int64_t>(textBytes));
    return outcome;
}

std::optional<std::string> googleErrorMessage(const std::string& body) {
    auto parsed = parseJsonReply(body);
    if (parsed.isError() || !parsed.value().is_object()) return std::nullopt;
    auto error = parsed.value().find("error");
    if (error == parsed.value().end()) return std::nullopt;
    return stringMember(*error, "message");
}

std::optional<std::string> serviceErrorText(const nlohmann::json& body) {
    if (!body.is_object()) return std::nullopt;
    auto error = body.find("error");
    if (error != body.end()) {
        if (error->is_string()) return error->get<std::string>();
        if (auto message = stringMember(*error, "message")) return message;
    }
    return stringMember(body, "message");
}

std::optional<std::string> serviceErrorText(const std::string& body) {
    auto parsed = parseJsonReply(body);
    if (parsed.isError()) return std::nullopt;
    return serviceErrorText(parsed.value());
}

}  // namespace obs_sayline::translation_detail
