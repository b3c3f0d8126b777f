#include "stt/stt_service_client.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <utility>

#include "core/logger.h"
#include "stt/json_reply.h"

namespace obs_sayline {

std::string resolveApiKey(const std::string& storedKey, const std::vector<const char*>& envVars) {
    if (!storedKey.empty()) return storedKey;
    for (const char* name : envVars) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

SttServiceClient::SttServiceClient(SttServiceProfile profile, HttpClientConfig clientConfig)
    : profile_(std::move(profile)), client_(std::move(clientConfig)) {}

Result<SttResult> SttServiceClient::run(const std::string& storedKey,
                                        const RequestBuilder& buildRequest,
                                        const ReplyParser& parseReply,
                                        const ErrorMessageRule& errorMessage) {
    const auto start = std::chrono::steady_clock::now();
    stats_.countRequest();

    const std::string key = resolveApiKey(storedKey, profile_.keyEnvVars);
    if (key.empty()) {
        stats_.countError();
        return {ErrorCode::ApiKeyMissing, profile_.missingKeyMessage};
    }

    auto response = client_.execute(buildRequest(key));
    if (response.isError()) {
        stats_.countError();
        const std::string& message = response.error().message;
        logErrorTag(profile_.logTag, "HTTP request failed: %s", message.c_str());
        return {ErrorCode::NetworkError, std::string(profile_.transportPrefix) + message};
    }

    const int64_t latencyMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  std::chrono::steady_clock::now() - start)
                                  .count();
    stats_.addLatency(latencyMs);

    const HttpResponse& reply = response.value();
    if (reply.isSuccess()) {
        stats_.countSuccess();
        return parseSuccessBody(reply.body, latencyMs, parseReply);
    }

    stats_.countError();
    const std::string message = errorMessage(reply.statusCode, reply.body);
    logErrorTag(profile_.logTag, "API error (HTTP %d): %s", reply.statusCode, message.c_str());
    return {HttpClient::statusToErrorCode(reply.statusCode), message};
}

Result<SttResult> SttServiceClient::parseSuccessBody(const std::string& body, int64_t latencyMs,
                                                     const ReplyParser& parseReply) const {
    auto document = parseJsonReply(body);
    if (document.isError()) {
        return {ErrorCode::SttRecognitionError,
                std::string(profile_.parsePrefix) + document.error().message};
    }
    // A member of the wrong type ("text" a number, a word that is not an object, ...) is a
    // malformed reply from outside, reported like an unparsable one.
    try {
        return parseReply(document.value(), latencyMs);
    } catch (const nlohmann::json::exception& e) {
        return {ErrorCode::SttRecognitionError, std::string(profile_.parsePrefix) + e.what()};
    }
}

}  // namespace obs_sayline
