#pragma once

#include <cstddef>

#include "live/speech_chunk.h"

namespace obs_sayline {

// How the intake is cut: fixed 3 s blocks, or at pauses in speech. (A streaming recognition
// takes the speech as it is heard, whatever the mode says.)
enum class ChunkMode { Fixed, Pauses };

// Where cut chunks go: the recognition side of the live path. Called on the audio thread, so
// neither call may block on recognition or allocate in the common case.
class IChunkConsumer {
public:
    virtual ~IChunkConsumer() = default;
    // Nothing is queued or being recognised.
    virtual bool idle() const = 0;
    // Takes the chunk when there is room; on success `chunk.samples` comes back empty with
    // spare capacity for the next chunk. False leaves the chunk as it was.
    virtual bool offer(SpeechChunk& chunk) = 0;
    // For consumers that take speech while it is heard, in short pieces: the speaker paused
    // after the audio offered so far, so what was said can be settled now. Consumers of whole
    // chunks have nothing to do.
    virtual void speechPaused() {}
};

// Where a chunk comes from: cuts the 16 kHz mono intake into chunks for the consumer.
class IChunker {
public:
    virtual ~IChunker() = default;
    // Audio thread: never waits on recognition and does not allocate in the common case.
    virtual void feed(const float* samples, size_t count) = 0;
    // After the audio has been disconnected: whatever is still held, cut as a last chunk
    // (empty samples when there is none).
    virtual SpeechChunk takeLeftover() = 0;
    // Samples held and not yet handed on (for tests and the benchmark).
    virtual size_t buffered() const = 0;
};

}  // namespace obs_sayline
