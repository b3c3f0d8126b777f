#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace obs_sayline::test {

// One rendered output frame, BGRA, rows packed (width * 4 bytes each).
struct Frame {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> bgra;

    const uint8_t* pixel(uint32_t x, uint32_t y) const { return &bgra[(y * width + x) * 4]; }
    // 0xAARRGGBB of one pixel, handy in failure messages.
    uint32_t argb(uint32_t x, uint32_t y) const;
};

// Reads frames the host renders (the output of channel 0 and up) through a raw video
// callback. Frames take a few ticks to come through the GPU read-back, so callers wait for a
// frame that shows what they expect rather than taking the next one.
class FrameGrabber {
public:
    // The first frame for which predicate holds, or nullopt after timeout. When lastSeen is
    // given it receives the last frame looked at (for failure messages).
    static std::optional<Frame> waitFor(const std::function<bool(const Frame&)>& predicate,
                                        std::chrono::milliseconds timeout,
                                        Frame* lastSeen = nullptr);
    // The frame after `skip` further frames have gone by.
    static std::optional<Frame> next(std::chrono::milliseconds timeout, int skip = 2);
};

}  // namespace obs_sayline::test
