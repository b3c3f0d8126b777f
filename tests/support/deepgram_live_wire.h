#pragma once

// Messages as Deepgram's live recognition sends them, for loopback servers in tests.

#include <cstdio>
#include <string>

namespace obs_sayline::test {

struct LiveReply {
    std::string transcript;
    bool isFinal = false;
    bool speechFinal = false;
    bool fromFinalize = false;
    double start = 0.0;
    double duration = 0.0;
    double confidence = 0.95;
};

inline std::string deepgramResults(const LiveReply& r) {
    char timing[160];
    std::snprintf(timing, sizeof(timing),
                  R"("start":%.3f,"duration":%.3f,"is_final":%s,"speech_final":%s,)", r.start,
                  r.duration, r.isFinal ? "true" : "false", r.speechFinal ? "true" : "false");
    char confidence[32];
    std::snprintf(confidence, sizeof(confidence), "%.3f", r.confidence);
    return std::string(R"({"type":"Results","channel_index":[0,1],)") + timing +
           (r.fromFinalize ? R"("from_finalize":true,)" : "") +
           R"("channel":{"alternatives":[{"transcript":")" + r.transcript +
           R"(","confidence":)" + confidence +
           R"(,"words":[]}]},"metadata":{"request_id":"test"}})";
}

inline std::string deepgramInterim(const std::string& text, double start = 0.0,
                                   double duration = 0.3) {
    return deepgramResults({text, false, false, false, start, duration});
}

inline std::string deepgramFinal(const std::string& text, bool speechFinal, double start = 0.0,
                                 double duration = 0.3) {
    return deepgramResults({text, true, speechFinal, false, start, duration});
}

}  // namespace obs_sayline::test
