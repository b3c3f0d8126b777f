#include "plugin/subtitle_render.h"

#include <graphics/matrix4.h>
#include <graphics/vec4.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <string>

#include "core/logger.h"
#include "platform/host_text_source.h"
#include "plugin/callback_guard.h"
#include "plugin/status_overlay.h"
#include "plugin/subtitle_source_data.h"
#include "plugin/text_source.h"

namespace obs_sayline {
namespace {

std::atomic<bool> firstRenderSeen{false};
std::atomic<bool> textureSizeReported{false};

// Texture sizes at or below this are not worth a log line (an empty text source).
constexpr uint32_t kReportableTextureSize = 10;

// For text sources without a background of their own: fills the given area behind the text.
void drawBackground(const SubtitleSourceData& data, float left, float top, float right,
                    float bottom) {
    const BackgroundLook look =
        backgroundLook(data.look.backgroundEnabled.load(), data.look.backgroundColor.load());
    if (!look.writeColor || right <= left || bottom <= top) return;
    gs_effect_t* solid = obs_get_base_effect(OBS_EFFECT_SOLID);
    if (!solid) return;
    const float alpha = static_cast<float>(look.opacity) / 100.0f;
    vec4 color;
    // Premultiplied, as the host blends sources.
    vec4_set(&color, static_cast<float>((look.color >> 16) & 0xFF) / 255.0f * alpha,
             static_cast<float>((look.color >> 8) & 0xFF) / 255.0f * alpha,
             static_cast<float>(look.color & 0xFF) / 255.0f * alpha, alpha);
    gs_effect_set_vec4(gs_effect_get_param_by_name(solid, "color"), &color);
    gs_blend_state_push();
    gs_blend_function(GS_BLEND_ONE, GS_BLEND_INVSRCALPHA);
    gs_matrix_push();
    gs_matrix_translate3f(std::round(left), std::round(top), 0.0f);
    while (gs_effect_loop(solid, "Solid")) {
        gs_draw_sprite(nullptr, 0, static_cast<uint32_t>(std::lround(right - left)),
                       static_cast<uint32_t>(std::lround(bottom - top)));
    }
    gs_matrix_pop();
    gs_blend_state_pop();
}

// Draws a text source with its top-left corner at (x, y), at `scale`.
void drawSource(obs_source_t* source, float x, float y, float scale) {
    gs_matrix_push();
    gs_matrix_translate3f(x, y, 0.0f);
    if (scale != 1.0f) gs_matrix_scale3f(scale, scale, 1.0f);
    obs_source_video_render(source);
    gs_matrix_pop();
}

}  // namespace

TextPlacement placeText(uint32_t boxWidth, uint32_t boxHeight, uint32_t textWidth,
                        uint32_t textHeight) {
    TextPlacement placement;
    const float bw = static_cast<float>(boxWidth);
    const float bh = static_cast<float>(boxHeight);
    const float w = static_cast<float>(textWidth);
    const float h = static_cast<float>(textHeight);
    if (textWidth > boxWidth || textHeight > boxHeight) {
        const float s = std::min(bw / w, bh / h);
        placement.scale = s;
        placement.scaled = true;
        placement.x = (bw - w * s) * 0.5f;
        placement.y = (bh - h * s) * 0.5f;
    } else {
        placement.x = (bw - w) * 0.5f;
        placement.y = (bh - h) * 0.5f;
    }
    return placement;
}

PartPlacement placePart(const SubtitlePart& part, const std::vector<uint32_t>& widths,
                        const LayoutBox& box) {
    PartPlacement placement;
    uint32_t widest = 0;
    for (const uint32_t width : widths) widest = std::max(widest, width);
    const int stack = stackHeight(part);
    const float s = fitScale(box, static_cast<int>(widest), stack);
    placement.scale = s;
    const float boxWidth = static_cast<float>(box.width);
    const float bandTop = (static_cast<float>(box.height) - static_cast<float>(stack) * s) * 0.5f;
    const float pitch = static_cast<float>(part.ascent + part.descent + part.gap);
    float left = boxWidth;
    float right = 0.0f;
    for (size_t i = 0; i < part.rows.size() && i < widths.size(); ++i) {
        const float width = static_cast<float>(widths[i]) * s;
        PartPlacement::Row row;
        row.x = (boxWidth - width) * 0.5f;
        const float baseline =
            bandTop + (static_cast<float>(part.ascent) + static_cast<float>(i) * pitch) * s;
        row.y = baseline - static_cast<float>(part.rows[i].size.baseline) * s;
        placement.rows.push_back(row);
        left = std::min(left, row.x);
        right = std::max(right, row.x + width);
    }
    const float margin = static_cast<float>(box.margin);
    placement.left = std::max(0.0f, left - margin);
    placement.right = std::min(boxWidth, right + margin);
    placement.top = std::max(0.0f, bandTop - margin);
    placement.bottom =
        std::min(static_cast<float>(box.height), bandTop + static_cast<float>(stack) * s + margin);
    return placement;
}

bool subtitleExpired(std::chrono::steady_clock::time_point shownAt,
                     std::chrono::steady_clock::time_point now, int durationMs) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - shownAt);
    return elapsed.count() >= durationMs;
}

int partDurationMs(int durationMs, size_t parts, size_t index) {
    if (parts <= 1) return durationMs;
    const int each = durationMs / static_cast<int>(parts);
    return index + 1 < parts ? each : durationMs - each * static_cast<int>(parts - 1);
}

namespace {

// Source references taken for one frame, released however the frame ends.
struct SourceRefs {
    std::vector<obs_source_t*> sources;
    SourceRefs() = default;
    SourceRefs(const SourceRefs&) = delete;
    SourceRefs& operator=(const SourceRefs&) = delete;
    ~SourceRefs() {
        for (obs_source_t* source : sources) {
            if (source) obs_source_release(source);
        }
    }
};

size_t partCount(const SceneSubtitle& subtitle) {
    return std::max<size_t>(1, subtitle.layout.parts.size());
}

// Writes what `rows` says into the row text sources (every other row emptied); they take it
// at their next video tick.
void writeRows(SubtitleSourceData& data, const std::optional<RowsOnScreen>& rows,
               const SceneSubtitle* subtitle, uint64_t frameTime) {
    SceneRows& sources = data.sceneText->rows();
    size_t used = 0;
    if (rows && rows->wholeText && subtitle) {
        setText(data, *sources.row(0), subtitle->text, subtitle->face);
        used = 1;
    } else if (rows) {
        // The sink made every row this part needs before handing it over.
        for (const LaidOutRow& row : rows->part.rows) {
            if (std::shared_ptr<PrivateTextSource> source = sources.row(used)) {
                setText(data, *source, row.text, row.face);
            }
            ++used;
        }
    }
    const auto all = sources.all();
    for (size_t i = used; i < all.size(); ++i) {
        if (all[i]->exists()) setText(data, *all[i], "");
    }
    RenderState& state = data.render;
    state.written = true;
    state.writtenRows = rows;
    state.textWrittenFrame = frameTime;
}

// The current part of the subtitle on screen into the row text sources.
void writePart(SubtitleSourceData& data, uint64_t frameTime) {
    const RenderState& state = data.render;
    RowsOnScreen rows;
    if (state.subtitle->layout.parts.empty()) {
        rows.wholeText = true;
    } else {
        rows.part = state.subtitle->layout.parts[state.part];
    }
    writeRows(data, rows, &*state.subtitle, frameTime);
}

void drawWholeText(SubtitleSourceData& data, obs_source_t* text, const LayoutBox& box) {
    const uint32_t w = obs_source_get_width(text);
    const uint32_t h = obs_source_get_height(text);
    if (w == 0 || h == 0) return;
    const TextPlacement placement = placeText(box.width, box.height, w, h);
    if (!platform::kHostTextDrawsBackground) {
        const float margin = static_cast<float>(box.margin);
        drawBackground(data, std::max(0.0f, placement.x - margin),
                       std::max(0.0f, placement.y - margin),
                       std::min(static_cast<float>(box.width),
                                placement.x + static_cast<float>(w) * placement.scale + margin),
                       std::min(static_cast<float>(box.height),
                                placement.y + static_cast<float>(h) * placement.scale + margin));
    }
    drawSource(text, placement.x, placement.y, placement.scale);
}

void drawPart(SubtitleSourceData& data, const SubtitlePart& part, const LayoutBox& box) {
    SourceRefs refs;
    std::vector<uint32_t> widths;
    for (size_t i = 0; i < part.rows.size(); ++i) {
        std::shared_ptr<PrivateTextSource> row = data.sceneText->rows().row(i);
        obs_source_t* source = row ? row->acquire() : nullptr;
        refs.sources.push_back(source);
        widths.push_back(source ? obs_source_get_width(source) : 0);
    }
    const PartPlacement placement = placePart(part, widths, box);
    if (!platform::kHostTextDrawsBackground) {
        drawBackground(data, placement.left, placement.top, placement.right, placement.bottom);
    }
    for (size_t i = 0; i < refs.sources.size(); ++i) {
        if (!refs.sources[i] || widths[i] == 0) continue;
        drawSource(refs.sources[i], placement.rows[i].x, placement.rows[i].y, placement.scale);
    }
}

void renderSubtitle(SubtitleSourceData& data) {
    SourceRefs first;
    first.sources.push_back(data.text->acquire());
    if (!first.sources[0]) {
        logInfo("First render - creating text source now");
        createTextSource(data);
        first.sources[0] = data.text->acquire();
        if (!first.sources[0]) {
            logError("Failed to create text source during render");
            return;
        }
    }
    obs_source_t* text = first.sources[0];

    RenderState& state = data.render;
    const uint64_t frameTime = obs_get_video_frame_time();
    const auto now = std::chrono::steady_clock::now();
    applyChangedLook(data);
    if (data.sceneText->takeCleared()) {
        // Capture stopped: every row is emptied.
        writeRows(data, std::nullopt, nullptr, frameTime);
        state.subtitle.reset();
        state.subtitleVisible = false;
        state.written = false;
        state.drawn.reset();
    }
    if (std::optional<SceneSubtitle> pending = data.sceneText->takePending()) {
        state.subtitle = std::move(*pending);
        state.part = 0;
        writePart(data, frameTime);
        state.shownAt = now;
        state.subtitleVisible = true;
    } else if (state.subtitleVisible &&
               subtitleExpired(state.shownAt, now,
                               partDurationMs(data.look.subtitleDurationMs.load(),
                                              partCount(*state.subtitle), state.part))) {
        if (state.part + 1 < partCount(*state.subtitle)) {
            ++state.part;
            writePart(data, frameTime);
            state.shownAt = now;
        } else {
            writeRows(data, std::nullopt, nullptr, frameTime);
            state.subtitle.reset();
            state.subtitleVisible = false;
        }
    }
    // The text sources take what was written at their next video tick; until then they still
    // hold (and report the sizes of) what they held before.
    if (state.written && frameTime != state.textWrittenFrame) {
        state.drawn = state.writtenRows;
        state.written = false;
    }

    const uint32_t w = obs_source_get_width(text);
    const uint32_t h = obs_source_get_height(text);
    const LayoutBox box = sceneBox(data);
    if (w > kReportableTextureSize && h > kReportableTextureSize &&
        !textureSizeReported.exchange(true)) {
        logInfoTag("Render", "Text texture: %ux%u, source box: %ux%u", w, h, box.width, box.height);
    }
    if (!state.drawn) return;
    if (state.drawn->wholeText) {
        drawWholeText(data, text, box);
    } else {
        drawPart(data, state.drawn->part, box);
    }
}

}  // namespace

void subtitle_source_render(void* param, gs_effect_t*) {
    guardCallback("subtitle_source_render", [&] {
        if (!firstRenderSeen.exchange(true)) {
            logInfo(">>> subtitle_source_render called (first time)");
        }
        if (!param) {
            logError("subtitle_source_render: sourceData is NULL!");
            return;
        }
        injectFault(Fault::Render);
        renderSubtitle(*static_cast<SubtitleSourceData*>(param));
        drawStatusOverlay(*static_cast<SubtitleSourceData*>(param));
    });
}

}  // namespace obs_sayline
