#pragma once

#include <cstdint>
#include <string>

#include "live/service_setup.h"

namespace obs_sayline {

// What came of sending one second of silence to the chosen speech service.
struct ConnectionCheck {
    bool ok = false;
    int64_t roundTripMs = 0;  // the whole request, retries included
    std::string error;        // when not ok
};

// Prepares the speech engine as a capture would (same server, model and key rules) and sends
// it one second of silence. Blocks for the whole request: run it on a worker.
ConnectionCheck checkSpeechService(const ServiceChoice& choice);

}  // namespace obs_sayline
