#include "plugin/subtitle_render.h"

#include <graphics/matrix4.h>
#include <graphics/vec4.h>

#include <algorithm>
#include <atomic>
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

// For a text source without a background of its own: fill the box behind the text.
void drawBackground(const SubtitleSourceData& data) {
    const BackgroundLook look =
        backgroundLook(data.look.backgroundEnabled.load(), data.look.backgroundColor.load());
    if (!look.writeColor) return;
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
    while (gs_effect_loop(solid, "Solid")) {
        gs_draw_sprite(nullptr, 0, data.width.load(), data.height.load());
    }
    gs_blend_state_pop();
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

bool subtitleExpired(std::chrono::steady_clock::time_point shownAt,
                     std::chrono::steady_clock::time_point now, int durationMs) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - shownAt);
    return elapsed.count() >= durationMs;
}

namespace {

// Releases a source reference however the scope ends.
struct SourceRef {
    obs_source_t* source;
    ~SourceRef() {
        if (source) obs_source_release(source);
    }
};

void renderSubtitle(SubtitleSourceData& data) {
    SourceRef ref{data.text->acquire()};
    if (!ref.source) {
        logInfo("First render - creating text source now");
        createTextSource(data);
        ref.source = data.text->acquire();
        if (!ref.source) {
            logError("Failed to create text source during render");
            return;
        }
    }
    obs_source_t* text = ref.source;

    // The text source takes a new text at its next video tick, so its size still belongs to
    // the previous text for the rest of the frame that writes one.
    RenderState& state = data.render;
    const uint64_t frameTime = obs_get_video_frame_time();
    bool textWritten = false;
    applyChangedLook(data);
    if (data.sceneText->takeClear()) {
        setText(data, "");
        state.shownText.clear();
        textWritten = true;
        state.subtitleVisible = false;
    }
    if (std::optional<std::string> pending = data.sceneText->takePending()) {
        setText(data, *pending);
        state.shownText = std::move(*pending);
        textWritten = true;
        state.shownAt = std::chrono::steady_clock::now();
        state.subtitleVisible = true;
    }
    if (state.subtitleVisible &&
        subtitleExpired(state.shownAt, std::chrono::steady_clock::now(),
                        data.look.subtitleDurationMs.load())) {
        setText(data, "");
        state.shownText.clear();
        textWritten = true;
        state.subtitleVisible = false;
    }
    if (textWritten) {
        state.wrapChecked = false;
        state.textWrittenFrame = frameTime;
    }

    const uint32_t w = obs_source_get_width(text);
    const uint32_t h = obs_source_get_height(text);
    const uint32_t boxWidth = data.width.load();
    const uint32_t boxHeight = data.height.load();
    if (!state.wrapChecked && frameTime != state.textWrittenFrame && w > 0) {
        // Once per text: a line wider than the box is broken into rows that fit (shrunk to
        // fit below until the text source has taken that).
        state.wrapChecked = true;
        if (w > boxWidth) wrapText(data, state.shownText, w);
    }
    if (w > kReportableTextureSize && h > kReportableTextureSize &&
        !textureSizeReported.exchange(true)) {
        logInfoTag("Render", "Text texture: %ux%u, source box: %ux%u", w, h, boxWidth, boxHeight);
    }
    if (w == 0 || h == 0) return;

    if (!platform::kHostTextDrawsBackground) drawBackground(data);
    const TextPlacement placement = placeText(boxWidth, boxHeight, w, h);
    gs_matrix_push();
    gs_matrix_translate3f(placement.x, placement.y, 0.0f);
    if (placement.scaled) gs_matrix_scale3f(placement.scale, placement.scale, 1.0f);
    obs_source_video_render(text);
    gs_matrix_pop();
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
