#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/result.h"
#include "net/http_client.h"
#include "stt/stt_statistics.h"
#include "stt/stt_types.h"

namespace obs_sayline {

// The stored key when set, else the first of `envVars` that is set and non-empty (read now,
// so a key exported after the engine was made still counts), else empty.
std::string resolveApiKey(const std::string& storedKey, const std::vector<const char*>& envVars);

// What differs between the engines in the shared request flow.
struct SttServiceProfile {
    const char* logTag;             // "WhisperApiEngine"
    const char* transportPrefix;    // "Whisper API request failed: "
    const char* missingKeyMessage;  // the "API key not configured" text
    std::vector<const char*> keyEnvVars;
};

// Reads a 2xx body: the shared JSON reader parses it and `read` turns the document into a
// result. An unparsable body, or a member of the wrong type ("text" a number, a word that is
// not an object, ...), is SttRecognitionError with `parsePrefix` + the reason. Nothing thrown
// by the JSON library leaves it.
Result<SttResult> readSttReply(const std::string& body, const char* parsePrefix,
                               const std::function<Result<SttResult>(const nlohmann::json&)>& read);

// The shared request flow: counting, key resolution, the call with retries and breaker, status
// handling and reply parsing. Owns the engine's HTTP client.
class SttServiceClient {
public:
    // Builds the request once the key is known; may move the encoded audio into it.
    using RequestBuilder = std::function<HttpRequest(const std::string& apiKey)>;
    // Turns a 2xx body into the engine's result.
    using ReplyParser =
        std::function<Result<SttResult>(const std::string& body, int64_t latencyMs)>;
    // Message for a non-2xx reply; must not throw.
    using ErrorMessageRule = std::function<std::string(int32_t status, const std::string& body)>;

    SttServiceClient(SttServiceProfile profile, HttpClientConfig clientConfig);

    // With `keyRequired` false a missing key is no failure: the builder gets an empty key.
    Result<SttResult> run(const std::string& storedKey, const RequestBuilder& buildRequest,
                          const ReplyParser& parseReply, const ErrorMessageRule& errorMessage,
                          bool keyRequired = true);

    const SttStatistics& statistics() const { return stats_; }
    HttpClient& httpClient() { return client_; }

private:
    SttServiceProfile profile_;
    HttpClient client_;
    SttStatistics stats_;
};

}  // namespace obs_sayline
