#include "plugin/scene_text_sink.h"

#include "live/display_text.h"
#include "plugin/source_defaults.h"

namespace obs_sayline {

SceneTextSink::SceneTextSink()
    : maxLineLength_(static_cast<size_t>(defaults::kMaxSubtitleLength.defaultValue)) {}

void SceneTextSink::deliver(const FinishedSubtitle& subtitle) {
    // Cut before taking the lock: a runaway reply must not reach the text source whole.
    std::string shown = limitLineLength(subtitle.text, maxLineLength_.load());
    std::lock_guard<std::mutex> lock(mutex_);
    if (subtitle.interim && shown.empty()) {
        // The line being spoken was withdrawn: take it down at the next frame.
        dirty_.exchange(false);
        clearPending_.store(true);
        return;
    }
    if (!subtitle.interim) {
        originalText_ = subtitle.original;
        translatedText_ = subtitle.translation;
    }
    if (shown.empty()) return;
    pendingText_ = std::move(shown);
    dirty_.exchange(true);
}

void SceneTextSink::clear() { clearPending_.store(true); }

std::optional<std::string> SceneTextSink::takePending() {
    if (!dirty_.exchange(false)) return std::nullopt;
    std::lock_guard<std::mutex> lock(mutex_);
    return pendingText_;
}

void SceneTextSink::leave(const std::string& displayText) {
    std::lock_guard<std::mutex> lock(mutex_);
    pendingText_ = displayText;
    dirty_.exchange(true);
}

std::string SceneTextSink::pendingText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return pendingText_;
}

std::string SceneTextSink::originalText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return originalText_;
}

std::string SceneTextSink::translatedText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return translatedText_;
}

}  // namespace obs_sayline
