#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stt/stt_engine_base.h"

namespace obs_sayline {

// A 2xx transcription reply read as recognize() reads it; the latency only feeds the log lines.
Result<SttResult> parseDeepgramReply(const std::string& body, int64_t latencyMs = 0);
// The message recognize() reports for a non-2xx reply.
std::string deepgramErrorMessage(int32_t status, const std::string& body);

// Deepgram pre-recorded transcription: a WAV body, model and features in the query string; the
// first alternative of the first channel is the result.
class DeepgramEngine : public SttEngineBase {
public:
    static constexpr uint64_t kMaxWavBytes = 50ull * 1024 * 1024;

    DeepgramEngine();
    ~DeepgramEngine() override;

    VoidResult initialize(const SttEngineConfig& config) override;
    void shutdown() override;
    Result<SttResult> recognize(const AudioChunk& chunk) override;

    SttEngineType getType() const override { return SttEngineType::Deepgram; }
    std::string getName() const override { return "Deepgram"; }
    std::vector<std::string> getSupportedLanguages() const override;
    bool isLanguageSupported(const std::string& code) const override;

    VoidResult updateConfig(const SttEngineConfig& config) override;
    std::string getStatistics() const override;

    // Settings key; without one, DEEPGRAM_API_KEY is read at each request.
    void setApiKey(const std::string& key);
    // A key is set, or the environment has one.
    bool hasApiKey() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
