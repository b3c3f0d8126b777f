#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/audio_chunk.h"
#include "core/result.h"
#include "stt/stt_types.h"

namespace obs_sayline {

using SttResultCallback = std::function<void(const SttResult&)>;
using SttErrorCallback = std::function<void(const Error&)>;
using SttPartialResultCallback = std::function<void(const SttResult&)>;

// A speech-to-text engine: one block of audio in, recognised text out. Expected failures come
// back as Result errors; nothing is thrown.
class ISttEngine {
public:
    virtual ~ISttEngine() = default;

    virtual VoidResult initialize(const SttEngineConfig& config) = 0;
    virtual void shutdown() = 0;
    virtual bool isInitialized() const = 0;

    virtual Result<SttResult> recognize(const AudioChunk& chunk) = 0;

    virtual bool supportsStreaming() const = 0;
    virtual VoidResult startStreaming() = 0;
    virtual VoidResult stopStreaming() = 0;
    virtual Result<SttResult> processStreamingAudio(const AudioChunk& chunk) = 0;
    virtual Result<SttResult> finishStreaming() = 0;
    virtual bool isStreaming() const = 0;

    virtual void setResultCallback(SttResultCallback callback) = 0;
    virtual void setErrorCallback(SttErrorCallback callback) = 0;
    virtual void setPartialResultCallback(SttPartialResultCallback callback) = 0;

    virtual SttEngineType getType() const = 0;
    virtual std::string getName() const = 0;
    virtual std::vector<std::string> getSupportedLanguages() const = 0;
    virtual bool isLanguageSupported(const std::string& code) const = 0;

    virtual SttEngineConfig getConfig() const = 0;
    virtual VoidResult updateConfig(const SttEngineConfig& config) = 0;
    virtual std::string getLastMessage() const = 0;
    virtual std::string getStatistics() const = 0;
};

}  // namespace obs_sayline
