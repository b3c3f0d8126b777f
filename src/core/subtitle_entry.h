#pragma once

#include <cstdint>
#include <string>

namespace obs_sayline {

// One recognised utterance, as shown by renderers and written by exporters.
struct SubtitleEntry {
    std::string id;
    std::string originalText;
    std::string translatedText;
    std::string sourceLanguage;
    std::string targetLanguage;
    int64_t startTimeMs = 0;
    int64_t endTimeMs = 0;
    float confidence = 0.0f;
    bool isFinal = false;
};

}  // namespace obs_sayline
