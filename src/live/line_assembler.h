#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "stt/deepgram_live_protocol.h"

namespace obs_sayline {

// A line of a streaming recognition, settled: its words, how sure the service was of them
// (the mean over its parts), and where it sits on the audio clock.
struct LiveLine {
    std::string text;
    float confidence = 0.0f;
    uint64_t startMs = 0;
    uint64_t endMs = 0;
};

// Puts the results of a streaming recognition together into lines. Results that may still
// change (interim) and settled ones (final) make up the line being spoken; the line is done
// when the service says the speaker finished (speech_final) or answers a Finalize.
class LineAssembler {
public:
    // `separator` goes between the settled parts of a line (nothing for languages written
    // without spaces).
    explicit LineAssembler(std::string separator = " ") : separator_(std::move(separator)) {}

    struct Step {
        std::optional<std::string> showing;  // the line being spoken, to show at once
        std::optional<LiveLine> done;        // a line that is finished
    };

    // One "Results" message, placed on the audio clock.
    Step add(const LiveResult& result, uint64_t startMs, uint64_t endMs);

    // What is settled so far, as a finished line (the Finalize went unanswered, the connection
    // dropped, or the stream ended); what may still change is dropped.
    std::optional<LiveLine> settle();

    // Words heard and not yet in a finished line.
    bool holdsWords() const { return !settled_.empty() || !interim_.empty(); }

private:
    struct Part {
        std::string text;
        float confidence = 0.0f;
        uint64_t startMs = 0;
        uint64_t endMs = 0;
    };

    std::string joined(const std::string& tail) const;

    std::string separator_;
    std::vector<Part> settled_;
    std::string interim_;
};

}  // namespace obs_sayline
