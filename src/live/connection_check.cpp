#include "live/connection_check.h"

#include <chrono>

#include "core/audio_chunk.h"
#include "core/logger.h"
#include "stt/stt_engine.h"

namespace obs_sayline {

namespace {

constexpr int32_t kSampleRate = 16000;

ConnectionCheck failed(std::string error) {
    ConnectionCheck check;
    check.error = std::move(error);
    logWarningTag("STT", "Connection test failed: %s", check.error.c_str());
    return check;
}

}  // namespace

ConnectionCheck checkSpeechService(const ServiceChoice& choice) {
    PreparedEngine prepared = prepareSttEngine(choice);
    // Testing the default server in its place would answer a question nobody asked.
    if (!prepared.serverRefusal.empty()) {
        return failed("Server URL refused: " + prepared.serverRefusal);
    }
    if (!prepared.engine) {
        return failed(prepared.failed ? "the speech engine could not be initialised (see the log)"
                                      : "no speech engine to test");
    }

    AudioChunk silence;
    silence.sampleRate = kSampleRate;
    silence.channels = 1;
    silence.samples.assign(kSampleRate, 0.0f);
    const auto started = std::chrono::steady_clock::now();
    auto result = prepared.engine->recognize(silence);
    const auto roundTrip = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    if (!result) return failed(result.error().message);

    ConnectionCheck check;
    check.ok = true;
    check.roundTripMs = roundTrip.count();
    logInfoTag("STT", "Connection test OK: %lld ms", static_cast<long long>(check.roundTripMs));
    return check;
}

}  // namespace obs_sayline
