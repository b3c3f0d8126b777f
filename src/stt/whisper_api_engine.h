#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stt/stt_engine_base.h"

namespace obs_sayline {

struct AcceptedBaseUrl;

// A 2xx transcription reply read as recognize() reads it; the latency only feeds the log line.
Result<SttResult> parseWhisperReply(const std::string& body, int64_t latencyMs = 0);
// The message recognize() reports for a non-2xx reply.
std::string whisperErrorMessage(int32_t status, const std::string& body);

// OpenAI audio transcription: the block goes up as a WAV file in a multipart POST and comes back
// as verbose JSON with segments (for confidence and the no-speech check) and optional words.
// Any server that speaks the same request works; a plain "json" reply (text only) is read as
// text of unknown confidence.
class WhisperApiEngine : public SttEngineBase {
public:
    static constexpr uint64_t kMaxWavBytes = 25ull * 1024 * 1024;
    static constexpr double kNoSpeechThreshold = 0.95;
    static constexpr const char* kDefaultModel = "whisper-1";

    WhisperApiEngine();
    ~WhisperApiEngine() override;

    VoidResult initialize(const SttEngineConfig& config) override;
    void shutdown() override;
    Result<SttResult> recognize(const AudioChunk& chunk) override;

    SttEngineType getType() const override { return SttEngineType::WhisperApi; }
    std::string getName() const override { return "Whisper API"; }
    std::vector<std::string> getSupportedLanguages() const override;
    bool isLanguageSupported(const std::string& code) const override;

    VoidResult updateConfig(const SttEngineConfig& config) override;
    std::string getStatistics() const override;

    // Settings key; without one, OPENAI_API_KEY is read at each request.
    void setApiKey(const std::string& key);

    // Another server in place of the default one (or its environment override), as
    // judgeServerUrl accepted it; the path follows its prefix. Its key is optional: without one
    // no Authorization header is sent. Set before the first recognize.
    void setServer(const AcceptedBaseUrl& server);
    // The "model" part; empty keeps kDefaultModel. Set before the first recognize.
    void setModel(const std::string& model);
    // A request would carry a key (set, or from OPENAI_API_KEY now).
    bool hasApiKey() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
