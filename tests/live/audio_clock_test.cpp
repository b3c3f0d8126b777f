// The audio clock on the system clock: stretches of audio without a gap, and the gaps a pause
// or a jump in the host's timestamps leaves.

#include "live/audio_clock.h"

#include <gtest/gtest.h>

#include "live/chunker.h"

namespace obs_sayline {
namespace {

using std::chrono::milliseconds;
using Time = AudioClock::SystemTime;

constexpr uint64_t kBlock = 320;  // 20 ms of intake audio

TEST(AudioClock, places_the_audio_clock_across_pauses_and_jitter) {
    AudioClock clock;
    EXPECT_FALSE(clock.systemTimeOf(0));
    const Time start = Time(milliseconds(1700000000000));
    // 10 s in blocks, each stamped a few ms off (the host's timestamps jitter).
    uint64_t sample = 0;
    for (int i = 0; i < 500; ++i, sample += kBlock) {
        clock.note(sample, start + milliseconds(20 * i + (i % 3) * 4));
    }
    // Paused for 7 s: the audio clock stood still while the system clock went on.
    const Time resumed = start + milliseconds(17000);
    for (int i = 0; i < 100; ++i, sample += kBlock) {
        clock.note(sample, resumed + milliseconds(20 * i));
    }

    EXPECT_EQ(*clock.systemTimeOf(0), start);
    EXPECT_EQ(*clock.systemTimeOf(4000), start + milliseconds(4000));
    EXPECT_EQ(*clock.systemTimeOf(10000), resumed);
    EXPECT_EQ(*clock.systemTimeOf(11500), resumed + milliseconds(1500));

    // Many gaps later the oldest stretches are gone: what was before them is placed from the
    // oldest one kept.
    for (size_t gap = 1; gap <= AudioClock::kStretches; ++gap, sample += kBlock) {
        clock.note(sample, resumed + milliseconds(100000 * static_cast<int64_t>(gap)));
    }
    EXPECT_TRUE(clock.systemTimeOf(0));

    clock.reset();
    EXPECT_FALSE(clock.systemTimeOf(0));
}

}  // namespace
}  // namespace obs_sayline
