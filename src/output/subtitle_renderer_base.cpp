#include "output/subtitle_renderer_base.h"

#include <algorithm>
#include <utility>

#include "core/logger.h"

namespace obs_sayline {

bool SubtitleRendererBase::isInitialized() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return initialized_;
}

Result<void> SubtitleRendererBase::showSubtitle(const SubtitleEntry& entry) {
    return showSubtitles({entry});
}

Result<void> SubtitleRendererBase::updateSubtitle(const SubtitleEntry& entry) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (entries_.empty()) return showSubtitle(entry);
    entries_.front() = entry;
    return refresh();
}

bool SubtitleRendererBase::hasSubtitle() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return hasSubtitle_;
}

SubtitleEntry SubtitleRendererBase::getCurrentSubtitle() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return entries_.empty() ? SubtitleEntry{} : entries_.front();
}

std::vector<SubtitleEntry> SubtitleRendererBase::getCurrentSubtitles() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return entries_;
}

RendererConfig SubtitleRendererBase::getConfig() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return config_;
}

SubtitleStyle SubtitleRendererBase::getStyle() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return config_.style;
}

bool SubtitleRendererBase::isVisible() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return visible_;
}

void SubtitleRendererBase::setOpacity(float opacity) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    opacity_ = std::clamp(opacity, 0.0f, 1.0f);
    logDebugTag("TextSourceRenderer", "Opacity set to %.2f (may require filter)",
                static_cast<double>(opacity_));
}

float SubtitleRendererBase::getOpacity() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return opacity_;
}

void SubtitleRendererBase::setOnShown(ShownCallback callback) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    onShown_ = std::move(callback);
}

void SubtitleRendererBase::setOnCleared(ClearedCallback callback) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    onCleared_ = std::move(callback);
}

}  // namespace obs_sayline
