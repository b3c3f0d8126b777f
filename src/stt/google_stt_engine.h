#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "stt/stt_engine_base.h"

namespace obs_sayline {

// A 2xx recognition reply read as recognize() reads it: `languageTag` is the tag that was sent,
// `wordTimeOffsets` whether word times were asked for; the latency only feeds the log line.
Result<SttResult> parseGoogleSttReply(const std::string& body, const std::string& languageTag,
                                      bool wordTimeOffsets, int64_t latencyMs = 0);
// The message recognize() reports for a non-2xx reply.
std::string googleSttErrorMessage(int32_t status, const std::string& body);

// Google Cloud Speech-to-Text v1 synchronous recognition: raw 16-bit PCM, base64 in a JSON body,
// the API key in the query string; the best alternative of every result is joined.
class GoogleSttEngine : public SttEngineBase {
public:
    static constexpr double kMaxDurationMs = 60000.0;
    static constexpr uint64_t kMaxPcmBytes = 10ull * 1024 * 1024;

    GoogleSttEngine();
    ~GoogleSttEngine() override;

    VoidResult initialize(const SttEngineConfig& config) override;
    void shutdown() override;
    Result<SttResult> recognize(const AudioChunk& chunk) override;

    SttEngineType getType() const override { return SttEngineType::GoogleStt; }
    std::string getName() const override { return "Google Speech-to-Text"; }
    std::vector<std::string> getSupportedLanguages() const override;
    // Empty, "auto", a listed tag, or a short code that maps to one ("en" -> "en-US").
    bool isLanguageSupported(const std::string& code) const override;

    VoidResult updateConfig(const SttEngineConfig& config) override;
    // The common statistics with "engine" and "model" in front.
    std::string getStatistics() const override;

    // Optional key; without one, GOOGLE_STT_API_KEY then GOOGLE_API_KEY are read at each request.
    void setApiKey(const std::string& key);
    // A key is set, or the environment has one.
    bool hasApiKey() const;

    // The tag sent to the service: empty/"auto" -> "ko-KR", tags with "-" unchanged, short codes
    // through the map, anything else unchanged.
    static std::string mapLanguage(const std::string& code);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace obs_sayline
