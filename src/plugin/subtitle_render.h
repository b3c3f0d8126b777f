#pragma once

#include <obs.h>

#include <chrono>
#include <cstdint>

namespace obs_sayline {

struct SubtitleSourceData;

// Where the text texture goes inside the source's box: centred, and shrunk (keeping its aspect)
// when it is larger than the box in either direction.
struct TextPlacement {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 1.0f;
    bool scaled = false;
};
TextPlacement placeText(uint32_t boxWidth, uint32_t boxHeight, uint32_t textWidth,
                        uint32_t textHeight);

// True once a subtitle shown at `shownAt` has been up for `durationMs` whole milliseconds.
bool subtitleExpired(std::chrono::steady_clock::time_point shownAt,
                     std::chrono::steady_clock::time_point now, int durationMs);

// Host video_render callback (graphics thread).
void subtitle_source_render(void* data, gs_effect_t* effect);

}  // namespace obs_sayline
