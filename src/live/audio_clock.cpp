#include "live/audio_clock.h"

#include "live/chunker.h"

namespace obs_sayline {
namespace {

constexpr int64_t kNsPerSecond = 1000000000;

int64_t nsOfSamples(uint64_t samples) {
    return static_cast<int64_t>(samples * static_cast<uint64_t>(kNsPerSecond) /
                                static_cast<uint64_t>(kIntakeSampleRate));
}

}  // namespace

void AudioClock::reset() {
    version_.fetch_add(1, std::memory_order_acq_rel);
    count_.store(0, std::memory_order_relaxed);
    version_.fetch_add(1, std::memory_order_release);
}

void AudioClock::note(uint64_t sample, SystemTime at) {
    const int64_t ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
    // Only this thread writes: its own last anchor needs no retry.
    const uint64_t count = count_.load(std::memory_order_relaxed);
    if (count > 0) {
        const Anchor& last = anchors_[(count - 1) % kStretches];
        const uint64_t lastSample = last.sample.load(std::memory_order_relaxed);
        if (sample >= lastSample) {
            const int64_t expected =
                last.ns.load(std::memory_order_relaxed) + nsOfSamples(sample - lastSample);
            const int64_t off = ns - expected;
            const int64_t gap = std::chrono::nanoseconds(kGap).count();
            if (off < gap && off > -gap) return;  // the same stretch
        }
    }
    version_.fetch_add(1, std::memory_order_acq_rel);
    Anchor& next = anchors_[count % kStretches];
    next.sample.store(sample, std::memory_order_relaxed);
    next.ns.store(ns, std::memory_order_relaxed);
    count_.store(count + 1, std::memory_order_relaxed);
    version_.fetch_add(1, std::memory_order_release);
}

std::optional<AudioClock::SystemTime> AudioClock::systemTimeOf(uint64_t ms) const {
    const uint64_t sample = intakeSamples(ms);
    for (;;) {
        const uint64_t before = version_.load(std::memory_order_acquire);
        if (before % 2 != 0) continue;  // a note is being written: a few stores, retry
        const uint64_t count = count_.load(std::memory_order_relaxed);
        if (count == 0) {
            if (version_.load(std::memory_order_acquire) == before) return std::nullopt;
            continue;
        }
        // The latest stretch that began at or before `sample`, else the oldest kept.
        const uint64_t oldest = count > kStretches ? count - kStretches : 0;
        uint64_t anchorSample = 0;
        int64_t anchorNs = 0;
        for (uint64_t i = count; i-- > oldest;) {
            const Anchor& a = anchors_[i % kStretches];
            anchorSample = a.sample.load(std::memory_order_relaxed);
            anchorNs = a.ns.load(std::memory_order_relaxed);
            if (anchorSample <= sample) break;
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if (version_.load(std::memory_order_relaxed) != before) continue;
        const int64_t ns = sample >= anchorSample ? anchorNs + nsOfSamples(sample - anchorSample)
                                                  : anchorNs - nsOfSamples(anchorSample - sample);
        return SystemTime(
            std::chrono::duration_cast<SystemTime::duration>(std::chrono::nanoseconds(ns)));
    }
}

}  // namespace obs_sayline
