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
Result<TranslationResult> parseDeepLReply(const std::string& body, int64_t latencyMs = 0);
// The message translate() reports for a non-2xx reply.
std::string deeplErrorMessage(const HttpResponse& response);

// DeepL REST API v2: form-encoded POST to "/v2/translate" on the free-plan or pro-plan host,
// chosen by the key at every request.
class DeepLProvider : public TranslationProviderBase {
public:
    static constexpr size_t kMaxTextBytes = 131072;

    // Both hosts from SAYLINE_DEEPL_BASE_URL when it holds an acceptable override, else DeepL's.
    DeepLProvider();
    // Explicit free-plan and pro-plan bases (scheme, host, optional port).
    DeepLProvider(const std::string& freeBaseUrl, const std::string& proBaseUrl);
    ~DeepLProvider() override;

    VoidResult initialize(const ProviderConfig& config) override;
    void shutdown() override;
    Result<TranslationResult> translate(const TranslationRequest& request) override;
    bool supportsStreaming() const override { return false; }
    void setApiKey(const std::string& key) override;
    bool hasApiKey() const override;
    VoidResult updateConfig(const ProviderConfig& config) override;
    ProviderType getType() const override { return ProviderType::DeepL; }
    const char* getName() const override { return "DeepL"; }
    std::vector<std::string> getSupportedSourceLanguages() const override;
    std::vector<std::string> getSupportedTargetLanguages() const override;
    bool supportsLanguagePair(const std::string& source, const std::string& target) const override;
    std::string getStatistics() const override;

    // DeepL's spelling of a user code: upper case, "auto" dropped, and on the target side the
    // bare "EN", "PT" and "ZH" widened to the variants DeepL expects.
    static std::string convertLanguageCode(const std::string& code, bool isTarget);

private:
    class Client;
    Result<TranslationResult> translateUnguarded(const TranslationRequest& request);

    std::unique_ptr<Client> client_;
};

}  // namespace obs_sayline
