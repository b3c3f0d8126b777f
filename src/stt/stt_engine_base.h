#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "stt/stt_engine.h"

namespace obs_sayline {

// What every engine shares: lifecycle flags, the stored configuration, the callbacks and the
// refusal of streaming. Concrete engines keep their service state in their own private Impl.
class SttEngineBase : public ISttEngine {
public:
    ~SttEngineBase() override;

    bool isInitialized() const override { return initialized_.load(); }

    bool supportsStreaming() const override { return false; }
    VoidResult startStreaming() override;
    VoidResult stopStreaming() override;
    Result<SttResult> processStreamingAudio(const AudioChunk& chunk) override;
    Result<SttResult> finishStreaming() override;
    bool isStreaming() const override { return streaming_.load(); }

    void setResultCallback(SttResultCallback callback) override;
    void setErrorCallback(SttErrorCallback callback) override;
    void setPartialResultCallback(SttPartialResultCallback callback) override;

    SttEngineConfig getConfig() const override { return config_; }
    std::string getLastMessage() const override { return lastMessage_; }

protected:
    SttEngineBase() = default;

    // The checks every engine makes before its own initialize work; the "<Class> already
    // initialized" error, or success.
    VoidResult checkNotInitialized(const char* className) const;
    // Copies language, wordTimestamps, the vocabulary and the profanity flag and logs the
    // change; fails before initialize.
    VoidResult applyConfigUpdate(const SttEngineConfig& config, const char* logTag);
    // Logs the statistics and clears the lifecycle flags; nothing when not initialised.
    void shutdownCommon(const char* logTag);
    // Runs a recognition so that nothing thrown inside (allocation failure, a library error)
    // leaves the engine: it becomes an InternalError result.
    static Result<SttResult> guardRecognition(const char* logTag,
                                              const std::function<Result<SttResult>()>& work);

    std::atomic<bool> initialized_{false};
    std::atomic<bool> streaming_{false};
    std::string lastMessage_;
    SttEngineConfig config_;
    std::mutex callbacksMutex_;
    SttResultCallback resultCallback_;
    SttErrorCallback errorCallback_;
    SttPartialResultCallback partialResultCallback_;
};

}  // namespace obs_sayline
