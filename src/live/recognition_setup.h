#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "live/word_rules.h"

namespace obs_sayline {

class ISttEngine;
class ITranslationProvider;

// What one capture's recognition works with: the engine, the provider and the settings that
// shape the subtitle. One immutable snapshot per capture, so a worker never reads settings
// while an update rewrites them, and keeps its engine and provider alive after the source has
// dropped them.
struct RecognitionSetup {
    std::shared_ptr<ISttEngine> engine;
    std::shared_ptr<ITranslationProvider> translator;
    bool enableTranslation = true;
    bool showOriginal = false;
    std::string sourceLanguage;
    std::string targetLanguage;
    int displayMs = 3000;
    // The streamer's replacements and hidden words, for every line shown (interim ones too),
    // and the vocabulary the translators are asked to keep as written.
    WordRules wordRules;
    std::vector<std::string> vocabulary;
    // The system clock when the capture's audio clock was at zero (its first audio arrives at
    // once): a subtitle's place on the audio clock, on the system clock.
    std::chrono::system_clock::time_point audioStart{};
    // The capture's number in the source's status (SourceStatus::newCapture), which its
    // workers report under; 0: whichever capture is current.
    uint64_t capture = 0;
};

}  // namespace obs_sayline
