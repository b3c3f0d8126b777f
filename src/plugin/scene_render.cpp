#include "plugin/scene_render.h"

#include <graphics/matrix4.h>
#include <graphics/vec4.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include "core/logger.h"
#include "platform/host_text_source.h"
#include "plugin/callback_guard.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

// For text sources without a background of their own: fills the given area behind the text.
void drawBackground(const SceneLook& scene, float left, float top, float right, float bottom) {
    const BackgroundLook look = backgroundLook(scene.backgroundEnabled, scene.backgroundColor);
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

void drawWholeText(const SceneLook& look, obs_source_t* text, const LayoutBox& box) {
    const uint32_t w = obs_source_get_width(text);
    const uint32_t h = obs_source_get_height(text);
    if (w == 0 || h == 0) return;
    const TextPlacement placement = placeText(box.width, box.height, w, h);
    if (!platform::kHostTextDrawsBackground) {
        const float margin = static_cast<float>(box.margin);
        drawBackground(look, std::max(0.0f, placement.x - margin),
                       std::max(0.0f, placement.y - margin),
                       std::min(static_cast<float>(box.width),
                                placement.x + static_cast<float>(w) * placement.scale + margin),
                       std::min(static_cast<float>(box.height),
                                placement.y + static_cast<float>(h) * placement.scale + margin));
    }
    drawSource(text, placement.x, placement.y, placement.scale);
}

void drawPart(const SceneRows& rows, const SceneLook& look, const SubtitlePart& part,
              const LayoutBox& box) {
    SourceRefs refs;
    std::vector<uint32_t> widths;
    for (size_t i = 0; i < part.rows.size(); ++i) {
        std::shared_ptr<PrivateTextSource> row = rows.row(i);
        obs_source_t* source = row ? row->acquire() : nullptr;
        refs.sources.push_back(source);
        widths.push_back(source ? obs_source_get_width(source) : 0);
    }
    const PartPlacement placement = placePart(part, widths, box);
    if (!platform::kHostTextDrawsBackground) {
        drawBackground(look, placement.left, placement.top, placement.right, placement.bottom);
    }
    for (size_t i = 0; i < refs.sources.size(); ++i) {
        if (!refs.sources[i] || widths[i] == 0) continue;
        drawSource(refs.sources[i], placement.rows[i].x, placement.rows[i].y, placement.scale);
    }
}

}  // namespace

void subtitle_source_tick(void* param, float) {
    guardCallback("subtitle_source_tick", [&] {
        if (!param) return;
        auto& data = *static_cast<SubtitleSourceData*>(param);
        const auto now = std::chrono::steady_clock::now();
        data.rows->applyLook();
        data.scene->tick(now, obs_get_video_frame_time());
        data.statusOverlay.tick(data.shared->status, now);
    });
}

void subtitle_source_render(void* param, gs_effect_t*) {
    guardCallback("subtitle_source_render", [&] {
        if (!param) return;
        injectFault(Fault::Render);
        auto& data = *static_cast<SubtitleSourceData*>(param);
        const SceneLook look = data.rows->look();
        const LayoutBox box = sceneBox(look, data.width.load(), data.height.load());
        const std::optional<SceneTimeline::Rows>& drawn = data.scene->timeline().drawn;
        if (drawn && drawn->wholeText) {
            SourceRefs first;
            if (auto row = data.rows->row(0)) first.sources.push_back(row->acquire());
            if (!first.sources.empty() && first.sources[0]) {
                drawWholeText(look, first.sources[0], box);
            }
        } else if (drawn) {
            drawPart(*data.rows, look, drawn->part, box);
        }
        data.statusOverlay.draw(data.width.load());
    });
}

}  // namespace obs_sayline
