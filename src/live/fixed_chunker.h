#pragma once

#include <cstdint>
#include <vector>

#include "live/chunker.h"

namespace obs_sayline {

// Blocks of 3 s: a chunk is handed on once 3 s are buffered and the consumer is idle. While it
// is busy the buffer keeps growing, and past 6 s it is cut back to its newest 3 s (older audio
// is dropped, so a slow service never makes subtitles fall further behind).
constexpr uint64_t kFixedChunkMs = 3000;
constexpr size_t kFixedChunkSamples = intakeSamples(kFixedChunkMs);
constexpr size_t kFixedOverflowSamples = 2 * kFixedChunkSamples;

class FixedChunker final : public IChunker {
public:
    explicit FixedChunker(IChunkConsumer& consumer);

    void feed(const float* samples, size_t count) override;
    SpeechChunk takeLeftover() override;
    size_t buffered() const override { return chunk_.samples.size(); }
    // What is held and not yet handed on.
    const SpeechChunk& pending() const { return chunk_; }

private:
    IChunkConsumer& consumer_;
    SpeechChunk chunk_;
    uint64_t clockSamples_ = 0;   // intake samples seen since start
};

}  // namespace obs_sayline
