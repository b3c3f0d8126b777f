#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/audio_chunk.h"

namespace obs_sayline {

// The live path's intake: the host converts its audio to 16 kHz mono float for us.
constexpr int kIntakeSampleRate = 16000;
constexpr int kIntakeChannels = 1;

// Samples of intake audio in `ms` milliseconds, and back (whole milliseconds, rounded down).
constexpr size_t intakeSamples(uint64_t ms) {
    return static_cast<size_t>(ms * kIntakeSampleRate / 1000);
}
constexpr uint64_t intakeMs(size_t samples) {
    return static_cast<uint64_t>(samples) * 1000 / kIntakeSampleRate;
}

// Why a chunk was cut where it was.
enum class ChunkCut {
    Full,     // a fixed block filled up
    Pause,    // the speaker paused
    Longest,  // the longest chunk allowed was reached
    Stop,     // capture stopped with audio left
};

const char* chunkCutName(ChunkCut cut) noexcept;

// A piece of intake audio cut for recognition, with its place on the audio clock (milliseconds
// of intake audio since capture start, counting audio that was dropped). It is the audio block
// the speech engines take, 16 kHz mono, so it goes to them as it is.
struct SpeechChunk : AudioChunk {
    SpeechChunk() {
        sampleRate = kIntakeSampleRate;
        channels = kIntakeChannels;
    }
    uint64_t startMs = 0;
    // How much of it comes before its first sound (the quiet kept so that the first syllable
    // is whole): where its speech began is startMs + leadMs. 0 when not known.
    uint64_t leadMs = 0;
    ChunkCut cut = ChunkCut::Full;
    // Still to be checked for loudness: chunks cut by time alone may hold only silence.
    bool loudnessGate = true;

    uint64_t endMs() const { return startMs + intakeMs(samples.size()); }
};

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
