#pragma once

#include <array>
#include <cstdint>

#include "live/chunker.h"
#include "live/pause_chunker.h"
#include "live/speech_detector.h"

namespace obs_sayline {

// Feeds a streaming recognition with speech as it is heard: pieces of 100 ms from 300 ms before
// the first sound that stands out until 200 ms after the last, and `speechPaused` once the
// quiet has lasted `pauseMs`. The quiet in between goes nowhere (the last 300 ms of it are
// kept, to lead in the next sound), so silence is never sent.
//
// The detector is the pause cutter's. Each piece goes to the consumer as soon as it is full;
// a piece the consumer refuses is dropped (a streaming consumer holds what it cannot send yet
// itself). Audio thread: fixed buffers, nothing allocates after construction.
class SpeechStreamer final : public IChunker {
public:
    static constexpr size_t kPieceSamples = intakeSamples(100);

    SpeechStreamer(IChunkConsumer& consumer, int pauseMs);

    void feed(const float* samples, size_t count) override;
    // What is being said and not yet sent (cut Stop); empty in a pause.
    SpeechChunk takeLeftover() override;
    size_t buffered() const override { return piece_.samples.size() + leadFrames_ * kFrame; }

private:
    static constexpr size_t kFrame = kDetectorFrameSamples;
    static constexpr size_t kLeadFrames = kSpeechPreRollMs / 10;

    void analyseFrame(const float* frame);
    void append(const float* frame);
    void sendPiece(ChunkCut cut);
    void keepLead(const float* frame);
    void sendLead();

    IChunkConsumer& consumer_;
    size_t pauseFrames_;
    size_t tailFrames_;

    SpeechDetector detector_;
    FrameGatherer gatherer_;
    uint64_t frames_ = 0;  // whole frames analysed: the audio clock in frames

    // The last moments of quiet before the next sound, oldest first from leadStart_.
    std::array<float, (kLeadFrames + 1) * kFrame> lead_{};
    size_t leadStart_ = 0;
    size_t leadFrames_ = 0;

    SpeechChunk piece_;
    bool sending_ = false;    // pieces go out: from the lead-in to the tail
    bool utterance_ = false;  // from the first sound until the pause
    size_t quietFrames_ = 0;  // since the last frame that stood out
};

}  // namespace obs_sayline
