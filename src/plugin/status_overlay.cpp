#include "plugin/status_overlay.h"

#include <algorithm>

#include "core/logger.h"
#include "platform/host_text_source.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

constexpr const char* kStatusTextName = "Sayline Status";
constexpr long long kStatusFontPx = 28;
constexpr uint32_t kStatusColor = 0xFF00C0FF;  // amber, as 0xAABBGGRR
constexpr float kMargin = 8.0f;
// The sentence changes at most this often on screen (countdowns tick in seconds).
constexpr std::chrono::milliseconds kCheckEvery{500};

void writeStatusText(StatusOverlay& overlay, const std::string& sentence) {
    obs_data_t* changes = obs_data_create();
    obs_data_set_string(changes, "text", sentence.c_str());
    overlay.text.update(changes);
    obs_data_release(changes);
}

}  // namespace

void prepareStatusOverlay(SubtitleSourceData& data) {
    StatusOverlay& overlay = data.statusOverlay;
    if (!overlay.enabled.load() || overlay.text.exists()) return;
    obs_data_t* settings = obs_data_create();
    platform::writeTextFont(settings, {{kFontFace, "", 0}, kStatusFontPx});
    platform::writeTextColor(settings, platform::hostTextColor(kStatusColor));
    platform::writeTextOutline(settings, true, kOutlineSize, kOutlineColor);
    platform::writeTextWrap(settings, 0);
    obs_data_set_string(settings, "text", "");
    obs_source_t* created =
        obs_source_create_private(platform::kHostTextSourceId, kStatusTextName, settings);
    obs_data_release(settings);
    if (!created) {
        logError("Failed to create the status text source");
        return;
    }
    overlay.text.adopt(created);
}

void drawStatusOverlay(SubtitleSourceData& data) {
    StatusOverlay& overlay = data.statusOverlay;
    if (!overlay.enabled.load()) {
        // Looked at afresh as soon as it is switched on again.
        overlay.checkedAt = {};
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - overlay.checkedAt >= kCheckEvery) {
        overlay.checkedAt = now;
        const StatusReport report = data.shared->status.report(now);
        const std::string wanted = report.problem() ? report.sentence : std::string();
        if (wanted != overlay.shown && overlay.text.exists()) {
            writeStatusText(overlay, wanted);
            overlay.shown = wanted;
        }
    }
    if (overlay.shown.empty()) return;

    obs_source_t* text = overlay.text.acquire();
    if (!text) return;
    const uint32_t w = obs_source_get_width(text);
    const uint32_t h = obs_source_get_height(text);
    if (w > 0 && h > 0) {
        // Shrunk only when the box is narrower than the sentence.
        const float room = static_cast<float>(data.width.load()) - 2.0f * kMargin;
        const float scale = std::min(1.0f, room / static_cast<float>(w));
        gs_matrix_push();
        gs_matrix_translate3f(kMargin, kMargin, 0.0f);
        if (scale > 0.0f && scale < 1.0f) gs_matrix_scale3f(scale, scale, 1.0f);
        obs_source_video_render(text);
        gs_matrix_pop();
    }
    obs_source_release(text);
}

}  // namespace obs_sayline
