#pragma once

#include <cstdint>
#include <vector>

namespace obs_sayline {

// One block of audio. Samples are interleaved when there is more than one channel.
struct AudioChunk {
    std::vector<float> samples;
    int32_t sampleRate = 0;  // samples per second per channel
    int32_t channels = 0;
    uint64_t timestamp = 0;  // ms since capture start in the host source; 0 in the pipeline
};

}  // namespace obs_sayline
