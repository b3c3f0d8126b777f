#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace obs_sayline {

// Where a capture's audio clock (intake samples since capture start) stands on the system
// clock. The audio thread notes, with each block it feeds, when the block's first sample was
// heard (the host's timestamp of that audio, on the system clock); the clock keeps one anchor
// per stretch of audio that follows on without a gap, so a pause (nothing fed while paused,
// the audio clock stands still) or a jump in the host's timestamps starts a new stretch and
// speech after it is still placed right. Any thread may ask; nothing waits: the anchors are
// published under a sequence count that readers retry on.
class AudioClock {
public:
    using SystemTime = std::chrono::system_clock::time_point;

    // Stretches kept: speech further back than this many gaps is placed from the oldest.
    static constexpr size_t kStretches = 32;
    // A block this far from where the stretch before it would put it begins a new stretch.
    static constexpr std::chrono::milliseconds kGap{30};

    // A new capture: forgets every anchor. Only while no audio is fed.
    void reset();

    // Audio thread: the block starting at intake sample `sample` was heard at `at`.
    void note(uint64_t sample, SystemTime at);

    // When the audio at `ms` on the audio clock was heard; none before the first note.
    std::optional<SystemTime> systemTimeOf(uint64_t ms) const;

private:
    struct Anchor {
        std::atomic<uint64_t> sample{0};
        std::atomic<int64_t> ns{0};  // since the system clock's epoch
    };

    std::array<Anchor, kStretches> anchors_;
    std::atomic<uint64_t> count_{0};    // anchors ever written since reset
    std::atomic<uint64_t> version_{0};  // odd while the writer changes the anchors
};

}  // namespace obs_sayline
