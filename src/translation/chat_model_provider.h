#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/http_types.h"
#include "translation/translation_provider_base.h"

namespace obs_sayline {

// Anthropic's "overloaded", retried like a 503.
constexpr int32_t kStatusOverloaded = 529;

// The message of a non-2xx reply from a chat-model service: the service's own text
// ("error"."message", an "error" string, a top-level "message"), else one per status.
std::string chatServiceErrorMessage(const HttpResponse& response);

// What the chat-model providers (OpenAI, Anthropic) share: the flow of translate(), the key
// (set, or the service's environment variable at each request), model, timeout, the HTTP
// client, statistics with token use, and the language handling of a language model. Each
// provider says where its requests go, what they look like and how its replies are read.
class ChatModelProvider : public TranslationProviderBase {
public:
    static constexpr size_t kMaxTextBytes = 32768;

    // The client of a language model service: one quick retry, a breaker that opens after five
    // failures for 30 s.
    static HttpClientConfig clientConfig(const char* userAgent);

    ~ChatModelProvider() override;

    // A refused endpoint fails and leaves the provider as it was; ProviderConfig::model replaces
    // the default model.
    VoidResult initialize(const ProviderConfig& config) override;
    void shutdown() override;
    Result<TranslationResult> translate(const TranslationRequest& request) override;
    bool supportsStreaming() const override { return false; }
    void setApiKey(const std::string& key) override;
    bool hasApiKey() const override;
    VoidResult updateConfig(const ProviderConfig& config) override;
    std::vector<std::string> getSupportedSourceLanguages() const override;
    std::vector<std::string> getSupportedTargetLanguages() const override;
    bool supportsLanguagePair(const std::string& source, const std::string& target) const override;
    std::string getStatistics() const override;

protected:
    struct Service {
        const char* className;       // log tag, and the name in error texts
        const char* statisticsName;  // "provider" in the statistics line
        const char* keyEnv;          // environment variable read when no key is set
        const char* defaultModel;
        const char* requestFailedPrefix;  // "<Service> API request failed: "
        const char* missingKeyMessage;
        const char* requestTag;  // HTTP log tag
        HttpClientConfig client;
    };
    explicit ChatModelProvider(const Service& service);

    // The URL requests go to.
    virtual std::string url() const = 0;
    // Takes a non-empty ProviderConfig::endpoint, or refuses it (InvalidArgument).
    virtual VoidResult useEndpoint(const std::string& endpoint) = 0;
    // Without a key a request fails with ApiKeyMissing unless this is false.
    virtual bool keyRequired() const { return true; }
    // The request for one text; url, method, timeout and tag are filled in afterwards.
    virtual HttpRequest buildRequest(const TranslationRequest& request, const std::string& key,
                                     const std::string& model) const = 0;
    // The message of a non-2xx reply (chatServiceErrorMessage unless a provider knows better);
    // `key` is what the request carried, maybe nothing.
    virtual std::string errorMessage(const HttpResponse& response, const std::string& key) const;
    virtual Result<TranslationResult> parseReply(const std::string& body,
                                                 const std::string& sourceLanguage,
                                                 const std::string& model,
                                                 int64_t latencyMs) const = 0;
    // After the key or the configuration changed.
    virtual void keyOrServerChanged() {}

    std::string effectiveKey() const;

private:
    struct State;
    VoidResult applyConfig(const ProviderConfig& config);
    Result<TranslationResult> translateUnguarded(const TranslationRequest& request);
    Result<TranslationResult> send(const TranslationRequest& request);

    std::unique_ptr<State> state_;
};

}  // namespace obs_sayline
