#pragma once

#include <string>

#include "core/result.h"

namespace obs_sayline {

// Deepgram's live transcription over a WebSocket: what we send besides audio, and how we read
// what comes back. The audio itself goes as binary messages of 16-bit little-endian PCM.
namespace deepgram_live {
constexpr const char* kPath = "/v1/listen";
constexpr const char* kModel = "nova-3";
constexpr int kSampleRate = 16000;
constexpr const char* kKeepAlive = R"({"type":"KeepAlive"})";
constexpr const char* kFinalize = R"({"type":"Finalize"})";
constexpr const char* kCloseStream = R"({"type":"CloseStream"})";
}  // namespace deepgram_live

// The WebSocket URL for a service base ("https://host[:port]" becomes "wss://", a loopback
// "http://" becomes "ws://"), the language ("auto" or empty: "multi") and the pause that ends
// an utterance, followed by `vocabularyQuery` (what deepgramVocabularyQuery made for kModel).
std::string deepgramLiveUrl(const std::string& base, const std::string& language, int pauseMs,
                            const std::string& vocabularyQuery = std::string());

enum class LiveMessageKind { Results, Metadata, SpeechStarted, UtteranceEnd, Error, Other };

// One "Results" message: the first alternative of its channel and where it sits on the
// stream's audio (seconds since the connection's first audio).
struct LiveResult {
    std::string transcript;
    float confidence = 0.0f;  // 0..1
    bool isFinal = false;      // these words will not change
    bool speechFinal = false;  // the service heard the utterance end
    bool fromFinalize = false;  // the answer to a Finalize
    double startSeconds = 0.0;
    double durationSeconds = 0.0;
};

struct LiveMessage {
    LiveMessageKind kind = LiveMessageKind::Other;
    std::string type;     // as the service named it
    LiveResult result;    // Results only
    std::string details;  // Error: the service's description
};

// Reads one text message of the live stream. Fails with SttRecognitionError when it is not a
// JSON object with a string "type", or when a "Results" message lacks a string transcript in
// channel.alternatives[0] or holds members of the wrong kind. Never throws.
Result<LiveMessage> parseDeepgramLiveMessage(const std::string& text);

}  // namespace obs_sayline
