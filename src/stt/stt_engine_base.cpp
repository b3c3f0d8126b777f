#include "stt/stt_engine_base.h"

#include <exception>
#include <string>
#include <utility>

#include "core/logger.h"

namespace obs_sayline {

namespace {
constexpr const char* kStreamingRefused = "Streaming not supported by this engine";
}

const char* sttEngineTypeName(SttEngineType type) noexcept {
    switch (type) {
        case SttEngineType::None:
            return "none";
        case SttEngineType::WhisperApi:
            return "whisper_api";
        case SttEngineType::WhisperLocal:
            return "whisper_local";
        case SttEngineType::GoogleStt:
            return "google_stt";
        case SttEngineType::Deepgram:
            return "deepgram";
        case SttEngineType::DeepgramLive:
            return "deepgram_live";
    }
    return "unknown";
}

SttEngineBase::~SttEngineBase() = default;

VoidResult SttEngineBase::startStreaming() { return {ErrorCode::NotSupported, kStreamingRefused}; }

VoidResult SttEngineBase::stopStreaming() { return {ErrorCode::NotSupported, kStreamingRefused}; }

Result<SttResult> SttEngineBase::processStreamingAudio(const AudioChunk&) {
    return {ErrorCode::NotSupported, kStreamingRefused};
}

Result<SttResult> SttEngineBase::finishStreaming() {
    return {ErrorCode::NotSupported, kStreamingRefused};
}

void SttEngineBase::setResultCallback(SttResultCallback callback) {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    resultCallback_ = std::move(callback);
}

void SttEngineBase::setErrorCallback(SttErrorCallback callback) {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    errorCallback_ = std::move(callback);
}

void SttEngineBase::setPartialResultCallback(SttPartialResultCallback callback) {
    std::lock_guard<std::mutex> lock(callbacksMutex_);
    partialResultCallback_ = std::move(callback);
}

VoidResult SttEngineBase::checkNotInitialized(const char* className) const {
    if (initialized_.load()) {
        return {ErrorCode::AlreadyInitialized, std::string(className) + " already initialized"};
    }
    return VoidResult::success();
}

VoidResult SttEngineBase::applyConfigUpdate(const SttEngineConfig& config, const char* logTag) {
    if (!initialized_.load()) return {ErrorCode::NotInitialized, "Engine not initialized"};
    config_.language = config.language;
    config_.wordTimestamps = config.wordTimestamps;
    config_.vocabulary = config.vocabulary;
    config_.profanityFilter = config.profanityFilter;
    logDebugTag(logTag, "Config updated (language=%s, wordTimestamps=%s)",
                config_.language.empty() ? "auto" : config_.language.c_str(),
                config_.wordTimestamps ? "true" : "false");
    return VoidResult::success();
}

void SttEngineBase::shutdownCommon(const char* logTag) {
    if (!initialized_.load()) return;
    logInfoTag(logTag, "Shutting down (stats: %s)", getStatistics().c_str());
    initialized_.store(false);
    streaming_.store(false);
}

Result<SttResult> SttEngineBase::guardRecognition(const char* logTag,
                                                  const std::function<Result<SttResult>()>& work) {
    try {
        return work();
    } catch (const std::exception& e) {
        logErrorTag(logTag, "Recognition failed: %s", e.what());
        return {ErrorCode::InternalError, std::string("Recognition failed: ") + e.what()};
    } catch (...) {
        logErrorTag(logTag, "Recognition failed: unknown exception");
        return {ErrorCode::InternalError, "Recognition failed: unknown exception"};
    }
}

}  // namespace obs_sayline
