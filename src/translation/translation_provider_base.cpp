#include "translation/translation_provider_base.h"

#include <utility>

#include "core/logger.h"

namespace obs_sayline {

VoidResult TranslationProviderBase::translateStream(const TranslationRequest&) {
    return VoidResult(ErrorCode::NotSupported,
                      "Streaming translation not supported by this provider");
}

void TranslationProviderBase::setStreamCallback(TranslationStreamCallback callback) {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    streamCallback_ = std::move(callback);
}

void TranslationProviderBase::setAuxCallback(TranslationAuxCallback callback) {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    auxCallback_ = std::move(callback);
}

VoidResult TranslationProviderBase::acceptConfig(const ProviderConfig& config,
                                                 const char* className) {
    if (initialized_.load()) {
        return VoidResult(ErrorCode::AlreadyInitialized,
                          std::string(className) + " already initialized");
    }
    config_ = config;
    config_.type = getType();
    return VoidResult::success();
}

void TranslationProviderBase::shutdownCommon(const char* logTag) {
    if (!initialized_.load()) return;
    const std::string stats = getStatistics();
    logInfoTag(logTag, "Shutting down (stats: %s)", stats.c_str());
    initialized_.store(false);
    streaming_.store(false);
}

void TranslationProviderBase::emitStreamResult(const TranslationResult& result, bool isFinal) {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    if (streamCallback_) streamCallback_(result, isFinal);
}

}  // namespace obs_sayline
