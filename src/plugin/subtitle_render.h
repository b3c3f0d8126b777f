#pragma once

#include <obs.h>

#include <chrono>
#include <cstdint>
#include <vector>

#include "plugin/subtitle_layout.h"

namespace obs_sayline {

struct SubtitleSourceData;

// Where a whole-text texture goes inside the source's box: centred, and shrunk (keeping its
// aspect) when it is larger than the box in either direction.
struct TextPlacement {
    float x = 0.0f;
    float y = 0.0f;
    float scale = 1.0f;
    bool scaled = false;
};
TextPlacement placeText(uint32_t boxWidth, uint32_t boxHeight, uint32_t textWidth,
                        uint32_t textHeight);

// Where the rows of a part go inside the box, given the widths their text sources report: all
// at one scale that fits the widest row and the stack into the box, each row centred on its
// own, the stack centred; and the area the background covers (the rows with the box's margin
// around them, within the box).
struct PartPlacement {
    struct Row {
        float x = 0.0f;  // top-left corner of the row's text source
        float y = 0.0f;
    };
    float scale = 1.0f;
    std::vector<Row> rows;
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};
PartPlacement placePart(const SubtitlePart& part, const std::vector<uint32_t>& widths,
                        const LayoutBox& box);

// True once a subtitle shown at `shownAt` has been up for `durationMs` whole milliseconds.
bool subtitleExpired(std::chrono::steady_clock::time_point shownAt,
                     std::chrono::steady_clock::time_point now, int durationMs);

// How long part `index` of `parts` stays up: the display time shared out evenly.
int partDurationMs(int durationMs, size_t parts, size_t index);

// Host video_render callback (graphics thread).
void subtitle_source_render(void* data, gs_effect_t* effect);

}  // namespace obs_sayline
