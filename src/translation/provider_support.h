#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "core/result.h"
#include "net/http_client.h"
#include "translation/provider_statistics.h"
#include "translation/translation_types.h"

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

// A model's answer as a subtitle: white space (the C isspace set) trimmed at both ends, then
// one pair of matching wrapping quotes (double or single) dropped.
std::string cleanModelReply(const std::string& text);

// A token count clamped into 32 bits; a member that is no number throws the library's type
// error.
int32_t tokenCount(const nlohmann::json& value);

// `text` with every occurrence of `secret` replaced by "REDACTED": a server may quote the key
// it refused in its error text. A secret of fewer than 8 bytes is left alone: it would match
// ordinary words, and a key that short guards nothing.
std::string withoutSecret(std::string text, const std::string& secret);

// A language model's answer as the result: the request's source language (or "auto") as the
// detected one, confidence 0.85, and the token counts of body[usage][promptKey] and
// [completionKey] where they are numbers (token use is bookkeeping: a count of another type
// does not spoil a good translation). Logs the Debug line "Translation complete".
struct TokenFields {
    const char* usage;
    const char* prompt;
    const char* completion;
};
TranslationResult modelAnswer(const char* logTag, std::string text, const nlohmann::json& body,
                              const TokenFields& fields, const std::string& sourceLanguage,
                              const std::string& model, int64_t latencyMs);

// "provider":"<provider>","model":"<model>",  -- the leading statistics fields of a language
// model provider, the model JSON-escaped.
std::string modelStatsFields(const char* provider, const std::string& model);

// The checks at the top of every translate(), in their order: initialised, text, target.
std::optional<Error> checkTranslateRequest(bool initialized, const TranslationRequest& request,
                                           const char* className);

// The front of a language model provider's translate(): its two Debug lines around the checks
// of checkTranslateRequest, whose refusal it returns.
std::optional<Error> beginModelTranslate(const char* className, bool initialized,
                                         const TranslationRequest& request,
                                         const std::string& model);

// Runs one translate() so that nothing thrown below it reaches the caller's thread.
template <typename Call>
Result<TranslationResult> guardTranslate(const char* className, Call&& call) {
    try {
        return call();
    } catch (const std::exception& e) {
        return Error(ErrorCode::InternalError,
                     std::string(className) + " internal error: " + e.what());
    }
}

// The error text of a chat-style service body: "error"."message", else "error" as a string
// (Ollama), else a top-level "message" (vLLM); none when the body has none of them as a string.
std::optional<std::string> serviceErrorText(const nlohmann::json& body);
std::optional<std::string> serviceErrorText(const std::string& body);

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
