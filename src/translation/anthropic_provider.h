#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/http_types.h"
#include "translation/chat_model_provider.h"

namespace obs_sayline {

// A 2xx Messages reply read as translate() reads it: `sourceLanguage` is the request's,
// `model` only feeds the log line, the latency is copied into the result.
Result<TranslationResult> parseAnthropicReply(const std::string& body,
                                              const std::string& sourceLanguage,
                                              const std::string& model, int64_t latencyMs = 0);

// Anthropic Messages API: the instruction as the system prompt, the text as the one user
// message, the joined text blocks of the answer as the translation.
class AnthropicProvider : public ChatModelProvider {
public:
    static constexpr const char* kDefaultModel = "claude-haiku-4-5";
    static constexpr const char* kApiVersion = "2023-06-01";
    // max_tokens grows with the text: 256 plus two per byte of text, which no translation
    // needs (a model that runs on past it is not translating), at most 8192.
    static constexpr int32_t kMinOutputTokens = 256;
    static constexpr int32_t kMaxOutputTokens = 8192;
    static int32_t outputTokenLimit(size_t textBytes);

    // Base URL from SAYLINE_ANTHROPIC_BASE_URL when acceptable, else Anthropic's. Key from
    // setApiKey, else ANTHROPIC_API_KEY.
    AnthropicProvider();
    ~AnthropicProvider() override;

    ProviderType getType() const override { return ProviderType::Anthropic; }
    const char* getName() const override { return "Anthropic Claude"; }

    std::string url() const override;

protected:
    // Replaces the whole Messages URL, as an endpoint does for the other providers.
    VoidResult useEndpoint(const std::string& endpoint) override;
    HttpRequest buildRequest(const TranslationRequest& request, const std::string& key,
                             const std::string& model) const override;
    Result<TranslationResult> parseReply(const std::string& body, const std::string& sourceLanguage,
                                         const std::string& model,
                                         int64_t latencyMs) const override;

private:
    const std::string baseUrl_;
    std::string customEndpoint_;
};

}  // namespace obs_sayline
