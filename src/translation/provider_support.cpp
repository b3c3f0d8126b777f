#include "translation/provider_support.h"

#include <cstdlib>
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

}  // namespace obs_sayline::translation_detail
