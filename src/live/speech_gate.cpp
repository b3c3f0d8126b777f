#include "live/speech_gate.h"

#include <atomic>
#include <cmath>

#include "core/logger.h"

namespace obs_sayline {

float chunkRms(const float* samples, size_t count) {
    if (count == 0) return 0.0f;
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double s = samples[i];
        sum += s * s;
    }
    return static_cast<float>(std::sqrt(sum / static_cast<double>(count)));
}

int noteSilentChunk(float rms) {
    static std::atomic<int> silentChunks{0};
    const int count = silentChunks.fetch_add(1) + 1;
    if (count % kSilenceLogInterval == 1) {
        logInfoTag("VAD", "Silence (RMS=%.6f < %.6f), skipped %d buffers", rms,
                   kSilenceRmsThreshold, count);
    }
    return count;
}

}  // namespace obs_sayline
