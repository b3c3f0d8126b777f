#include "translation/openai_provider.h"

#include <nlohmann/json.hpp>
#include <optional>
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

constexpr const char* kTag = "OpenAiProvider";
constexpr const char* kPath = "/v1/chat/completions";
constexpr const char* kKeyEnv = "OPENAI_API_KEY";
constexpr const char* kInvalid = "Invalid OpenAI API response: ";

Error invalid(const std::string& what) {
    return Error(ErrorCode::InvalidResponse, kInvalid + what);
}

// Reasoning models on local servers (DeepSeek-R1, Qwen3) put their thinking in front of the
// answer, between <think> tags.
Result<std::string> withoutReasoning(const std::string& content) {
    std::string answer = cleanModelReply(content);
    constexpr const char* kOpen = "<think>";
    constexpr const char* kClose = "</think>";
    if (answer.rfind(kOpen, 0) != 0) return answer;
    const size_t close = answer.find(kClose);
    if (close == std::string::npos) {
        return Error(ErrorCode::TranslationFailed,
                     "The model answered with its reasoning only, no translation");
    }
    return cleanModelReply(answer.substr(close + std::char_traits<char>::length(kClose)));
}

// The first choice's answer, refused when it is not a whole translation.
Result<std::string> choiceText(const json& choice) {
    if (!choice.is_object()) return invalid("a choice is not an object");
    auto finish = choice.find("finish_reason");
    if (finish != choice.end() && !finish->is_null()) {
        if (!finish->is_string()) return invalid("finish_reason is not a string");
        const std::string reason = finish->get<std::string>();
        if (reason == "length") {
            return Error(ErrorCode::TranslationFailed,
                         "Translation cut off: the model reached its output limit");
        }
        if (reason == "content_filter") {
            return Error(ErrorCode::TranslationFailed,
                         "Translation blocked by the service's content filter");
        }
    }
    auto message = choice.find("message");
    if (message == choice.end() || !message->is_object()) return invalid("missing message");
    auto content = message->find("content");
    if (content == message->end() || content->is_null()) {
        if (auto refusal = stringMember(*message, "refusal")) {
            return Error(ErrorCode::TranslationFailed, "The model refused: " + *refusal);
        }
        return invalid("missing message content");
    }
    if (!content->is_string()) return invalid("message content is not text");
    return withoutReasoning(content->get<std::string>());
}

}  // namespace

Result<TranslationResult> parseOpenAiReply(const std::string& text,
                                           const std::string& sourceLanguage,
                                           const std::string& model, int64_t latencyMs) {
    auto parsed = parseJsonReply(text);
    if (parsed.isError()) {
        return Error(ErrorCode::InvalidResponse,
                     "Failed to parse OpenAI API response: " + parsed.error().message);
    }
    const json& body = parsed.value();
    if (!body.is_object()) return invalid("not a JSON object");
    auto choices = body.find("choices");
    if (choices == body.end() || !choices->is_array() || choices->empty()) {
        // Some compatible servers answer a failure with 200 and an error body.
        if (auto message = serviceErrorText(body)) {
            return Error(ErrorCode::TranslationFailed, *message);
        }
        return invalid("missing choices");
    }
    auto translated = choiceText(choices->front());
    if (translated.isError()) return translated.error();
    return modelAnswer(kTag, std::move(translated.value()), body,
                       {"usage", "prompt_tokens", "completion_tokens"}, sourceLanguage, model,
                       latencyMs);
}

struct OpenAiProvider::Server {
    std::optional<AcceptedBaseUrl> own;  // from the settings; none: the default base
    bool clearTextWarned = false;
};

OpenAiProvider::OpenAiProvider()
    : ChatModelProvider({kTag, "openai", kKeyEnv, kDefaultModel, "OpenAI API request failed: ",
                         "OpenAI API key not configured. Set via setApiKey() or OPENAI_API_KEY "
                         "environment variable.",
                         "openai-chat", clientConfig("obs-sayline/1.0 (OpenAI)")}),
      defaultBase_(resolveBaseUrl(endpoints::kOpenAiEnv, endpoints::kOpenAi)),
      server_(std::make_unique<Server>()) {}

OpenAiProvider::~OpenAiProvider() = default;

std::string OpenAiProvider::url() const {
    return (server_->own ? server_->own->url : defaultBase_) + kPath;
}

VoidResult OpenAiProvider::useEndpoint(const std::string& endpoint) {
    BaseUrlVerdict verdict = judgeServerUrl(endpoint);
    // The reason never quotes the URL, which may carry credentials.
    if (!verdict.accepted) {
        return VoidResult(ErrorCode::InvalidArgument, "Server URL refused: " + verdict.refusal);
    }
    if (server_->own && server_->own->url == verdict.accepted->url) return VoidResult::success();
    server_->own = std::move(verdict.accepted);
    server_->clearTextWarned = false;
    // Accepted URLs carry no user info or query: nothing secret in them.
    logInfoTag(kTag, "Server: %s", url().c_str());
    return VoidResult::success();
}

// A server of one's own often wants no key; OpenAI's always does.
bool OpenAiProvider::keyRequired() const { return !server_->own; }

void OpenAiProvider::keyOrServerChanged() {
    const auto& own = server_->own;
    if (server_->clearTextWarned || !own || !own->privateNetwork || effectiveKey().empty()) return;
    server_->clearTextWarned = true;
    logWarningTag(kTag,
                  "Server %s is plain http:// to another computer: the API key crosses the "
                  "network unencrypted",
                  own->url.c_str());
}

HttpRequest OpenAiProvider::buildRequest(const TranslationRequest& request, const std::string& key,
                                         const std::string& model) const {
    json system = json::object();
    system["role"] = "system";
    system["content"] = chatSystemPrompt(request);
    json user = json::object();
    user["role"] = "user";
    user["content"] = request.text;
    json body = json::object();
    body["model"] = model;
    body["messages"] = json::array({system, user});
    body["temperature"] = 0;
    body["stream"] = false;

    HttpRequest http;
    http.allowPrivateHttp = server_->own && server_->own->privateNetwork;
    if (!key.empty()) http.headers["Authorization"] = "Bearer " + key;
    http.headers["Content-Type"] = "application/json";
    // Invalid UTF-8 in the text is replaced rather than allowed to abort the call.
    http.body = body.dump(-1, ' ', false, json::error_handler_t::replace);
    return http;
}

std::string OpenAiProvider::errorMessage(const HttpResponse& response,
                                         const std::string& key) const {
    std::string message = chatServiceErrorMessage(response);
    if (response.statusCode == 401 && key.empty()) {
        return "The server wants an API key (none was sent): " + message;
    }
    return message;
}

Result<TranslationResult> OpenAiProvider::parseReply(const std::string& body,
                                                     const std::string& sourceLanguage,
                                                     const std::string& model,
                                                     int64_t latencyMs) const {
    return parseOpenAiReply(body, sourceLanguage, model, latencyMs);
}

}  // namespace obs_sayline
