#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sinks/subtitle_sinks.h"
#include "sinks/youtube/caption_poster.h"

namespace obs_sayline {

constexpr int kYouTubeOffsetMinMs = -10000;
constexpr int kYouTubeOffsetMaxMs = 10000;

// The sink's slice of the settings.
struct YouTubeCaptionOptions {
    bool enabled = false;
    std::string url;          // as pasted; carries the stream's key
    bool translation = true;  // the translation when there is one, else the original
    int offsetMs = 0;         // added to every caption's time (a stream delay); clamped
};

// The captions one finished subtitle makes: its chosen text cut into captions of two rows,
// each timed at its share (by characters) of the speech's span from when the speech began,
// plus the offset. A subtitle whose start on the system clock is not known is taken to have
// ended at `now`. `mark` (a change of speaker) goes before the text.
std::vector<TimedCaption> captionsForSubtitle(const FinishedSubtitle& subtitle, bool translation,
                                              int offsetMs,
                                              std::chrono::system_clock::time_point now,
                                              const std::string& mark = "");

// Captions on a YouTube live stream through its caption ingestion URL. Runs while the stream
// does (streamingStarted/Stopped, from the front end's events); where no front end tells of
// streaming, while the source is on air (followSourceActivation). Each start is a new stream
// to YouTube (seq from 1). Only finished subtitles go out; delivery is the poster's worker's,
// so deliver only cuts, times and queues. A change of speaker is marked as in closed captions:
// ">> NAME: " (">> " for a speaker without a name; nothing before the first one when it has
// none).
class YouTubeCaptionSink final : public ISubtitleSink {
public:
    explicit YouTubeCaptionSink(std::shared_ptr<ICaptionDeliveryReport> report = nullptr,
                                CaptionPosterOptions options = {});

    const char* name() const override { return "YouTube captions"; }
    void deliver(const FinishedSubtitle& subtitle) override;
    void sourceActivated() override;
    void sourceDeactivated() override;

    // The settings (update, control or graphics thread).
    void configure(const YouTubeCaptionOptions& options);
    // Whether the source's time on air stands for the stream (no front end to tell).
    void followSourceActivation(bool follow);
    void streamingStarted();
    void streamingStopped();

    const YouTubeCaptionPoster& poster() const { return poster_; }

private:
    YouTubeCaptionPoster poster_;
    std::atomic<bool> translation_{true};
    std::atomic<int> offsetMs_{0};
    std::atomic<bool> followSource_{false};
    // The speaker of the last caption (deliver only; the lock is for tests that deliver from
    // two threads).
    std::mutex speakerMutex_;
    bool spoken_ = false;
    uint64_t lastSpeakerId_ = 0;
    std::string lastSpeaker_;
};

}  // namespace obs_sayline
