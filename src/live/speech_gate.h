#pragma once

#include <cstddef>
#include <vector>

namespace obs_sayline {

// Chunks quieter than this (root mean square of the samples) are not sent for recognition.
constexpr float kSilenceRmsThreshold = 0.003f;
// Only every 10th silent chunk is logged (the 1st, 11th, 21st, ...).
constexpr int kSilenceLogInterval = 10;

// Root mean square, accumulated in double precision.
float chunkRms(const float* samples, size_t count);
inline float chunkRms(const std::vector<float>& samples) {
    return chunkRms(samples.data(), samples.size());
}

inline bool isSilent(float rms) { return rms < kSilenceRmsThreshold; }

// Counts a skipped silent chunk (process-wide, never reset) and logs it at the set cadence.
// Returns the count so far.
int noteSilentChunk(float rms);

}  // namespace obs_sayline
