#include "live/fixed_chunker.h"

#include "core/logger.h"

namespace obs_sayline {
namespace {
// Room for one more host block past a full chunk, so the block that completes it does not
// reallocate on the audio thread.
constexpr size_t kBufferReserve = kFixedChunkSamples + 2048;
}  // namespace

FixedChunker::FixedChunker(IChunkConsumer& consumer) : consumer_(consumer) {
    chunk_.samples.reserve(kBufferReserve);
}

void FixedChunker::feed(const float* samples, size_t count) {
    auto& buffer = chunk_.samples;
    if (buffer.empty()) chunk_.startMs = intakeMs(clockSamples_);
    buffer.insert(buffer.end(), samples, samples + count);
    clockSamples_ += count;

    const double bufferedMs = static_cast<double>(buffer.size()) * 1000.0 / kIntakeSampleRate;
    if (bufferedMs < static_cast<double>(kFixedChunkMs)) return;

    if (!consumer_.idle()) {
        // The busy worker takes the newest 3 s when it is done; older audio is dropped.
        if (buffer.size() > kFixedOverflowSamples) {
            const size_t dropped = buffer.size() - kFixedChunkSamples;
            buffer.erase(buffer.begin(), buffer.begin() + static_cast<long>(dropped));
            chunk_.startMs = intakeMs(clockSamples_ - buffer.size());
        }
        return;
    }
    logInfoTag("Audio", "Buffer full (%.0fms), starting STT processing...", bufferedMs);
    chunk_.cut = ChunkCut::Full;
    chunk_.loudnessGate = true;
    if (consumer_.offer(chunk_)) {
        chunk_.samples.clear();
        if (chunk_.samples.capacity() < kBufferReserve) chunk_.samples.reserve(kBufferReserve);
    }
}

SpeechChunk FixedChunker::takeLeftover() {
    SpeechChunk leftover;
    leftover.startMs = chunk_.startMs;
    leftover.cut = ChunkCut::Stop;
    leftover.loudnessGate = true;
    leftover.samples.swap(chunk_.samples);
    return leftover;
}

}  // namespace obs_sayline
