#include "plugin/status_overlay.h"

#include <algorithm>

#include "core/logger.h"
#include "platform/host_text_source.h"
#include "plugin/source_defaults.h"

namespace obs_sayline {
namespace {

constexpr const char* kStatusTextName = "Sayline Status";
constexpr long long kStatusFontPx = 28;
constexpr uint32_t kStatusColor = 0xFF00C0FF;  // amber, as 0xAABBGGRR
constexpr float kMargin = 8.0f;
// The sentence changes at most this often on screen (countdowns tick in seconds).
constexpr std::chrono::milliseconds kCheckEvery{500};

}  // namespace

void StatusOverlay::setEnabled(bool enabled) {
    enabled_.store(enabled);
    if (!enabled || text_.exists()) return;
    obs_data_t* settings = obs_data_create();
    platform::writeTextFont(settings, {{defaults::kFontFace, "", 0}, kStatusFontPx});
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
    text_.adopt(created);
}

void StatusOverlay::tick(const SourceStatus& status, Clock::time_point now) {
    if (!enabled_.load()) {
        // Looked at afresh as soon as it is switched on again.
        checkedAt_ = {};
        return;
    }
    if (now - checkedAt_ < kCheckEvery) return;
    checkedAt_ = now;
    const StatusReport report = status.report(now);
    const std::string wanted = report.problem() ? report.sentence : std::string();
    if (wanted == shown_ || !text_.exists()) return;
    obs_data_t* changes = obs_data_create();
    obs_data_set_string(changes, "text", wanted.c_str());
    text_.update(changes);
    obs_data_release(changes);
    shown_ = wanted;
}

void StatusOverlay::draw(uint32_t boxWidth) {
    if (!enabled_.load() || shown_.empty()) return;
    obs_source_t* text = text_.acquire();
    if (!text) return;
    const uint32_t w = obs_source_get_width(text);
    const uint32_t h = obs_source_get_height(text);
    if (w > 0 && h > 0) {
        // Shrunk only when the box is narrower than the sentence.
        const float room = static_cast<float>(boxWidth) - 2.0f * kMargin;
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
