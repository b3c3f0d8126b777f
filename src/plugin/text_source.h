#pragma once

#include <obs.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/host_text_source.h"
#include "plugin/source_defaults.h"
#include "plugin/subtitle_layout.h"

namespace obs_sayline {

struct SubtitleSourceData;

constexpr const char* kTextSourceName = "Sayline Text";
constexpr const char* kFontFace = defaults::kFontFace;
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

    // The font to write along with `text`, if any: `wanted` when the host source holds
    // another face or size; the same one a pixel smaller (or back) when the characters beyond
    // basic Latin drawn since it was loaded would overflow the host source's glyph store. A font
    // that differs is loaded afresh, which empties that store (the same one would keep its old
    // glyphs); the count then starts over from this text.
    std::optional<platform::HostFont> fontFor(const std::string& text,
                                              const platform::HostFont& wanted);
    // The font a change of the look asks for: this source's face in `font`'s style and flags
    // at `size`; nothing while it still holds that, or before it has drawn any text.
    std::optional<platform::HostFont> restyled(const platform::FontFace& font, long long size);

private:
    // The one `wanted` asks for, allowing for a size one pixel smaller from a reload.
    bool holds(const platform::HostFont& wanted) const;

    std::set<std::string> glyphs_;           // guarded by mutex
    std::optional<platform::HostFont> font_;  // last written; guarded by mutex
};

// The private text sources the scene text is drawn from: on FreeType one per row, made as a
// layout first needs them (the first is the record's own `text`, made by createTextSource); on
// GDI+ only the first, which takes the whole text. Further rows are made on the thread that lays
// out a subtitle, never on the graphics thread: making a source there takes the host's source
// list lock inside its graphics context, the reverse of the host's own order.
class SceneRows {
public:
    explicit SceneRows(std::shared_ptr<PrivateTextSource> first);
    ~SceneRows();
    SceneRows(const SceneRows&) = delete;
    SceneRows& operator=(const SceneRows&) = delete;

    // Row `index`, or null when there is none.
    std::shared_ptr<PrivateTextSource> row(size_t index) const;
    // Every row, in order.
    std::vector<std::shared_ptr<PrivateTextSource>> all() const;
    // The settings further rows are made with (their text left empty).
    void setLook(obs_data_t* settings);
    // Merges `changes` into the look of rows still to come (any thread).
    void updateTemplate(obs_data_t* changes);
    // Gives rows up to `count` a host text source, where they have none, with the look of the
    // first (nothing before that look is known, or once closed).
    void ensure(size_t count);
    // Drops every row's host source, releasing it or (when the host destroys it itself)
    // forgetting it; no row is made afterwards.
    void close(bool release);

private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<PrivateTextSource>> rows_;  // guarded by mutex_
    obs_data_t* look_ = nullptr;                            // guarded by mutex_
    bool closed_ = false;                                   // guarded by mutex_
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

// Writes a text into one row's text source in `face` (empty: the font as set), and, where the
// text source draws it, the background. Written as it is: the host's own word wrap is never
// turned on, since the FreeType source faults in it once its glyph texture has filled up; rows
// are broken by the layout instead. An empty text keeps the row's font.
void setText(SubtitleSourceData& data, PrivateTextSource& row, const std::string& text,
             const std::string& face = "");

// The look changed (update, control thread): rows made from now on take it, and the render
// callback writes font, colour and background into the existing rows at its next frame. The
// host reads a video source's settings in its video tick without a lock, so they are only ever
// written from that same thread.
void markLookChanged(SubtitleSourceData& data);
// Render thread: writes the look into every row when it changed since the last frame.
void applyChangedLook(SubtitleSourceData& data);

// The box the scene text is laid out in: the source's size, with the background's padding
// kept free around the rows when the background is on.
LayoutBox sceneBox(const SubtitleSourceData& data);
// Hands the box and the font size to the scene text sink, which lays out what it is given.
void applyLayoutBox(SubtitleSourceData& data);

}  // namespace obs_sayline
