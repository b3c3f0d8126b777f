#pragma once

#include <string>
#include <vector>

namespace obs_sayline {

// Results below this confidence are too unsure to show.
constexpr float kMinRecognitionConfidence = 0.15f;

// Phrases that recognisers invent on noise and music (sign-offs, channel plugs, caption
// credits), in the order they are checked. Built once, read without a lock afterwards.
const std::vector<std::string>& phantomPhrases();

// True when a recognition result is not worth showing: empty, unsure, or containing one of the
// phantom phrases (byte-wise, case-sensitive).
bool isPhantomResult(const std::string& text, float confidence);

}  // namespace obs_sayline
