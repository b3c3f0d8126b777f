#pragma once

#include <obs.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/host_text_source.h"
#include "plugin/source_defaults.h"
#include "sinks/scene/scene_rows.h"
#include "sinks/scene/subtitle_layout.h"

namespace obs_sayline {

constexpr const char* kTextSourceName = "Sayline Text";
// The font property's units are a tenth of the text source's.
constexpr int kFontSizeScale = 10;
constexpr uint32_t kOutlineColor = 0xFF000000;
constexpr int kOutlineSize = 2;

// One private instance of the host's text source. Made on one thread and written on another,
// hence the mutex; the handle is released on destruction.
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

// How the scene text looks, as the update reads it from the settings.
struct SceneLook {
    platform::FontFace font{defaults::kFontFace, "", 0};
    int fontSize = static_cast<int>(defaults::kFontSize.defaultValue);
    uint32_t textColor = defaults::kOpaqueFontColor;
    bool backgroundEnabled = defaults::kBackgroundEnabled;
    uint32_t backgroundColor = defaults::kBackgroundColor;
    int backgroundPadding = static_cast<int>(defaults::kBackgroundPadding.defaultValue);
};

// The pixel size the text sources are given for the look's "Font Size".
long long textPixels(const SceneLook& look);
// The box the scene text is laid out in: the source's size, with the background's padding
// kept free around the rows when the background is on.
LayoutBox sceneBox(const SceneLook& look, uint32_t width, uint32_t height);

// How the background reaches the text source: its colour as 0x00RRGGBB (from the host's
// 0xAABBGGRR) and its opacity in percent; no colour is written when the background is off.
struct BackgroundLook {
    bool writeColor = false;
    uint32_t color = 0;
    int opacity = 0;
};
BackgroundLook backgroundLook(bool enabled, uint32_t backgroundColor);

// The private text sources the scene text is drawn from: on FreeType one per row, made as a
// layout first needs them; on GDI+ only the first, which takes the whole text. They are made
// on the thread that lays out a subtitle (so after the Sayline source itself, which the scene
// text's timing relies on), never on the graphics thread: making a source there takes the host's source list lock inside its graphics context,
// the reverse of the host's own order. Their settings are written only in the video tick: the
// host reads a video source's settings there without a lock.
class SceneRows final : public ISceneRows {
public:
    // `owner` is the Sayline source, named in the log lines.
    explicit SceneRows(obs_source_t* owner);
    ~SceneRows() override;
    SceneRows(const SceneRows&) = delete;
    SceneRows& operator=(const SceneRows&) = delete;

    // Update: the look, and the source's box (GDI+ lays its text out in it). Rows made from
    // now on take them; the rows there take a changed look at the next tick.
    void setLook(const SceneLook& look, uint32_t width, uint32_t height);
    SceneLook look() const;
    // Video tick: writes a look changed since the last tick into every row (each row keeps its
    // own face; only the style and size follow the font as set).
    void applyLook();

    void ensure(size_t count) override;
    size_t count() const override;
    // Written as it is: the host's own word wrap is never turned on, since the FreeType source
    // faults in it once its glyph texture has filled up; rows are broken by the layout instead.
    // An empty text keeps the row's font.
    void write(size_t index, const std::string& text, const std::string& face) override;

    // Row `index`, or null when there is none.
    std::shared_ptr<PrivateTextSource> row(size_t index) const;
    // Every row, in order.
    std::vector<std::shared_ptr<PrivateTextSource>> all() const;
    // Drops every row's host source, releasing it or (when the host destroys it itself)
    // forgetting it; no row is made afterwards.
    void close(bool release);

private:
    obs_source_t* owner_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<PrivateTextSource>> rows_;  // guarded by mutex_
    SceneLook look_;                                        // guarded by mutex_
    uint32_t width_ = 0;                                    // guarded by mutex_
    uint32_t height_ = 0;                                   // guarded by mutex_
    bool closed_ = false;                                   // guarded by mutex_
    std::atomic<bool> lookChanged_{false};
};

}  // namespace obs_sayline
