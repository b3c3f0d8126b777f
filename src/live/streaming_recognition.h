#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "live/recognition.h"
#include "live/recognition_setup.h"
#include "live/source_shared.h"
#include "sinks/subtitle_sinks.h"
#include "net/circuit_breaker.h"
#include "net/retry_policy.h"

namespace obs_sayline {

struct StreamState;

// How a capture streams to Deepgram's live recognition.
struct StreamingSetup {
    std::string baseUrl;  // the service base (https://, or http:// on loopback)
    std::string apiKey;   // the source's key; empty: DEEPGRAM_API_KEY, read at each connection
    std::string language;  // the source language ("auto" or empty: multilingual)
    int pauseMs = 500;     // the pause that ends an utterance
    std::string caBundlePath;  // PEM file to trust instead of the system's roots (tests)
    // Keyterms (as parseVocabulary cleaned them) and the service's own profanity filter.
    std::vector<std::string> vocabulary;
    bool profanityFilter = false;

    std::chrono::milliseconds keepAliveEvery{5000};  // in silence, instead of audio
    std::chrono::milliseconds closeWait{2000};       // at stop, for the last results
    std::chrono::milliseconds holdLimit{10000};      // audio held while the connection is down
    // A Finalize unanswered this long: what is settled of the line is taken as the line.
    std::chrono::milliseconds finalizeWait{1500};
    RetryPolicy retry = RetryPolicy::defaultPolicy();
    CircuitBreakerConfig breaker{3, 2, 30000, true};
};

// Streaming recognition: speech goes to the service while it is heard, over one WebSocket per
// capture, and what comes back is shown at once as the line being spoken; a finished line goes
// through the phantom filter and translation before it reaches every sink.
//
// Three threads meet here. The audio thread offers 100 ms pieces and pause marks into a ring
// of fixed slots under one short lock (the oldest audio is dropped past the hold limit). The
// stream worker owns the socket: it sends what the ring holds, keeps the connection alive in
// silence, reconnects with back-off when it drops, and reads the results. The line worker
// filters and translates finished lines, so the socket never waits on a translation. Both
// workers hold what they use by shared ownership and may finish after the source is gone.
class StreamingRecognition final : public IRecognition {
public:
    StreamingRecognition(std::shared_ptr<const RecognitionSetup> setup,
                         std::shared_ptr<SourceShared> shared, std::shared_ptr<SubtitleSinks> sinks,
                         StreamingSetup streaming);
    ~StreamingRecognition() override;
    StreamingRecognition(const StreamingRecognition&) = delete;
    StreamingRecognition& operator=(const StreamingRecognition&) = delete;

    bool start() override;
    bool idle() const override { return !busy(); }
    bool offer(SpeechChunk& chunk) override;
    void speechPaused() override;
    // Sends what is left and CloseStream, waits up to `closeWait` for the last results, then
    // closes the socket whatever the service does. Never waits itself.
    void finish(SpeechChunk leftover) override;
    // Speech sent or held whose words are not yet finished lines, or lines being finished.
    bool busy() const override;
    bool waitIdle(std::chrono::milliseconds timeout) const override;

private:
    std::shared_ptr<const RecognitionSetup> setup_;
    std::shared_ptr<SourceShared> shared_;
    std::shared_ptr<SubtitleSinks> sinks_;
    std::shared_ptr<const StreamingSetup> streaming_;
    std::shared_ptr<StreamState> state_;
};

}  // namespace obs_sayline
