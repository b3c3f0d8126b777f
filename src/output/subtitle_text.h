#pragma once

#include <obs-data.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/subtitle_entry.h"
#include "output/subtitle_renderer.h"
#include "platform/host_text_source.h"

namespace obs_sayline {

// Longest text handed to a text source, in bytes.
constexpr size_t kMaxSubtitleTextBytes = 4096;

// The host text source type the renderer drives.
constexpr const char* kTextSourceTypeId = platform::kHostTextSourceId;

// 0xAARRGGBB to the host's 0xAABBGGRR: red and blue swap, alpha and green stay.
constexpr uint32_t argbToHostColor(uint32_t argb) {
    return (argb & 0xFF00FF00u) | ((argb & 0x00FF0000u) >> 16) | ((argb & 0x000000FFu) << 16);
}

// One line of text per entry, joined by "\n". Each line is the template with "{original}",
// "{translation}" and "{newline}" filled in one pass (inserted text is never expanded again);
// a template that comes out unchanged falls back to original and translation as the style
// asks. Text longer than kMaxSubtitleTextBytes is cut at the last whole UTF-8 character
// within it, and *truncated says so.
std::string buildSubtitleText(const std::vector<SubtitleEntry>& entries, const SubtitleStyle& style,
                              const std::string& textTemplate, bool* truncated = nullptr);

// Writes the style into the settings of the host text source (font, colours, outline and,
// where the source type has it, alignment).
void applyStyleToSettings(const SubtitleStyle& style, obs_data_t* settings);

// {"sourceName":"...","showCount":n,"updateCount":n,"clearCount":n,"isVisible":b}
std::string rendererStatusJson(const std::string& sourceName, uint64_t showCount,
                               uint64_t updateCount, uint64_t clearCount, bool visible);

}  // namespace obs_sayline
