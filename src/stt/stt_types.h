#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace obs_sayline {

// Values are stored in settings ("stt_engine") and must not change.
enum class SttEngineType : int32_t {
    None = 0,
    WhisperApi = 1,
    WhisperLocal = 2,
    GoogleStt = 3,
    Deepgram = 4,
    // Deepgram's live recognition: a stream, not an engine of the factory.
    DeepgramLive = 5,
};

// "none", "whisper_api", "whisper_local", "google_stt", "deepgram", "deepgram_live"; "unknown"
// otherwise.
const char* sttEngineTypeName(SttEngineType type) noexcept;

struct SttEngineConfig {
    SttEngineConfig() = default;
    SttEngineConfig(SttEngineType type, std::string language, bool wordTimestamps = false)
        : engineType(type), language(std::move(language)), wordTimestamps(wordTimestamps) {}

    SttEngineType engineType = SttEngineType::WhisperApi;
    std::string language;  // empty or "auto": automatic detection
    bool wordTimestamps = false;
    // The streamer's own words (names, places, jargon) to listen for, as parseVocabulary
    // cleaned them; each engine sends what its service takes of them.
    std::vector<std::string> vocabulary;
    // Ask the service to mask profanity itself, where it has such a filter.
    bool profanityFilter = false;
};

struct WordTiming {
    std::string word;
    int64_t startMs = 0;
    int64_t endMs = 0;
    float confidence = 0.0f;
};

struct SttResult {
    std::string text;  // empty: no speech recognised
    std::string language;
    float confidence = 0.0f;
    int64_t startTimeMs = 0;
    int64_t durationMs = 0;
    bool isFinal = true;
    std::vector<WordTiming> words;
};

// Registration record of the factory; only `name` is read back (for logs).
struct SttEngineInfo {
    SttEngineType type = SttEngineType::None;
    std::string name;
    std::string description;
    bool requiresApiKey = false;
    bool supportsStreaming = false;
    bool runsLocally = false;
};

}  // namespace obs_sayline
