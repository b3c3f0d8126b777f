#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <set>
#include <vector>

#include "platform/face_finder.h"
#include "platform/text_measure.h"
#include "plugin/subtitle_layout.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

struct PrivateTextSource;
class SceneRows;
class SourceStatus;

// A subtitle as the render thread takes it: the display text, and the parts it is shown in
// (none when the first row's text source takes the whole text, in `face`; empty for the font
// as set).
struct SceneSubtitle {
    std::string text;
    SubtitleLayout layout;
    std::string face;
};

// The scene text: finished subtitles are laid out here, on the thread that delivers them, each
// line in a face that has its characters, and left for the render thread, which writes them
// into the row text sources at its next frame. The worker never waits for a frame: one mutex
// guards the texts, and one atomic flag says a new one is waiting (a newer subtitle replaces one
// not yet shown). Scripts no installed font can draw are warned of once per activation and
// shown in `status`, if given.
class SceneTextSink final : public ISubtitleSink {
public:
    explicit SceneTextSink(std::shared_ptr<PrivateTextSource> firstRow,
                           std::shared_ptr<SourceStatus> status = nullptr);
    ~SceneTextSink() override;

    const char* name() const override { return "scene text"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    // Capture stopped: every row is emptied at the next frame.
    void clear() override;
    // Missing fonts are warned of again, and fonts installed since are found.
    void sourceActivated() override;

    // Longest line shown, in characters ("Max Subtitle Length").
    void setMaxLineLength(size_t chars) { maxLineLength_.store(chars); }
    // The box rows are laid out in, and the pixel size the text sources are given. Until a box
    // is known, the whole text goes to the first row.
    void setLayoutBox(const LayoutBox& box, int fontPixels);
    // The user's font (face, style, flags), as the row text sources are given it.
    void setFont(const platform::FontFace& font);

    // For the renderer: the subtitle left since the last call, if any.
    std::optional<SceneSubtitle> takePending();
    // For the renderer: true once after clear().
    bool takeCleared() { return cleared_.exchange(false); }
    // Leaves a display text as a finished subtitle would (tests, and callers that have only
    // text); `languages` hints at the language of each line.
    void leave(const std::string& displayText, const std::vector<std::string>& languages = {});

    // The text sources the rows are drawn from.
    SceneRows& rows() { return *rows_; }

    bool dirty() const { return dirty_.load(); }
    std::string pendingText() const;
    std::string originalText() const;
    std::string translatedText() const;

private:
    SceneSubtitle layOut(const std::string& text, const std::vector<std::string>& languages);
    // Warns of scripts not warned of in this activation, and sets or clears the status problem.
    void reportMissing(const std::vector<const platform::Script*>& missing);
    void store(SceneSubtitle laidOut);

    std::shared_ptr<SceneRows> rows_;
    std::shared_ptr<SourceStatus> status_;
    std::atomic<size_t> maxLineLength_;
    std::atomic<uint32_t> boxWidth_{0};
    std::atomic<uint32_t> boxHeight_{0};
    std::atomic<uint32_t> boxMargin_{0};
    std::atomic<int> fontPixels_{0};
    mutable std::mutex fontMutex_;  // held only to copy the font
    platform::FontFace font_;       // guarded by fontMutex_
    // Set by an activation (any thread; the layout must not be waited for there).
    std::atomic<bool> freshActivation_{false};

    std::mutex measureMutex_;            // held while laying out, never by the renderer
    platform::TextMeasure measure_;      // guarded by measureMutex_
    platform::FaceFinder faces_;         // guarded by measureMutex_
    std::set<std::string> warned_;       // scripts warned of; guarded by measureMutex_
    bool unmeasurableReported_ = false;  // guarded by measureMutex_

    mutable std::mutex mutex_;
    std::string originalText_;    // last recognised text
    std::string translatedText_;  // last translation
    SceneSubtitle pending_;       // waiting to be shown
    std::atomic<bool> dirty_{false};
    std::atomic<bool> cleared_{false};
};

}  // namespace obs_sayline
