#pragma once

#include <obs.h>

#include <cstdint>
#include <string>

namespace obs_sayline {

struct SubtitleSourceData;

// The host text source type that draws the subtitle: GDI+ on Windows, FreeType elsewhere.
#ifdef _WIN32
constexpr const char* kTextSourceType = "text_gdiplus";
#else
constexpr const char* kTextSourceType = "text_ft2_source";
#endif
constexpr const char* kTextSourceName = "Sayline Text";
constexpr const char* kFontFace = "Arial";
// The font property's units are a tenth of the text source's.
constexpr int kFontSizeScale = 10;
constexpr uint32_t kOutlineColor = 0xFF000000;
constexpr int kOutlineSize = 2;

// How the background reaches the text source: its colour as 0x00RRGGBB (from the host's
// 0xAABBGGRR) and its opacity in percent; no colour is written when the background is off.
struct BackgroundLook {
    bool writeColor = false;
    uint32_t color = 0;
    int opacity = 0;
};
BackgroundLook backgroundLook(bool enabled, uint32_t backgroundColor);

// The text colour as the text source wants it. The colour property carries no alpha, so the
// FreeType source (which honours alpha) gets it opaque; GDI+ takes it as it is.
uint32_t textSourceColor(uint32_t textColor);

// Creates the private text source when there is none yet (control or graphics thread).
void createTextSource(SubtitleSourceData& data);

// A new reference to the private text source, or null; release it with obs_source_release.
obs_source_t* acquireTextSource(SubtitleSourceData& data);

// Writes the subtitle text (and, where the text source draws it, the background). On FreeType
// the text is written unwrapped, so a short line's texture is only as wide as the line.
void setText(SubtitleSourceData& data, const std::string& text);

// Makes the FreeType source wrap the current text at the box width (nothing on Windows, where
// the text source wraps inside its extents). For a text found wider than the box.
void wrapText(SubtitleSourceData& data);

// Pushes font and colour, then the background, into the text source (from update).
void applyFontAndColor(SubtitleSourceData& data);
void applyBackground(SubtitleSourceData& data);

}  // namespace obs_sayline
