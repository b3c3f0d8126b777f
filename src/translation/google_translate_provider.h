#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/http_types.h"
#include "translation/translation_provider_base.h"

namespace obs_sayline {

// A 2xx reply read as translate() reads it; the latency is copied into the result.
Result<TranslationResult> parseGoogleTranslateReply(const std::string& body, int64_t latencyMs = 0);
// The message translate() reports for a non-2xx reply.
std::string googleTranslateErrorMessage(const HttpResponse& response);

// Google Cloud Translation API v2 (basic): a small JSON POST with the key in the query string.
class GoogleTranslateProvider : public TranslationProviderBase {
public:
    static constexpr size_t kMaxTextBytes = 131072;

    // Base URL from SAYLINE_GOOGLE_TRANSLATE_BASE_URL when acceptable, else Google's.
    GoogleTranslateProvider();
    ~GoogleTranslateProvider() override;

    VoidResult initialize(const ProviderConfig& config) override;
    void shutdown() override;
    Result<TranslationResult> translate(const TranslationRequest& request) override;
    bool supportsStreaming() const override { return false; }
    void setApiKey(const std::string& key) override;
    bool hasApiKey() const override;
    VoidResult updateConfig(const ProviderConfig& config) override;
    ProviderType getType() const override { return ProviderType::GoogleTranslate; }
    const char* getName() const override { return "Google Translate"; }
    std::vector<std::string> getSupportedSourceLanguages() const override;
    std::vector<std::string> getSupportedTargetLanguages() const override;
    bool supportsLanguagePair(const std::string& source, const std::string& target) const override;
    std::string getStatistics() const override;

    // Lower case; "auto" and empty become empty; English and Portuguese regions fold to the
    // bare language.
    static std::string normalizeLanguageCode(const std::string& code);

private:
    class Client;
    Result<TranslationResult> translateUnguarded(const TranslationRequest& request);

    std::unique_ptr<Client> client_;
};

}  // namespace obs_sayline
