#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "live/subtitle_sink.h"

namespace obs_sayline {

// The scene text: finished subtitles are left here for the render thread, which writes them
// into the private text source at its next frame. The worker never waits for a frame: one
// mutex guards the texts, and one atomic flag says a new one is waiting (a newer subtitle
// replaces one not yet shown).
class SceneTextSink final : public ISubtitleSink {
public:
    SceneTextSink();

    const char* name() const override { return "scene text"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    // Capture stopped: the render callback empties the text source at its next frame (the
    // host reads a video source's settings in its video tick, on that same thread).
    void clear() override;
    // For the renderer: true once after each clear.
    bool takeClear() { return clearPending_.exchange(false); }

    // Longest line shown, in characters ("Max Subtitle Length").
    void setMaxLineLength(size_t chars) { maxLineLength_.store(chars); }

    // For the renderer: the display text left since the last call, if any.
    std::optional<std::string> takePending();
    // Leaves a display text as a finished subtitle would (tests, and callers that have only
    // text).
    void leave(const std::string& displayText);

    bool dirty() const { return dirty_.load(); }
    std::string pendingText() const;
    std::string originalText() const;
    std::string translatedText() const;

private:
    std::atomic<size_t> maxLineLength_;
    mutable std::mutex mutex_;
    std::string originalText_;    // last recognised text
    std::string translatedText_;  // last translation
    std::string pendingText_;     // waiting to be shown
    std::atomic<bool> dirty_{false};
    std::atomic<bool> clearPending_{false};
};

}  // namespace obs_sayline
