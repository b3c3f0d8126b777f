#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "translation/translation_provider.h"

namespace obs_sayline {

// State and operations every provider shares: lifecycle flags, the stored configuration and
// the two callbacks. Concrete providers keep everything else in their own client object.
class TranslationProviderBase : public ITranslationProvider {
public:
    TranslationProviderBase() = default;
    TranslationProviderBase(const TranslationProviderBase&) = delete;
    TranslationProviderBase& operator=(const TranslationProviderBase&) = delete;

    bool isInitialized() const override { return initialized_.load(); }
    // Streaming is not offered unless a provider overrides this.
    VoidResult translateStream(const TranslationRequest& request) override;
    void setStreamCallback(TranslationStreamCallback callback) override;
    void stopStreaming() override { streaming_.store(false); }
    bool isStreaming() const override { return streaming_.load(); }
    ProviderConfig getConfig() const override { return config_; }
    ProviderCategory getCategory() const override { return providerCategory(getType()); }
    void setAuxCallback(TranslationAuxCallback callback) override;
    std::string getLastMessage() const override { return lastMessage_; }

protected:
    // First half of initialize: refuses a second call ("<className> already initialized") and
    // keeps a copy of the configuration carrying this provider's own type.
    VoidResult acceptConfig(const ProviderConfig& config, const char* className);
    void markInitialized() { initialized_.store(true); }
    // Logs the statistics and returns to the uninitialised state; nothing when not initialised.
    void shutdownCommon(const char* logTag);
    // Delivers a result to the stream callback, when one is set, under the callbacks mutex.
    // The callback is the caller's code: whatever it throws stays here, logged under `logTag`
    // and returned as the stream's failure.
    VoidResult emitStreamResult(const TranslationResult& result, bool isFinal, const char* logTag);

private:
    std::atomic<bool> initialized_{false};
    std::atomic<bool> streaming_{false};
    std::string lastMessage_;  // nothing writes it; kept for the interface
    ProviderConfig config_;
    std::mutex callbacksMutex_;
    TranslationStreamCallback streamCallback_;
    TranslationAuxCallback auxCallback_;
};

}  // namespace obs_sayline
