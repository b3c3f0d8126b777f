#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "sinks/subtitle_sinks.h"
#include "platform/text_measure.h"
#include "plugin/subtitle_layout.h"

namespace obs_sayline {

struct PrivateTextSource;
class SceneRows;

// A subtitle as the render thread takes it: the display text, and the parts it is shown in
// (none when the first row's text source takes the whole text).
struct SceneSubtitle {
    std::string text;
    SubtitleLayout layout;
};

// The scene text: finished subtitles are laid out here, on the thread that delivers them, and
// left for the render thread, which writes them into the row text sources at its next frame.
// The worker never waits for a frame: one mutex guards the texts, and one atomic flag says a
// new one is waiting (a newer subtitle replaces one not yet shown).
class SceneTextSink final : public ISubtitleSink {
public:
    explicit SceneTextSink(std::shared_ptr<PrivateTextSource> firstRow);
    ~SceneTextSink() override;

    const char* name() const override { return "scene text"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    // Capture stopped: every row is emptied at the next frame.
    void clear() override;

    // Longest line shown, in characters ("Max Subtitle Length").
    void setMaxLineLength(size_t chars) { maxLineLength_.store(chars); }
    // The box rows are laid out in, and the pixel size the text sources are given. Until a box
    // is known, the whole text goes to the first row.
    void setLayoutBox(const LayoutBox& box, int fontPixels);

    // For the renderer: the subtitle left since the last call, if any.
    std::optional<SceneSubtitle> takePending();
    // For the renderer: true once after clear().
    bool takeCleared() { return cleared_.exchange(false); }
    // Leaves a display text as a finished subtitle would (tests, and callers that have only
    // text).
    void leave(const std::string& displayText);

    // The text sources the rows are drawn from.
    SceneRows& rows() { return *rows_; }

    bool dirty() const { return dirty_.load(); }
    std::string pendingText() const;
    std::string originalText() const;
    std::string translatedText() const;

private:
    SceneSubtitle layOut(const std::string& text);
    void store(SceneSubtitle laidOut);

    std::shared_ptr<SceneRows> rows_;
    std::atomic<size_t> maxLineLength_;
    std::atomic<uint32_t> boxWidth_{0};
    std::atomic<uint32_t> boxHeight_{0};
    std::atomic<uint32_t> boxMargin_{0};
    std::atomic<int> fontPixels_{0};

    std::mutex measureMutex_;            // held while laying out, never by the renderer
    platform::TextMeasure measure_;      // guarded by measureMutex_
    bool unmeasurableReported_ = false;  // guarded by measureMutex_

    mutable std::mutex mutex_;
    std::string originalText_;    // last recognised text
    std::string translatedText_;  // last translation
    SceneSubtitle pending_;       // waiting to be shown
    std::atomic<bool> dirty_{false};
    std::atomic<bool> cleared_{false};
};

}  // namespace obs_sayline
