#include "translation/anthropic_provider.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>

#include "core/logger.h"
#include "net/endpoint.h"
#include "net/http_client.h"
#include "net/json_reply.h"
#include "translation/llm_prompt.h"
#include "translation/provider_support.h"

namespace obs_sayline {

using namespace translation_detail;
using json = nlohmann::json;

namespace {

constexpr const char* kTag = "AnthropicProvider";
constexpr const char* kPath = "/v1/messages";
constexpr const char* kKeyEnv = "ANTHROPIC_API_KEY";
constexpr const char* kInvalid = "Invalid Anthropic API response: ";

HttpClientConfig makeClientConfig() {
    HttpClientConfig config = ChatModelProvider::clientConfig("obs-sayline/1.0 (Anthropic)");
    config.retryPolicy.retryableStatuses.push_back(kStatusOverloaded);
    return config;
}

Error invalid(const std::string& what) {
    return Error(ErrorCode::InvalidResponse, kInvalid + what);
}

// The text blocks of the answer, joined; other blocks (thinking, tool use) are not the
// translation.
Result<std::string> contentText(const json& content) {
    if (!content.is_array()) return invalid("content is not an array");
    std::string joined;
    bool anyText = false;
    for (const json& block : content) {
        if (!block.is_object()) return invalid("a content block is not an object");
        auto type = block.find("type");
        if (type == block.end() || *type != "text") continue;
        auto text = block.find("text");
        if (text == block.end() || !text->is_string()) return invalid("a text block has no text");
        joined += text->get<std::string>();
        anyText = true;
    }
    if (!anyText) return invalid("no text in content");
    return cleanModelReply(joined);
}

}  // namespace

Result<TranslationResult> parseAnthropicReply(const std::string& text,
                                              const std::string& sourceLanguage,
                                              const std::string& model, int64_t latencyMs) {
    auto parsed = parseJsonReply(text);
    if (parsed.isError()) {
        return Error(ErrorCode::InvalidResponse,
                     "Failed to parse Anthropic API response: " + parsed.error().message);
    }
    const json& body = parsed.value();
    if (!body.is_object()) return invalid("not a JSON object");
    auto content = body.find("content");
    if (content == body.end()) {
        if (auto message = serviceErrorText(body)) {
            return Error(ErrorCode::TranslationFailed, *message);
        }
        return invalid("missing content");
    }
    auto stop = body.find("stop_reason");
    if (stop != body.end() && !stop->is_null()) {
        if (!stop->is_string()) return invalid("stop_reason is not a string");
        if (*stop == "max_tokens") {
            return Error(ErrorCode::TranslationFailed,
                         "Translation cut off: the model reached max_tokens");
        }
        if (*stop == "refusal") {
            return Error(ErrorCode::TranslationFailed, "Translation refused by the model");
        }
    }
    auto translated = contentText(*content);
    if (translated.isError()) return translated.error();

    return modelAnswer(kTag, std::move(translated.value()), body,
                       {"usage", "input_tokens", "output_tokens"}, sourceLanguage, model,
                       latencyMs);
}

int32_t AnthropicProvider::outputTokenLimit(size_t textBytes) {
    const size_t wanted =
        static_cast<size_t>(kMinOutputTokens) + 2 * std::min(textBytes, kMaxTextBytes);
    return static_cast<int32_t>(std::min(wanted, static_cast<size_t>(kMaxOutputTokens)));
}

AnthropicProvider::AnthropicProvider()
    : ChatModelProvider({kTag, "anthropic", kKeyEnv, kDefaultModel,
                         "Anthropic API request failed: ",
                         "Anthropic API key not configured. Set via setApiKey() or "
                         "ANTHROPIC_API_KEY environment variable.",
                         "anthropic-messages", makeClientConfig()}),
      baseUrl_(resolveBaseUrl(endpoints::kAnthropicEnv, endpoints::kAnthropic)) {}

AnthropicProvider::~AnthropicProvider() = default;

std::string AnthropicProvider::url() const {
    return customEndpoint_.empty() ? baseUrl_ + kPath : customEndpoint_;
}

VoidResult AnthropicProvider::useEndpoint(const std::string& endpoint) {
    customEndpoint_ = endpoint;
    return VoidResult::success();
}

HttpRequest AnthropicProvider::buildRequest(const TranslationRequest& request,
                                            const std::string& key,
                                            const std::string& model) const {
    json user = json::object();
    user["role"] = "user";
    user["content"] = request.text;
    json body = json::object();
    body["model"] = model;
    body["max_tokens"] = outputTokenLimit(request.text.size());
    body["system"] = chatSystemPrompt(request);
    body["messages"] = json::array({user});
    body["temperature"] = 0;

    HttpRequest http;
    http.headers["x-api-key"] = key;
    http.headers["anthropic-version"] = kApiVersion;
    http.headers["content-type"] = "application/json";
    // Invalid UTF-8 in the text is replaced rather than allowed to abort the call.
    http.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    return http;
}

Result<TranslationResult> AnthropicProvider::parseReply(const std::string& body,
                                                        const std::string& sourceLanguage,
                                                        const std::string& model,
                                                        int64_t latencyMs) const {
    return parseAnthropicReply(body, sourceLanguage, model, latencyMs);
}

}  // namespace obs_sayline
