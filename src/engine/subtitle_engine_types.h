#pragma once

#include <cstdint>
#include <string>

#include "output/subtitle_renderer.h"

namespace obs_sayline {

struct EngineConfig {
    std::string audioSourceName;  // capture source name (source type 3)
    int32_t audioSourceType = 0;
    int32_t sampleRate = 16000;  // processed rate, detector rate, speech chunk label
    int32_t channels = 1;
    bool enableVad = true;
    float vadThreshold = 0.5f;  // capture voice threshold and detector energy threshold
    int32_t sttEngine = 1;      // SttEngineType
    std::string sttLanguage;
    bool wordTimestamps = false;
    bool enableTranslation = true;
    int32_t translationProvider = 1;  // ProviderType
    std::string sourceLanguage;
    std::string targetLanguage = "en";
    int32_t rendererType = 1;
    std::string textSourceName;
    SubtitleStyle style;
    uint64_t threadCount = 3;
    int32_t translationTimeoutMs = 30000;
    int32_t captureChunkMs = 100;
    int32_t maxEntries = 100;  // history size
};

enum class EngineState : int32_t {
    Uninitialized = 0,
    Initialized = 1,
    Starting = 2,
    Running = 3,
    Paused = 4,
    Stopping = 5,
    Failed = 6,
};

const char* engineStateName(EngineState state) noexcept;

struct EngineStats {
    uint64_t audioChunksCaptured = 0;
    uint64_t speechChunksSubmitted = 0;
    uint64_t recognitionsCompleted = 0;
    uint64_t recognitionErrors = 0;
    uint64_t translationsRequested = 0;
    uint64_t translationsCompleted = 0;
    uint64_t translationErrors = 0;
    uint64_t subtitlesDisplayed = 0;
    double totalAudioMs = 0.0;
    double totalSpeechMs = 0.0;
    double averageRecognitionLatencyMs = 0.0;
    double averageTranslationLatencyMs = 0.0;
    float currentLevel = 0.0f;
    bool voiceActive = false;
    uint64_t pendingTasks = 0;
    uint64_t entryCount = 0;
    uint64_t uptimeMs = 0;
    uint64_t totalPausedMs = 0;
};

// "<ms since 1970 in hex>-<process-wide entry counter in hex>".
std::string makeEntryId(uint64_t epochMs, uint64_t counter);
// makeEntryId with the system clock and the next counter value.
std::string nextEntryId();

// First sample taken as is, then an exponential average weighting the new sample by 0.1.
double smoothLatency(double average, bool first, double latencyMs);

}  // namespace obs_sayline
