#include "translation/translation_provider_base.h"

#include <exception>
#include <string>
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

VoidResult TranslationProviderBase::emitStreamResult(const TranslationResult& result, bool isFinal,
                                                     const char* logTag) {
    std::string reason;
    try {
        std::lock_guard<std::mutex> lock(callbacksMutex_);
        if (streamCallback_) streamCallback_(result, isFinal);
        return VoidResult::success();
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "unknown exception";
    }
    logErrorTag(logTag, "Stream callback failed: %s", reason.c_str());
    return VoidResult(ErrorCode::InternalError, "Stream callback failed: " + reason);
}

}  // namespace obs_sayline
