#include "plugin/text_source.h"

#include <mutex>

#include "core/logger.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

void setFont(obs_data_t* settings, int fontSize) {
    obs_data_t* font = obs_data_create();
    obs_data_set_string(font, "face", kFontFace);
    obs_data_set_int(font, "size", static_cast<long long>(fontSize) * kFontSizeScale);
    obs_data_set_int(font, "flags", 0);
    obs_data_set_obj(settings, "font", font);
    obs_data_release(font);
}

void setColor(obs_data_t* settings, uint32_t textColor) {
    const long long color = textSourceColor(textColor);
#ifdef _WIN32
    obs_data_set_int(settings, "color", color);
#else
    obs_data_set_int(settings, "color1", color);
    obs_data_set_int(settings, "color2", color);
#endif
}

// The FreeType source has no background; the render callback draws it instead.
void setBackground(obs_data_t* settings, const SubtitleSourceData& data) {
#ifdef _WIN32
    const BackgroundLook look = backgroundLook(data.backgroundEnabled, data.backgroundColor);
    if (look.writeColor) obs_data_set_int(settings, "bk_color", look.color);
    obs_data_set_int(settings, "bk_opacity", look.opacity);
#else
    (void)settings;
    (void)data;
#endif
}

#ifndef _WIN32
// The FreeType source draws a wrapping text left-aligned in a texture of the full wrap width,
// which the render callback could no longer centre; so a text is written unwrapped and only
// wrapped (at the box width) when it turns out wider than the box.
void setWrap(obs_data_t* settings, const SubtitleSourceData& data, bool wrap) {
    obs_data_set_int(settings, "custom_width", wrap ? data.width.load() : 0);
    obs_data_set_bool(settings, "word_wrap", wrap);
}
#endif

obs_data_t* initialSettings(const SubtitleSourceData& data) {
    obs_data_t* settings = obs_data_create();
    setFont(settings, data.fontSize);
    setColor(settings, data.textColor);
    obs_data_set_bool(settings, "outline", true);
#ifdef _WIN32
    obs_data_set_int(settings, "outline_size", kOutlineSize);
    obs_data_set_int(settings, "outline_color", kOutlineColor);
    setBackground(settings, data);
    obs_data_set_string(settings, "align", "center");
    obs_data_set_string(settings, "valign", "center");
    obs_data_set_bool(settings, "extents", true);
    obs_data_set_int(settings, "extents_cx", data.width.load());
    obs_data_set_int(settings, "extents_cy", data.height.load());
    obs_data_set_bool(settings, "extents_wrap", true);
#else
    obs_data_set_bool(settings, "drop_shadow", false);
    setWrap(settings, data, false);
    obs_data_set_bool(settings, "antialiasing", true);
#endif
    obs_data_set_string(settings, "text", "");
    return settings;
}

// Only the changed keys go through obs_source_update, which merges them into the text
// source's settings under the host's rules; the settings object the host hands out is never
// written from here, since the graphics thread may be reading it in a deferred update.
template <typename Change>
void updateTextSource(SubtitleSourceData& data, Change&& change) {
    obs_source_t* text = acquireTextSource(data);
    if (!text) return;
    obs_data_t* changes = obs_data_create();
    change(changes);
    obs_source_update(text, changes);
    obs_data_release(changes);
    obs_source_release(text);
}

}  // namespace

BackgroundLook backgroundLook(bool enabled, uint32_t backgroundColor) {
    BackgroundLook look;
    if (!enabled) return look;
    look.writeColor = true;
    look.color = ((backgroundColor & 0xFFu) << 16) | (backgroundColor & 0xFF00u) |
                 ((backgroundColor >> 16) & 0xFFu);
    look.opacity = static_cast<int>((backgroundColor >> 24) * 100 / 255);
    return look;
}

uint32_t textSourceColor(uint32_t textColor) {
#ifdef _WIN32
    return textColor;
#else
    return textColor | 0xFF000000u;
#endif
}

void createTextSource(SubtitleSourceData& data) {
    {
        std::lock_guard<std::mutex> lock(data.textSourceMutex);
        if (data.textSource) return;
    }
    logInfo("createTextSource() called");
    obs_video_info video{};
    if (obs_get_video_info(&video)) {
        data.width.store(video.base_width);
        data.canvasKnown.store(true);
        logInfo("Canvas: %ux%u", video.base_width, video.base_height);
    }
    logInfo("Text source config: font=%d, extents=%dx%d", data.fontSize,
            static_cast<int>(data.width.load()), static_cast<int>(data.height.load()));

    obs_data_t* settings = initialSettings(data);
    logInfo("All settings configured, creating text source...");
    logInfo("Attempting to create %s source", kTextSourceType);
    // Created without holding the mutex: the text source's own update enters the graphics
    // context, which the render thread may hold while it waits for that mutex.
    obs_source_t* created = obs_source_create_private(kTextSourceType, kTextSourceName, settings);
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

    obs_source_t* extra = nullptr;
    {
        std::lock_guard<std::mutex> lock(data.textSourceMutex);
        if (data.textSource) {
            extra = created;  // the other thread was first
        } else {
            data.textSource = created;
        }
    }
    if (extra) obs_source_release(extra);
}

obs_source_t* acquireTextSource(SubtitleSourceData& data) {
    std::lock_guard<std::mutex> lock(data.textSourceMutex);
    return data.textSource ? obs_source_get_ref(data.textSource) : nullptr;
}

void setText(SubtitleSourceData& data, const std::string& text) {
    updateTextSource(data, [&](obs_data_t* settings) {
        obs_data_set_string(settings, "text", text.c_str());
        setBackground(settings, data);
#ifndef _WIN32
        setWrap(settings, data, false);
#endif
    });
}

void wrapText(SubtitleSourceData& data) {
#ifdef _WIN32
    (void)data;  // GDI+ wraps inside its extents on its own
#else
    updateTextSource(data, [&](obs_data_t* settings) { setWrap(settings, data, true); });
#endif
}

void applyFontAndColor(SubtitleSourceData& data) {
    updateTextSource(data, [&](obs_data_t* settings) {
        setFont(settings, data.fontSize);
        setColor(settings, data.textColor);
    });
}

void applyBackground(SubtitleSourceData& data) {
    updateTextSource(data, [&](obs_data_t* settings) { setBackground(settings, data); });
}

}  // namespace obs_sayline
