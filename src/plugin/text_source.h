#pragma once

#include <obs.h>

#include <cstdint>
#include <mutex>
#include <set>
#include <string>

namespace obs_sayline {

struct SubtitleSourceData;

constexpr const char* kTextSourceName = "Sayline Text";
constexpr const char* kFontFace = "Arial";
// The font property's units are a tenth of the text source's.
constexpr int kFontSizeScale = 10;
constexpr uint32_t kOutlineColor = 0xFF000000;
constexpr int kOutlineSize = 2;

// The source's private instance of the host's text source. Created from the control thread
// (update) or the graphics thread (render), hence the mutex; the handle is released on
// destruction.
struct PrivateTextSource {
    std::mutex mutex;
    obs_source_t* source = nullptr;

    bool exists();
    // A new reference, or null; release it with obs_source_release.
    obs_source_t* acquire();
    // Keeps `created` unless another thread was first (then releases it); false in that case.
    bool adopt(obs_source_t* created);
    // Drops the handle (outside the mutex: the host takes its own locks there, and its video
    // thread may hold them while it waits for this one).
    void release();
    // Drops the handle without releasing it: for a host that destroys the source itself.
    void forget();
    // Merges `changes` into the text source's settings through obs_source_update, the host's
    // own locking; nothing when there is no text source.
    void update(obs_data_t* changes);

    // Counts the characters beyond basic Latin about to be drawn; true when the host source's
    // glyph store would overflow, so its font must be loaded again first (the count then
    // starts over from this text).
    bool glyphStoreFull(const std::string& text);
    // Alternates between true and false: a font loaded again differs by one pixel, or the
    // host source would keep its old glyphs.
    bool nextReloadNudge();

private:
    std::set<std::string> glyphs_;  // guarded by mutex
    bool nudge_ = false;            // guarded by mutex
};

// How the background reaches the text source: its colour as 0x00RRGGBB (from the host's
// 0xAABBGGRR) and its opacity in percent; no colour is written when the background is off.
struct BackgroundLook {
    bool writeColor = false;
    uint32_t color = 0;
    int opacity = 0;
};
BackgroundLook backgroundLook(bool enabled, uint32_t backgroundColor);

// Creates the private text source when there is none yet (control or graphics thread).
void createTextSource(SubtitleSourceData& data);

// Writes the subtitle text (and, where the text source draws it, the background). On FreeType
// the text is written unwrapped, so a short line's texture is only as wide as the line.
void setText(SubtitleSourceData& data, const std::string& text);

// A text found `textWidth` pixels wide (unwrapped) in a box narrower than that: rewritten
// with line breaks of our own so that each row fits the box (nothing on Windows, where the
// text source wraps inside its extents). The host's own word wrap is never turned on: the
// FreeType source faults in it once its glyph texture has filled up.
void wrapText(SubtitleSourceData& data, const std::string& text, uint32_t textWidth);

// The look changed (update, control thread): the render callback writes font, colour and
// background into the text source at its next frame. The host reads a video source's settings
// in its video tick without a lock, so they are only ever written from that same thread.
void markLookChanged(SubtitleSourceData& data);
// Render thread: writes the look when it changed since the last frame.
void applyChangedLook(SubtitleSourceData& data);

}  // namespace obs_sayline
