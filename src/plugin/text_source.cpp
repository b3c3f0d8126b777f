#include "plugin/text_source.h"

#include "core/logger.h"
#include "live/display_text.h"
#include "platform/host_text_source.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

void writeFont(obs_data_t* settings, const SubtitleSourceData& data, int nudgePx = 0) {
    platform::writeTextFont(settings, kFontFace,
                            static_cast<long long>(data.look.fontSize.load()) * kFontSizeScale,
                            nudgePx);
}

void writeColor(obs_data_t* settings, const SubtitleSourceData& data) {
    platform::writeTextColor(settings, platform::hostTextColor(data.look.textColor.load()));
}

void writeBackground(obs_data_t* settings, const SubtitleSourceData& data) {
    const BackgroundLook look =
        backgroundLook(data.look.backgroundEnabled.load(), data.look.backgroundColor.load());
    platform::writeTextBackground(settings, look.writeColor, look.color, look.opacity);
}

obs_data_t* initialSettings(const SubtitleSourceData& data) {
    obs_data_t* settings = obs_data_create();
    writeFont(settings, data);
    writeColor(settings, data);
    platform::writeTextOutline(settings, true, kOutlineSize, kOutlineColor);
    writeBackground(settings, data);
    platform::writeTextBoxLayout(settings, data.width.load(), data.height.load());
    obs_data_set_string(settings, "text", "");
    return settings;
}

// Only the changed keys go through obs_source_update; the settings object the host hands out
// is never written from here, since the graphics thread may be reading it in a deferred
// update.
template <typename Change>
void changeTextSource(SubtitleSourceData& data, Change&& change) {
    obs_data_t* changes = obs_data_create();
    change(changes);
    data.text->update(changes);
    obs_data_release(changes);
}

}  // namespace

bool PrivateTextSource::exists() {
    std::lock_guard<std::mutex> lock(mutex);
    return source != nullptr;
}

obs_source_t* PrivateTextSource::acquire() {
    std::lock_guard<std::mutex> lock(mutex);
    return source ? obs_source_get_ref(source) : nullptr;
}

bool PrivateTextSource::adopt(obs_source_t* created) {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!source) {
            source = created;
            return true;
        }
    }
    obs_source_release(created);
    return false;
}

void PrivateTextSource::release() {
    obs_source_t* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex);
        old = source;
        source = nullptr;
    }
    if (old) obs_source_release(old);
}

bool PrivateTextSource::glyphStoreFull(const std::string& text) {
    if (platform::kHostTextGlyphBudget == 0) return false;
    std::set<std::string> drawn = nonAsciiCharacters(text);
    std::lock_guard<std::mutex> lock(mutex);
    glyphs_.insert(drawn.begin(), drawn.end());
    if (glyphs_.size() <= platform::kHostTextGlyphBudget) return false;
    glyphs_ = std::move(drawn);
    return true;
}

bool PrivateTextSource::nextReloadNudge() {
    std::lock_guard<std::mutex> lock(mutex);
    nudge_ = !nudge_;
    return nudge_;
}

void PrivateTextSource::forget() {
    std::lock_guard<std::mutex> lock(mutex);
    source = nullptr;
}

void PrivateTextSource::update(obs_data_t* changes) {
    obs_source_t* text = acquire();
    if (!text) return;
    obs_source_update(text, changes);
    obs_source_release(text);
}

BackgroundLook backgroundLook(bool enabled, uint32_t backgroundColor) {
    BackgroundLook look;
    if (!enabled) return look;
    look.writeColor = true;
    look.color = ((backgroundColor & 0xFFu) << 16) | (backgroundColor & 0xFF00u) |
                 ((backgroundColor >> 16) & 0xFFu);
    look.opacity = static_cast<int>((backgroundColor >> 24) * 100 / 255);
    return look;
}

void createTextSource(SubtitleSourceData& data) {
    if (data.text->exists()) return;
    logInfo("createTextSource() called");
    obs_video_info video{};
    if (obs_get_video_info(&video)) {
        data.width.store(video.base_width);
        data.canvasKnown.store(true);
        logInfo("Canvas: %ux%u", video.base_width, video.base_height);
    }
    logInfo("Text source config: font=%d, extents=%dx%d", data.look.fontSize.load(),
            static_cast<int>(data.width.load()), static_cast<int>(data.height.load()));

    obs_data_t* settings = initialSettings(data);
    logInfo("All settings configured, creating text source...");
    logInfo("Attempting to create %s source", platform::kHostTextSourceId);
    // Created without holding the mutex: the text source's own update enters the graphics
    // context, which the render thread may hold while it waits for that mutex.
    obs_source_t* created =
        obs_source_create_private(platform::kHostTextSourceId, kTextSourceName, settings);
    obs_data_release(settings);
    logInfo("Settings released");
    if (!created) {
        logError(
            "✗ Failed to create internal text source (obs_source_create_private returned "
            "NULL)");
        return;
    }
    logInfo("✓ Internal text source created successfully! (initial size: %ux%u)",
            obs_source_get_width(created), obs_source_get_height(created));
    data.text->adopt(created);
}

void setText(SubtitleSourceData& data, const std::string& text) {
    const bool reloadFont = data.text->glyphStoreFull(text);
    changeTextSource(data, [&](obs_data_t* settings) {
        if (reloadFont) writeFont(settings, data, data.text->nextReloadNudge() ? 1 : 0);
        obs_data_set_string(settings, "text", text.c_str());
        writeBackground(settings, data);
        platform::writeTextWrap(settings, 0);
    });
}

void wrapText(SubtitleSourceData& data, const std::string& text, uint32_t textWidth) {
    if (platform::kHostTextWrapsInBox || textWidth == 0) return;
    const size_t longest = longestLineChars(text);
    // Glyph widths vary: aim a little short of the box so that rows rarely overflow it (the
    // render shrinks what still does).
    const double perChar = static_cast<double>(textWidth) / static_cast<double>(longest);
    const auto rowChars =
        static_cast<size_t>(0.9 * static_cast<double>(data.width.load()) / perChar);
    if (rowChars == 0 || rowChars >= longest) return;
    changeTextSource(data, [&](obs_data_t* settings) {
        obs_data_set_string(settings, "text", breakLines(text, rowChars).c_str());
    });
}

void markLookChanged(SubtitleSourceData& data) { data.look.changed.store(true); }

void applyChangedLook(SubtitleSourceData& data) {
    if (!data.look.changed.exchange(false)) return;
    changeTextSource(data, [&](obs_data_t* settings) {
        writeFont(settings, data);
        writeColor(settings, data);
        writeBackground(settings, data);
    });
}

}  // namespace obs_sayline
