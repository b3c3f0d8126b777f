#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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
// of intake audio since capture start, counting audio that was dropped).
struct SpeechChunk {
    std::vector<float> samples;  // 16 kHz mono
    uint64_t startMs = 0;
    ChunkCut cut = ChunkCut::Full;
    // Still to be checked for loudness: chunks cut by time alone may hold only silence.
    bool loudnessGate = true;

    uint64_t endMs() const { return startMs + intakeMs(samples.size()); }
};

}  // namespace obs_sayline
