#include "output/text_source_renderer.h"

#include <chrono>

#include "core/logger.h"
#include "output/subtitle_text.h"

namespace obs_sayline {
namespace {

constexpr const char* kTag = "TextSourceRenderer";
constexpr size_t kLoggedTextBytes = 50;

int64_t monotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string resolvedName(const RendererConfig& config) {
    return config.textSourceName.empty() ? "Sayline" : config.textSourceName;
}

std::string buildLogged(const std::vector<SubtitleEntry>& entries, const SubtitleStyle& style,
                        const std::string& textTemplate) {
    bool truncated = false;
    std::string text = buildSubtitleText(entries, style, textTemplate, &truncated);
    // The line names the limit, not the length after the cut to a whole UTF-8 character.
    if (truncated) logWarningTag(kTag, "Text truncated to %zu characters", kMaxSubtitleTextBytes);
    return text;
}

}  // namespace

TextSourceRenderer::TextSourceRenderer() = default;

TextSourceRenderer::~TextSourceRenderer() { shutdown(); }

obs_source_t* TextSourceRenderer::findOrCreateSource(const std::string& name, bool create) {
    if (obs_source_t* found = obs_get_source_by_name(name.c_str())) {
        logDebugTag(kTag, "Found existing OBS text source: %s", name.c_str());
        return found;
    }
    if (!create) return nullptr;
    obs_data_t* settings = obs_data_create();
    applyStyleToSettings(config_.style, settings);
    obs_source_t* made = obs_source_create(kTextSourceTypeId, name.c_str(), settings, nullptr);
    obs_data_release(settings);
    if (!made) {
        logErrorTag(kTag, "Failed to create OBS text source: %s", name.c_str());
        return nullptr;
    }
    logInfoTag(kTag, "Created OBS text source: %s", name.c_str());
    return made;
}

Result<void> TextSourceRenderer::initialize(const RendererConfig& config) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (initialized_) return Result<void>::success();
    config_ = config;
    sourceName_ = resolvedName(config);
    source_ = findOrCreateSource(sourceName_, config.createSourceIfMissing);
    if (!source_) {
        return Result<void>(ErrorCode::RendererInitError,
                            (config.createSourceIfMissing ? "Failed to create OBS text source: "
                                                          : "OBS text source not found: ") +
                                sourceName_);
    }
    initialized_ = true;
    logInfoTag(kTag, "Initialized with source: %s", sourceName_.c_str());
    return Result<void>::success();
}

void TextSourceRenderer::shutdown() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!initialized_) return;
    clearLocked();
    if (source_) {
        obs_source_release(source_);
        source_ = nullptr;
    }
    initialized_ = false;
    logInfoTag(kTag, "Shutdown complete");
}

void TextSourceRenderer::setSourceText(const std::string& text) {
    if (!source_) return;
    obs_data_t* settings = obs_source_get_settings(source_);
    obs_data_set_string(settings, "text", text.c_str());
    obs_source_update(source_, settings);
    obs_data_release(settings);
}

Result<void> TextSourceRenderer::showSubtitles(const std::vector<SubtitleEntry>& entries) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!initialized_) return Result<void>(ErrorCode::RendererNotReady, "Renderer not initialized");
    entries_ = entries;
    lastShowMs_ = monotonicMs();
    ++showCount_;
    const std::string text = buildLogged(entries_, config_.style, template_);
    setSourceText(text);
    if (config_.enableSourceOnShow && source_) obs_source_set_enabled(source_, true);
    hasSubtitle_ = !entries_.empty();
    if (hasSubtitle_ && onShown_) onShown_(entries_.front());
    logDebugTag(kTag, "Showing subtitle: %s",
                text.empty() ? "(empty)" : text.substr(0, kLoggedTextBytes).c_str());
    return Result<void>::success();
}

void TextSourceRenderer::clearLocked() {
    entries_.clear();
    lastShowMs_ = 0;
    ++clearCount_;
    setSourceText("");
    if (config_.disableSourceOnClear && source_) obs_source_set_enabled(source_, false);
    hasSubtitle_ = false;
    if (onCleared_) onCleared_();
    logDebugTag(kTag, "Subtitle cleared");
}

void TextSourceRenderer::clear() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    clearLocked();
}

std::string TextSourceRenderer::getName() const { return "OBS Text Source"; }

Result<void> TextSourceRenderer::refresh() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (entries_.empty()) return Result<void>::success();
    setSourceText(buildLogged(entries_, config_.style, template_));
    ++updateCount_;
    return Result<void>::success();
}

Result<void> TextSourceRenderer::setStyle(const SubtitleStyle& style) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!initialized_) return Result<void>(ErrorCode::RendererNotReady, "Renderer not initialized");
    config_.style = style;
    if (source_) {
        obs_data_t* settings = obs_source_get_settings(source_);
        applyStyleToSettings(style, settings);
        obs_source_update(source_, settings);
        obs_data_release(settings);
    }
    if (!entries_.empty()) setSourceText(buildLogged(entries_, config_.style, template_));
    return Result<void>::success();
}

Result<void> TextSourceRenderer::updateConfig(const RendererConfig& config) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (!initialized_) return Result<void>(ErrorCode::RendererNotReady, "Renderer not initialized");
    const std::string name = resolvedName(config);
    if (name != sourceName_) {
        if (source_) {
            obs_source_release(source_);
            source_ = nullptr;
        }
        sourceName_ = name;
        // New sources take the new style.
        config_.style = config.style;
        source_ = findOrCreateSource(name, config.createSourceIfMissing);
        if (!source_ && config.createSourceIfMissing) {
            return Result<void>(ErrorCode::RendererInitError,
                                "Failed to create new OBS text source: " + name);
        }
    }
    config_ = config;
    return Result<void>::success();
}

void TextSourceRenderer::show() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    visible_ = true;
    if (source_) obs_source_set_enabled(source_, true);
}

void TextSourceRenderer::hide() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    visible_ = false;
    if (source_) obs_source_set_enabled(source_, false);
}

std::string TextSourceRenderer::getStatusJson() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return rendererStatusJson(sourceName_, showCount_, updateCount_, clearCount_, hasSubtitle_);
}

std::string TextSourceRenderer::sourceName() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return sourceName_;
}

}  // namespace obs_sayline
