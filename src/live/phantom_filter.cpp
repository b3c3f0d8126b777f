#include "live/phantom_filter.h"

namespace obs_sayline {

bool isPhantomResult(const std::string& text, float confidence) {
    if (text.empty()) return true;
    if (confidence < kMinRecognitionConfidence) return true;
    for (const std::string_view phrase : kPhantomPhrases) {
        if (text.size() >= phrase.size() && text.find(phrase) != std::string::npos) return true;
    }
    return false;
}

}  // namespace obs_sayline
