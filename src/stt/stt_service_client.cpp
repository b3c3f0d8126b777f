#include "stt/stt_service_client.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <utility>

#include "core/logger.h"
#include "net/json_reply.h"

namespace obs_sayline {

std::string resolveApiKey(const std::string& storedKey, const std::vector<const char*>& envVars) {
    if (!storedKey.empty()) return storedKey;
    for (const char* name : envVars) {
        const char* value = std::getenv(name);
        if (value && *value) return value;
    }
    return {};
}

Result<SttResult> readSttReply(
    const std::string& body, const char* parsePrefix,
    const std::function<Result<SttResult>(const nlohmann::json&)>& read) {
    auto document = parseJsonReply(body);
    if (document.isError()) {
        return {ErrorCode::SttRecognitionError,
                std::string(parsePrefix) + document.error().message};
    }
    // A malformed reply from outside is reported like an unparsable one.
    try {
        return read(document.value());
    } catch (const nlohmann::json::exception& e) {
        return {ErrorCode::SttRecognitionError, std::string(parsePrefix) + e.what()};
    }
}

SttServiceClient::SttServiceClient(SttServiceProfile profile, HttpClientConfig clientConfig)
    : profile_(std::move(profile)), client_(std::move(clientConfig)) {}

Result<SttResult> SttServiceClient::run(const std::string& storedKey,
                                        const RequestBuilder& buildRequest,
                                        const ReplyParser& parseReply,
                                        const ErrorMessageRule& errorMessage, bool keyRequired) {
    const auto start = std::chrono::steady_clock::now();
    stats_.countRequest();

    const std::string key = resolveApiKey(storedKey, profile_.keyEnvVars);
    if (key.empty() && keyRequired) {
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
        return parseReply(reply.body, latencyMs);
    }

    stats_.countError();
    const std::string message = errorMessage(reply.statusCode, reply.body);
    logErrorTag(profile_.logTag, "API error (HTTP %d): %s", reply.statusCode, message.c_str());
    return {HttpClient::statusToErrorCode(reply.statusCode), message};
}

}  // namespace obs_sayline
