#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/http_types.h"
#include "translation/translation_provider_base.h"

namespace obs_sayline {

// A 2xx reply read as translate() reads it: `sourceLanguage` is the request's, `model` only
// feeds the log line, the latency is copied into the result.
Result<TranslationResult> parseGeminiReply(const std::string& body,
                                           const std::string& sourceLanguage,
                                           const std::string& model, int64_t latencyMs = 0);
// The message translate() reports for a non-2xx reply.
std::string geminiErrorMessage(const HttpResponse& response);

// Google Gemini generateContent: an instruction prompt around the text, the model's reply taken
// as the translation. Accepts any target language and reports token use.
class GeminiProvider : public TranslationProviderBase {
public:
    static constexpr size_t kMaxTextBytes = 32768;
    static constexpr size_t kMaxApiKeyBytes = 256;
    static constexpr const char* kDefaultModel = "gemini-2.5-flash";

    // Base URL from SAYLINE_GEMINI_BASE_URL when acceptable, else Google's.
    GeminiProvider();
    ~GeminiProvider() override;

    VoidResult initialize(const ProviderConfig& config) override;
    void shutdown() override;
    Result<TranslationResult> translate(const TranslationRequest& request) override;
    bool supportsStreaming() const override { return true; }
    // Delivers the whole translation once, as the final result.
    VoidResult translateStream(const TranslationRequest& request) override;
    void setApiKey(const std::string& key) override;
    bool hasApiKey() const override;
    VoidResult updateConfig(const ProviderConfig& config) override;
    ProviderType getType() const override { return ProviderType::Gemini; }
    const char* getName() const override { return "Google Gemini"; }
    std::vector<std::string> getSupportedSourceLanguages() const override;
    std::vector<std::string> getSupportedTargetLanguages() const override;
    bool supportsLanguagePair(const std::string& source, const std::string& target) const override;
    std::string getStatistics() const override;

    // The instruction text sent to the model for one request.
    static std::string buildPrompt(const TranslationRequest& request);

private:
    class Client;
    Result<TranslationResult> translateUnguarded(const TranslationRequest& request);

    std::unique_ptr<Client> client_;
};

}  // namespace obs_sayline
