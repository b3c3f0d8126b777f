#include "plugin/text_source.h"

#include <algorithm>

#include "core/logger.h"
#include "core/utf8_text.h"
#include "platform/host_text_source.h"
#include "plugin/source_log.h"

namespace obs_sayline {
namespace {

// The font as set, in `face` when one is given.
platform::HostFont hostFont(const SceneLook& look, const std::string& face = "") {
    platform::HostFont font{look.font, textPixels(look)};
    if (!face.empty()) font.face.face = face;
    return font;
}

void writeColor(obs_data_t* settings, const SceneLook& look) {
    platform::writeTextColor(settings, platform::hostTextColor(look.textColor));
}

void writeBackground(obs_data_t* settings, const SceneLook& look) {
    const BackgroundLook background = backgroundLook(look.backgroundEnabled, look.backgroundColor);
    platform::writeTextBackground(settings, background.writeColor, background.color,
                                  background.opacity);
}

// What a new row's text source is made with.
obs_data_t* rowSettings(const SceneLook& look, uint32_t width, uint32_t height) {
    obs_data_t* settings = obs_data_create();
    platform::writeTextFont(settings, hostFont(look));
    writeColor(settings, look);
    platform::writeTextOutline(settings, true, kOutlineSize, kOutlineColor);
    writeBackground(settings, look);
    platform::writeTextBoxLayout(settings, width, height);
    obs_data_set_string(settings, "text", "");
    return settings;
}

}  // namespace

long long textPixels(const SceneLook& look) {
    return platform::hostFontSize(static_cast<long long>(look.fontSize) * kFontSizeScale);
}

LayoutBox sceneBox(const SceneLook& look, uint32_t width, uint32_t height) {
    LayoutBox box;
    box.width = width;
    box.height = height;
    if (look.backgroundEnabled) box.margin = static_cast<uint32_t>(std::max(0, look.backgroundPadding));
    return box;
}

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

SceneRows::SceneRows(obs_source_t* owner) : owner_(owner) {}

SceneRows::~SceneRows() = default;

void SceneRows::setLook(const SceneLook& look, uint32_t width, uint32_t height) {
    std::lock_guard<std::mutex> lock(mutex_);
    look_ = look;
    width_ = width;
    height_ = height;
    lookChanged_.store(true);
}

SceneLook SceneRows::look() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return look_;
}

std::shared_ptr<PrivateTextSource> SceneRows::row(size_t index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return index < rows_.size() ? rows_[index] : nullptr;
}

std::vector<std::shared_ptr<PrivateTextSource>> SceneRows::all() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_;
}

size_t SceneRows::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return rows_.size();
}

void SceneRows::ensure(size_t count) {
    // Without a running host there is nothing to make them in (a record used on its own).
    if (!obs_initialized()) return;
    for (size_t index = 0; index < count; ++index) {
        obs_data_t* settings = nullptr;
        long long pixels = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closed_) return;
            if (index < rows_.size() && rows_[index]->exists()) continue;
            settings = rowSettings(look_, width_, height_);
            pixels = textPixels(look_);
        }
        // Made without the mutex: the host takes its own locks in there.
        obs_source_t* created =
            obs_source_create_private(platform::kHostTextSourceId, kTextSourceName, settings);
        obs_data_release(settings);
        if (!created) {
            logSource(LogLevel::Error, owner_, "could not make the text source of row %zu",
                      index + 1);
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
        if (row->adopt(created) && index == 0) {
            logSource(LogLevel::Info, owner_, "made its text source (%s, %lld px)",
                      platform::kHostTextSourceId, pixels);
        }
    }
}

void SceneRows::write(size_t index, const std::string& text, const std::string& face) {
    std::shared_ptr<PrivateTextSource> target = row(index);
    if (!target || !target->exists()) return;
    const SceneLook current = look();
    obs_data_t* changes = obs_data_create();
    if (!text.empty()) {
        if (const auto font = target->fontFor(text, hostFont(current, face))) {
            platform::writeTextFont(changes, *font);
        }
    }
    obs_data_set_string(changes, "text", text.c_str());
    writeBackground(changes, current);
    platform::writeTextWrap(changes, 0);
    target->update(changes);
    obs_data_release(changes);
}

// Only the changed keys go through obs_source_update; the settings object the host hands out
// is never written from here, since the graphics thread may be reading it in a deferred
// update.
void SceneRows::applyLook() {
    if (!lookChanged_.exchange(false)) return;
    const SceneLook current = look();
    const long long size = textPixels(current);
    for (const auto& row : all()) {
        obs_data_t* changes = obs_data_create();
        if (const auto restyled = row->restyled(current.font, size)) {
            platform::writeTextFont(changes, *restyled);
        }
        writeColor(changes, current);
        writeBackground(changes, current);
        row->update(changes);
        obs_data_release(changes);
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

}  // namespace obs_sayline
