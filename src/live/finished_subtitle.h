#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace obs_sayline {

// One subtitle as the live path finishes it, for every sink: what to show, what it was made
// from, and where it sits on the audio clock (milliseconds of intake audio since capture
// start).
struct FinishedSubtitle {
    std::string text;         // the display text: translation, original above it, or original
    std::string original;     // what was recognised
    std::string translation;  // empty when not translated
    std::string sourceLanguage;  // as recognised (the engine's report, else the setting)
    std::string targetLanguage;  // empty when not translated
    uint64_t startMs = 0;
    uint64_t endMs = 0;
    // When its speech began on the system clock; zero: not known.
    std::chrono::system_clock::time_point spokenAt{};
    int displayMs = 0;  // how long it stays up
    // A line still being spoken (streaming recognition): shown at once and replaced by the next
    // one, until the finished line comes. Sinks that keep what was said (captions, transcripts)
    // wait for the finished line. An empty interim line takes down the one being shown.
    bool interim = false;
};

}  // namespace obs_sayline
