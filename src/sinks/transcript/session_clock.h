#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace obs_sayline {

// The clock of one transcript: zero at its start, stopped while paused, so a time read from it
// is where the recording (or the time on air) stands. A value: whoever follows a recording
// late is handed a copy with its pauses so far.
class SessionClock {
public:
    using Clock = std::chrono::steady_clock;

    SessionClock() = default;
    explicit SessionClock(Clock::time_point start) : origin_(start) {}

    // Nothing when paused already.
    void pause(Clock::time_point at) {
        if (!pausedSince_) pausedSince_ = at;
    }
    // The paused span is left out from here on; nothing when not paused.
    void resume(Clock::time_point at) {
        if (!pausedSince_) return;
        if (at > *pausedSince_) origin_ += at - *pausedSince_;
        pausedSince_.reset();
    }
    bool paused() const { return pausedSince_.has_value(); }

    // Milliseconds on this clock at `at` (0 before its start).
    int64_t elapsedMs(Clock::time_point at) const {
        if (pausedSince_ && at > *pausedSince_) at = *pausedSince_;
        if (at <= origin_) return 0;
        return std::chrono::duration_cast<std::chrono::milliseconds>(at - origin_).count();
    }

private:
    Clock::time_point origin_{};  // the start, moved on by every pause
    std::optional<Clock::time_point> pausedSince_;
};

}  // namespace obs_sayline
