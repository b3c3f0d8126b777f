#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "sinks/subtitle_sinks.h"
#include "sinks/transcript/session_clock.h"
#include "sinks/transcript/transcript_options.h"

namespace obs_sayline {

// Transcript files of what was said: each finished subtitle becomes one cue, appended and
// flushed by a writer thread of the sink's own (started when there is something to write, gone
// once no file is open), so neither the recognition worker nor the host's threads wait on a
// disk. Every entry point only takes a short lock.
//
// Which transcript: while the front end records, one per recording, named after its file and
// timed from its start, with paused spans left out (subtitles finished while paused are not
// written). Otherwise one per time the source is on air, named sayline-<date>_<time> and timed
// from its activation; after a deactivation it still takes, for a short while, the subtitle of
// the audio heard before it (the capture's leftover is recognised after the stop).
//
// Times: a cue starts when its subtitle reaches the screen, that is, at delivery (the scene
// text draws it at the next frame), on the transcript's clock, and lasts the subtitle's display
// time, or less when the next one replaces it. The subtitle's own times are on the capture's
// audio clock, which starts again with every capture (every settings change) and runs ahead of
// the screen by the recognition's delay; they give only a length when there is no display time.
// So a transcript beside a recording shows each text when the recording does. A late subtitle
// (one never shown: its text came too long after its speech) is placed where it was spoken,
// its lateness and its length back from its delivery.
class TranscriptSink final : public ISubtitleSink {
public:
    using Clock = std::chrono::steady_clock;

    // How long a transcript ended by deactivation still takes late subtitles.
    static constexpr std::chrono::milliseconds kLateCueGrace{10000};

    TranscriptSink();
    ~TranscriptSink() override;
    TranscriptSink(const TranscriptSink&) = delete;
    TranscriptSink& operator=(const TranscriptSink&) = delete;

    const char* name() const override { return "transcript"; }
    void deliver(const FinishedSubtitle& subtitle) override { deliverAt(subtitle, Clock::now()); }
    // The source's activation and deactivation (the host calls them in its video tick).
    void sourceActivated() override;
    void sourceDeactivated() override;

    // A subtitle that reached the screen at `at`.
    void deliverAt(const FinishedSubtitle& subtitle, Clock::time_point at);

    // The settings (update, on the control or the graphics thread). A change ends the files
    // being written; the next cue starts new ones.
    void configure(const TranscriptOptions& options);

    // The front end's recording, with the moment of each event. An empty path: the recording's
    // file is unknown, the transcript gets a sayline- name in the videos folder. A recording
    // already under way comes with its clock as it stands (its pauses so far).
    void recordingStarted(const std::string& recordingPath, SessionClock clock);
    void recordingStarted(const std::string& recordingPath, Clock::time_point at) {
        recordingStarted(recordingPath, SessionClock(at));
    }
    void recordingStopped(Clock::time_point at);
    void recordingPaused(Clock::time_point at);
    void recordingUnpaused(Clock::time_point at);

    // Cues that went into files so far.
    uint64_t cuesWritten() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace obs_sayline
