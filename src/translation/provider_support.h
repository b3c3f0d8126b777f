#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/result.h"
#include "net/http_client.h"
#include "translation/provider_statistics.h"

// Helpers shared by the provider implementations; not part of the provider interface.
namespace obs_sayline::translation_detail {

std::string asciiUpper(std::string text);
std::string asciiLower(std::string text);

// The variable's value when it is set and not empty, else an empty string.
std::string envValue(const char* name);

// Whole milliseconds since `start` on the monotonic clock (truncated).
int64_t elapsedMs(std::chrono::steady_clock::time_point start);

// The first `maxBytes` bytes, with "..." appended when the text was longer.
std::string preview(const std::string& text, size_t maxBytes = 50);

// "Text exceeds maximum length (<limit> bytes)"
std::string textTooLongMessage(size_t limit);

// The "error"."message" text of a Google-style error body; none when the body has none (a
// message of another type carries no usable text either).
std::optional<std::string> googleErrorMessage(const std::string& body);

struct ProviderCallInfo {
    const char* logTag;               // class name used as the log tag
    const char* requestFailedPrefix;  // "<Service> API request failed: "
    // Message for a non-2xx reply (the service's own text or a fixed one per status).
    std::function<std::string(const HttpResponse&)> errorMessage;
};

struct HttpCallOutcome {
    HttpResponse response;
    int64_t latencyMs = 0;
};

// Sends one translation request and does the bookkeeping shared by every provider: a transport
// failure becomes NetworkError with the provider's prefix, a non-2xx status becomes the status's
// error code with the provider's message; latency is added for every reply, and a 2xx reply
// counts a success with `textBytes` translated characters. Only a 2xx reply is returned.
Result<HttpCallOutcome> sendTranslationRequest(HttpClient& client, ProviderStatistics& stats,
                                               HttpRequest request, size_t textBytes,
                                               std::chrono::steady_clock::time_point start,
                                               const ProviderCallInfo& call);

}  // namespace obs_sayline::translation_detail
