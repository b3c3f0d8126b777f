#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/audio_chunk.h"

namespace obs_sayline {

constexpr size_t kWavHeaderBytes = 44;

// Milliseconds of audio in the chunk: whole frames (samples / channels) over the sample rate;
// 0 when the rate or the channel count is below 1.
double audioDurationMs(const AudioChunk& chunk) noexcept;

// Clamps to [-1, 1] (NaN counts as 1) and scales by 32767, truncating toward zero.
inline int16_t sampleToPcm16(float sample) noexcept {
    float v = sample < 1.0f ? sample : 1.0f;
    v = v > -1.0f ? v : -1.0f;
    return static_cast<int16_t>(v * 32767.0f);
}

// Size of the WAV file for `sampleCount` samples: 44 + 2N bytes.
constexpr uint64_t wavSizeForSamples(uint64_t sampleCount) noexcept {
    return kWavHeaderBytes + 2 * sampleCount;
}

// RIFF/WAVE, 16-bit PCM, little-endian, samples in chunk order after a 44-byte header. One
// allocation of exactly 44 + 2N bytes.
std::vector<uint8_t> encodeWav(const AudioChunk& chunk);
// The same bytes in a string, for request bodies.
std::string encodeWavString(const AudioChunk& chunk);

// The converted samples as little-endian 16-bit PCM without a header (2N bytes).
std::vector<uint8_t> encodePcm16(const AudioChunk& chunk);

}  // namespace obs_sayline
