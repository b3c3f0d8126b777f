#include "live/line_assembler.h"

#include <utility>

namespace obs_sayline {

LineAssembler::Step LineAssembler::add(const LiveResult& result, uint64_t startMs,
                                         uint64_t endMs) {
    Step step;
    if (!result.isFinal) {
        interim_ = result.transcript;
        std::string line = joined(interim_);
        if (!line.empty()) step.showing = std::move(line);
        return step;
    }
    interim_.clear();
    if (!result.transcript.empty()) {
        settled_.push_back({result.transcript, result.confidence, startMs, endMs});
    }
    if (result.speechFinal || result.fromFinalize) {
        step.done = settle();
        if (step.done) step.showing = step.done->text;
    } else if (!settled_.empty()) {
        step.showing = joined("");
    }
    return step;
}

std::optional<LiveLine> LineAssembler::settle() {
    interim_.clear();
    if (settled_.empty()) return std::nullopt;
    LiveLine line;
    line.text = joined("");
    float sum = 0.0f;
    for (const Part& part : settled_) sum += part.confidence;
    line.confidence = sum / static_cast<float>(settled_.size());
    line.startMs = settled_.front().startMs;
    line.endMs = settled_.back().endMs;
    settled_.clear();
    return line;
}

std::string LineAssembler::joined(const std::string& tail) const {
    std::string line;
    for (const Part& part : settled_) {
        if (!line.empty()) line += separator_;
        line += part.text;
    }
    if (!tail.empty()) {
        if (!line.empty()) line += separator_;
        line += tail;
    }
    return line;
}

}  // namespace obs_sayline
