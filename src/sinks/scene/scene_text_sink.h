#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/face_finder.h"
#include "platform/text_measure.h"
#include "sinks/scene/scene_rows.h"
#include "sinks/scene/subtitle_layout.h"
#include "sinks/subtitle_sinks.h"

namespace obs_sayline {

// What the scene shows, moved on by the host's video tick (graphics thread only).
struct SceneTimeline {
    // What the row text sources hold: the rows of one part, or the whole text in the first row.
    struct Rows {
        bool wholeText = false;
        SubtitlePart part;
    };
    std::optional<SubtitleLayout> subtitle;  // the one on screen
    size_t part = 0;                         // its part on screen
    bool visible = false;
    std::chrono::steady_clock::time_point shownAt{};  // when that part was written
    // Written into the row text sources at video frame `writtenFrame`; they take it in their
    // own tick, and are drawn holding it from the next frame on (`drawn` until then).
    bool written = false;
    std::optional<Rows> writtenRows;
    uint64_t writtenFrame = 0;
    std::optional<Rows> drawn;
};

// The scene text. Finished subtitles are laid out on the thread that delivers them, each line
// in a face that has its characters, and left in one slot (a newer subtitle replaces one not
// yet shown); the worker never waits for a frame. The host's video tick takes what was left,
// shows its parts in turn within the display time, takes it down when that time is up, and
// writes what changed into the rows; the render callback only draws what the rows hold.
// Scripts no installed font can draw are warned of once per activation and reported.
class SceneTextSink final : public ISubtitleSink {
public:
    using Clock = std::chrono::steady_clock;
    // Told the sentence naming the scripts no installed font has, or "" once every script of a
    // subtitle could be drawn.
    using FontReport = std::function<void(const std::string& missing)>;

    explicit SceneTextSink(std::shared_ptr<ISceneRows> rows, FontReport report = {});
    ~SceneTextSink() override;

    const char* name() const override { return "scene text"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    // Capture stopped: every row is emptied at the next tick.
    void clear() override;
    // Missing fonts are warned of again, and fonts installed since are found.
    void sourceActivated() override;

    // Settings (update). Longest line shown, in characters ("Max Subtitle Length").
    void setMaxLineLength(size_t chars) { maxLineLength_.store(chars); }
    // The box rows are laid out in, and the pixel size the text sources are given. Until a box
    // is known, the whole text goes to the first row.
    void setLayoutBox(const LayoutBox& box, int fontPixels);
    // The user's font (face, style, flags), as the row text sources are given it.
    void setFont(const platform::FontFace& font);
    // How long a subtitle stays up, its parts sharing that time.
    void setDisplayMs(int ms) { displayMs_.store(ms); }
    // Shown before every subtitle's text ("NAME: "); empty for none.
    void setSpeakerPrefix(const std::string& prefix);

    // Video tick (graphics thread): takes a subtitle left since the last tick, moves on to the
    // next part or takes the subtitle down when its time is up, and writes what changed into
    // the rows. `frame` is the host's video frame time.
    void tick(Clock::time_point now, uint64_t frame);
    // Graphics thread: what is on screen.
    const SceneTimeline& timeline() const { return timeline_; }

    // The subtitle left since the last call, if any (the tick takes it; tests look at it).
    std::optional<SubtitleLayout> takePending();
    // Leaves a display text as a finished subtitle would (tests, and callers that have only
    // text); `languages` hints at the language of each line.
    void leave(const std::string& displayText, const std::vector<std::string>& languages = {});

    bool dirty() const { return dirty_.load(); }
    std::string pendingText() const;
    std::string originalText() const;
    std::string translatedText() const;

private:
    SubtitleLayout layOut(const std::string& text, const std::vector<std::string>& languages);
    // Warns of scripts not warned of in this activation, and reports what is missing.
    void reportMissing(const std::vector<const platform::Script*>& missing);
    void store(SubtitleLayout laidOut);
    // Graphics thread: writes `rows` into the row text sources, emptying every other row.
    void writeRows(std::optional<SceneTimeline::Rows> rows, uint64_t frame);
    void writePart(uint64_t frame);

    std::shared_ptr<ISceneRows> rows_;
    FontReport report_;
    std::atomic<size_t> maxLineLength_;
    std::atomic<int> displayMs_;
    std::atomic<uint32_t> boxWidth_{0};
    std::atomic<uint32_t> boxHeight_{0};
    std::atomic<uint32_t> boxMargin_{0};
    std::atomic<int> fontPixels_{0};
    mutable std::mutex fontMutex_;  // held only to copy the font (and the prefix)
    std::string speakerPrefix_;     // guarded by fontMutex_
    platform::FontFace font_;       // guarded by fontMutex_
    // Set by an activation (any thread; the layout must not be waited for there).
    std::atomic<bool> freshActivation_{false};

    std::mutex measureMutex_;            // held while laying out, never by the tick
    platform::TextMeasure measure_;      // guarded by measureMutex_
    platform::FaceFinder faces_;         // guarded by measureMutex_
    std::set<std::string> warned_;       // scripts warned of; guarded by measureMutex_
    bool unmeasurableReported_ = false;  // guarded by measureMutex_

    mutable std::mutex mutex_;
    std::string originalText_;    // last recognised text
    std::string translatedText_;  // last translation
    SubtitleLayout pending_;      // waiting to be shown
    std::atomic<bool> dirty_{false};
    std::atomic<bool> cleared_{false};

    SceneTimeline timeline_;  // graphics thread
};

}  // namespace obs_sayline
