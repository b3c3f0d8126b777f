#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/http_types.h"
#include "translation/chat_model_provider.h"

namespace obs_sayline {

// A 2xx chat completions reply read as translate() reads it: `sourceLanguage` is the
// request's, `model` only feeds the log line, the latency is copied into the result.
Result<TranslationResult> parseOpenAiReply(const std::string& body,
                                           const std::string& sourceLanguage,
                                           const std::string& model, int64_t latencyMs = 0);

// OpenAI chat completions: the instruction as the system message, the text as the user
// message, the model's answer as the translation. Servers that speak the same request
// (Ollama, llama.cpp's server, LM Studio, vLLM) are reached through a server URL of their own.
class OpenAiProvider : public ChatModelProvider {
public:
    static constexpr const char* kDefaultModel = "gpt-4o-mini";

    // Base URL from SAYLINE_OPENAI_BASE_URL when acceptable, else OpenAI's. Key from setApiKey,
    // else OPENAI_API_KEY.
    OpenAiProvider();
    ~OpenAiProvider() override;

    ProviderType getType() const override { return ProviderType::OpenAI; }
    const char* getName() const override { return "OpenAI GPT"; }

    // The chat completions URL requests go to.
    std::string url() const override;

protected:
    // A server's base URL under judgeServerUrl's rules (https anywhere, http to this computer
    // or a private network, user info, query and fragment refused); the request path follows
    // its own path, and a key becomes optional.
    VoidResult useEndpoint(const std::string& endpoint) override;
    bool keyRequired() const override;
    HttpRequest buildRequest(const TranslationRequest& request, const std::string& key,
                             const std::string& model) const override;
    std::string errorMessage(const HttpResponse& response, const std::string& key) const override;
    Result<TranslationResult> parseReply(const std::string& body, const std::string& sourceLanguage,
                                         const std::string& model,
                                         int64_t latencyMs) const override;
    // Warns once per server when a key would cross the network as plain http.
    void keyOrServerChanged() override;

private:
    struct Server;
    const std::string defaultBase_;
    std::unique_ptr<Server> server_;
};

}  // namespace obs_sayline
