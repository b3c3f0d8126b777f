#pragma once

#include <string>
#include <vector>

#include "core/result.h"
#include "translation/translation_types.h"

namespace obs_sayline {

// A translation service behind one line-at-a-time interface. The order of the operations is
// the order of the virtual slots; keep it.
class ITranslationProvider {
public:
    virtual ~ITranslationProvider() = default;
    virtual VoidResult initialize(const ProviderConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;
    virtual Result<TranslationResult> translate(const TranslationRequest& request) = 0;
    virtual bool supportsStreaming() const = 0;
    virtual VoidResult translateStream(const TranslationRequest& request) = 0;
    virtual void setStreamCallback(TranslationStreamCallback callback) = 0;
    virtual void stopStreaming() = 0;
    virtual bool isStreaming() const = 0;
    virtual void setApiKey(const std::string& key) = 0;
    virtual bool hasApiKey() const = 0;
    virtual ProviderConfig getConfig() const = 0;
    virtual VoidResult updateConfig(const ProviderConfig& config) = 0;
    virtual ProviderType getType() const = 0;
    virtual ProviderCategory getCategory() const = 0;
    virtual const char* getName() const = 0;
    virtual std::vector<std::string> getSupportedSourceLanguages() const = 0;
    virtual std::vector<std::string> getSupportedTargetLanguages() const = 0;
    virtual bool supportsLanguagePair(const std::string& source,
                                      const std::string& target) const = 0;
    virtual void setAuxCallback(TranslationAuxCallback callback) = 0;
    virtual std::string getLastMessage() const = 0;
    virtual std::string getStatistics() const = 0;
};

}  // namespace obs_sayline
