#include "host/harness/frame_grabber.h"

#include <obs.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace obs_sayline::test {

uint32_t Frame::argb(uint32_t x, uint32_t y) const {
    const uint8_t* p = pixel(x, y);
    return (uint32_t(p[3]) << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
}

namespace {

struct Capture {
    std::mutex mutex;
    std::condition_variable arrived;
    uint32_t width = 0;
    uint32_t height = 0;
    uint64_t count = 0;
    Frame latest;
};

void onFrame(void* param, struct video_data* frame) {
    auto* capture = static_cast<Capture*>(param);
    std::lock_guard<std::mutex> lock(capture->mutex);
    Frame& out = capture->latest;
    out.width = capture->width;
    out.height = capture->height;
    out.bgra.resize(static_cast<size_t>(out.width) * out.height * 4);
    for (uint32_t y = 0; y < out.height; ++y) {
        std::memcpy(&out.bgra[static_cast<size_t>(y) * out.width * 4],
                    frame->data[0] + static_cast<size_t>(y) * frame->linesize[0],
                    static_cast<size_t>(out.width) * 4);
    }
    ++capture->count;
    capture->arrived.notify_all();
}

}  // namespace

std::optional<Frame> FrameGrabber::waitFor(const std::function<bool(const Frame&)>& predicate,
                                           std::chrono::milliseconds timeout, Frame* lastSeen) {
    obs_video_info ovi{};
    if (!obs_get_video_info(&ovi) || ovi.output_format != VIDEO_FORMAT_BGRA) return std::nullopt;

    Capture capture;
    capture.width = ovi.output_width;
    capture.height = ovi.output_height;
    obs_add_raw_video_callback(nullptr, &onFrame, &capture);

    std::optional<Frame> found;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    {
        std::unique_lock<std::mutex> lock(capture.mutex);
        uint64_t seen = 0;
        while (!found) {
            if (!capture.arrived.wait_until(lock, deadline, [&] { return capture.count > seen; })) {
                break;
            }
            seen = capture.count;
            if (predicate(capture.latest)) found = capture.latest;
        }
        if (lastSeen) *lastSeen = capture.latest;
    }
    // Removal waits for the video thread, which may be inside onFrame wanting the lock.
    obs_remove_raw_video_callback(&onFrame, &capture);
    return found;
}

std::optional<Frame> FrameGrabber::next(std::chrono::milliseconds timeout, int skip) {
    int remaining = skip;
    return waitFor([&](const Frame&) { return remaining-- <= 0; }, timeout);
}

}  // namespace obs_sayline::test
