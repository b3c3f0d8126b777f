#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "live/audio_clock.h"
#include "live/source_status.h"

namespace obs_sayline {

// What a source shares with its recognition workers. Workers hold it by shared_ptr, so one
// that outlives the source (its request stalled past destruction's wait) still writes to live
// memory; `orphaned` tells it to drop its result.
struct SourceShared {
    // Milliseconds of audio recognised or skipped since capture start; stamps each chunk.
    std::atomic<uint64_t> audioPositionMs{0};
    // Intake samples the live path has taken in since capture start (the audio thread adds
    // them): where the capture stands on the audio clock now, ahead of what is recognised.
    std::atomic<uint64_t> heardSamples{0};
    // Where that audio clock stands on the system clock (the audio thread notes it).
    AudioClock audioClock;
    // One recognition at a time per source, so results and the position advance in order.
    std::mutex recognitionMutex;
    std::atomic<bool> orphaned{false};
    // What the source is doing, as every part of it reports.
    SourceStatus status;
};

}  // namespace obs_sayline
