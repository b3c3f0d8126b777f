#include "plugin/text_source.h"

#include <algorithm>

#include "core/logger.h"
#include "core/utf8_text.h"
#include "platform/host_text_source.h"
#include "plugin/subtitle_source_data.h"

namespace obs_sayline {
namespace {

long long fontPixels(const SubtitleSourceData& data) {
    return platform::hostFontSize(static_cast<long long>(data.look.fontSize.load()) *
                                  kFontSizeScale);
}

// The font as set, in `face` when one is given.
platform::HostFont hostFont(const SubtitleSourceData& data, const std::string& face = "") {
    platform::HostFont font{data.look.fontNow(), fontPixels(data)};
    if (!face.empty()) font.face.face = face;
    return font;
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
    platform::writeTextFont(settings, hostFont(data));
    writeColor(settings, data);
    platform::writeTextOutline(settings, true, kOutlineSize, kOutlineColor);
    writeBackground(settings, data);
    platform::writeTextBoxLayout(settings, data.width.load(), data.height.load());
    obs_data_set_string(settings, "text", "");
    return settings;
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
            glyphs_.clear();
            font_.reset();
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

bool PrivateTextSource::holds(const platform::HostFont& wanted) const {
    return font_ && font_->face == wanted.face &&
           (font_->size == wanted.size || font_->size == wanted.size - 1);
}

std::optional<platform::HostFont> PrivateTextSource::fontFor(const std::string& text,
                                                             const platform::HostFont& wanted) {
    std::set<std::string> drawn = nonAsciiCharacters(text);
    std::lock_guard<std::mutex> lock(mutex);
    if (!holds(wanted)) {
        glyphs_ = std::move(drawn);
        font_ = wanted;
        return font_;
    }
    if (platform::kHostTextGlyphBudget == 0) return std::nullopt;
    glyphs_.insert(drawn.begin(), drawn.end());
    if (glyphs_.size() <= platform::kHostTextGlyphBudget) return std::nullopt;
    glyphs_ = std::move(drawn);
    platform::HostFont reload = wanted;
    if (font_->size == wanted.size) reload.size = wanted.size - 1;
    font_ = reload;
    return font_;
}

std::optional<platform::HostFont> PrivateTextSource::restyled(const platform::FontFace& font,
                                                              long long size) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!font_) return std::nullopt;
    platform::HostFont wanted{font, size};
    wanted.face.face = font_->face.face;
    if (holds(wanted)) return std::nullopt;
    // The host draws its current text afresh with the new font: counted as before, which
    // only ever reloads sooner.
    font_ = wanted;
    return font_;
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

SceneRows::SceneRows(std::shared_ptr<PrivateTextSource> first) {
    rows_.push_back(std::move(first));
}

SceneRows::~SceneRows() {
    if (look_) obs_data_release(look_);
}

std::shared_ptr<PrivateTextSource> SceneRows::row(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < rows_.size() ? rows_[index] : nullptr;
}

std::vector<std::shared_ptr<PrivateTextSource>> SceneRows::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
}

void SceneRows::setLook(obs_data_t* settings) {
    obs_data_t* look = obs_data_create();
    obs_data_apply(look, settings);
    obs_data_set_string(look, "text", "");
    std::lock_guard<std::mutex> lock(mutex_);
    if (look_) obs_data_release(look_);
    look_ = look;
}

void SceneRows::updateTemplate(obs_data_t* changes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (look_) {
        obs_data_apply(look_, changes);
        obs_data_set_string(look_, "text", "");
    }
}

void SceneRows::ensure(size_t count) {
    for (;;) {
        obs_data_t* look = nullptr;
        size_t index = 1;  // the first is createTextSource's
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_ || !look_) return;
            while (index < count && index < rows_.size() && rows_[index]->exists()) ++index;
            if (index >= count) return;
            look = obs_data_create();
            obs_data_apply(look, look_);
        }
        // Made without the mutex: the host takes its own locks in there.
        obs_source_t* created =
            obs_source_create_private(platform::kHostTextSourceId, kTextSourceName, look);
        obs_data_release(look);
        if (!created) {
            logErrorTag("Render", "Failed to create the text source of row %zu", index + 1);
            return;
        }
        std::shared_ptr<PrivateTextSource> row;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!closed_) {
                while (rows_.size() <= index) rows_.push_back(std::make_shared<PrivateTextSource>());
                row = rows_[index];
            }
        }
        if (!row) {
            obs_source_release(created);
            return;
        }
        row->adopt(created);
    }
}

void SceneRows::close(bool release) {
    std::vector<std::shared_ptr<PrivateTextSource>> rows;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        rows = rows_;
    }
    for (const auto& row : rows) {
        if (release) {
            row->release();
        } else {
            row->forget();
        }
    }
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
        applyLayoutBox(data);
    }
    logInfo("Text source config: font=%d, extents=%dx%d", data.look.fontSize.load(),
            static_cast<int>(data.width.load()), static_cast<int>(data.height.load()));

    obs_data_t* settings = initialSettings(data);
    data.sceneText->rows().setLook(settings);
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

void setText(SubtitleSourceData& data, PrivateTextSource& row, const std::string& text,
             const std::string& face) {
    obs_data_t* changes = obs_data_create();
    if (!text.empty()) {
        if (const auto font = row.fontFor(text, hostFont(data, face))) {
            platform::writeTextFont(changes, *font);
        }
    }
    obs_data_set_string(changes, "text", text.c_str());
    writeBackground(changes, data);
    platform::writeTextWrap(changes, 0);
    row.update(changes);
    obs_data_release(changes);
}

void markLookChanged(SubtitleSourceData& data) {
    obs_data_t* look = obs_data_create();
    platform::writeTextFont(look, hostFont(data));
    writeColor(look, data);
    writeBackground(look, data);
    data.sceneText->rows().updateTemplate(look);
    obs_data_release(look);
    data.look.changed.store(true);
}

// Only the changed keys go through obs_source_update; the settings object the host hands out
// is never written from here, since the graphics thread may be reading it in a deferred
// update. Each row keeps its own face; only its style and size follow the font as set.
void applyChangedLook(SubtitleSourceData& data) {
    if (!data.look.changed.exchange(false)) return;
    const platform::FontFace font = data.look.fontNow();
    const long long size = fontPixels(data);
    for (const auto& row : data.sceneText->rows().all()) {
        obs_data_t* changes = obs_data_create();
        if (const auto restyled = row->restyled(font, size)) {
            platform::writeTextFont(changes, *restyled);
        }
        writeColor(changes, data);
        writeBackground(changes, data);
        row->update(changes);
        obs_data_release(changes);
    }
}

LayoutBox sceneBox(const SubtitleSourceData& data) {
    LayoutBox box;
    box.width = data.width.load();
    box.height = data.height.load();
    if (data.look.backgroundEnabled.load()) {
        box.margin = static_cast<uint32_t>(std::max(0, data.look.backgroundPadding.load()));
    }
    return box;
}

void applyLayoutBox(SubtitleSourceData& data) {
    data.sceneText->setLayoutBox(sceneBox(data), static_cast<int>(fontPixels(data)));
}

}  // namespace obs_sayline
