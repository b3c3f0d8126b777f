#pragma once

#include <cstdint>
#include <string>

#include "live/service_setup.h"

namespace obs_sayline {

// What came of one test request to the chosen speech or translation service.
struct ConnectionCheck {
    bool ok = false;
    int64_t roundTripMs = 0;  // the whole request, retries included
    std::string error;        // when not ok
    std::string answer;       // translation: the test sentence as the service translated it
};

// Prepares the speech engine as a capture would (same server, model and key rules) and sends
// it one second of silence. Blocks for the whole request: run it on a worker.
ConnectionCheck checkSpeechService(const ServiceChoice& choice);

// Prepares the translation provider as a capture would (same server, model and key rules, even
// while translation is switched off) and has it translate one short sentence into
// `targetLanguage`. Blocks for the whole request: run it on a worker.
ConnectionCheck checkTranslationService(const ServiceChoice& choice,
                                        const std::string& targetLanguage);

}  // namespace obs_sayline
