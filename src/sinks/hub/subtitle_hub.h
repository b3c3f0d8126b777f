#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sinks/captions/caption_channel.h"
#include "sinks/captions/closed_caption_sink.h"
#include "sinks/hub/caption_report_fanout.h"
#include "sinks/subtitle_sinks.h"
#include "sinks/transcript/transcript_options.h"
#include "sinks/transcript/transcript_sink.h"
#include "sinks/youtube/youtube_caption_sink.h"

namespace obs_sayline {

// What one source gives the shared outputs, from its own settings.
struct HubContribution {
    std::string label;    // the source's name, for the log
    std::string speaker;  // "Speaker name"; empty: none
    bool captions = false;
    CaptionText captionText = CaptionText::Translation;
    TranscriptOptions transcript;  // format Off: it adds nothing to the transcript
    YouTubeCaptionOptions youtube;  // not enabled: it sends nothing to YouTube
    // Where the shared YouTube captions' posts and problems show for this source.
    std::shared_ptr<ICaptionDeliveryReport> youtubeReport;
};

// The outputs every Sayline source shares: one CEA-608 caption stream into the host's outputs,
// one transcript (per recording, or per time any source is on air), and whatever other sink is
// attached. Sources deliver their finished subtitles here with their speaker; the hub puts
// them in order of speech start and hands each output what its source contributes to it.
// With two or more sources a subtitle waits kOrderWindow for one spoken before it that is
// still on its way; with one it goes on at once.
//
// YouTube's captions are one more shared output (one poster, one seq for every source): the
// caption URL and offset are those of the first source that turned them on, settled and
// logged as the transcript's are; its posts and problems reach every source sending to it.
//
// The transcript's folder and format are those of the first source that turned it on (the
// next one in turn when that one turns it off or leaves); the log says whose apply. Its cues
// never overlap, so a cue of another speaker starts once the one before has been up for its
// reading time, as the captions do.
//
// Entry points take a short lock and never wait on an output. The work is done by one thread
// (registered, started when there is something to do, gone when nothing is left), or, for
// tests, by whoever calls pump.
class SubtitleHub : public std::enable_shared_from_this<SubtitleHub> {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kOrderWindow{300};

    // `threaded`: a thread of its own pumps; otherwise the owner calls pump.
    explicit SubtitleHub(CaptionSender send, bool threaded = true);
    ~SubtitleHub();
    SubtitleHub(const SubtitleHub&) = delete;
    SubtitleHub& operator=(const SubtitleHub&) = delete;

    // The process's hub: the one every source holds, or a new one made by `make` when no
    // source holds one.
    static std::shared_ptr<SubtitleHub> shared(
        const std::function<std::shared_ptr<SubtitleHub>()>& make);

    // A source comes and goes; the id names it in every other call.
    uint64_t join();
    void leave(uint64_t source);
    void configure(uint64_t source, const HubContribution& contribution);
    // A finished subtitle of `source` that reached the scene at `at`.
    void deliver(uint64_t source, const FinishedSubtitle& subtitle, Clock::time_point at);
    void activated(uint64_t source);
    void deactivated(uint64_t source);

    // Another shared output: it gets, in order, the finished subtitles (speaker set, the text
    // each source's "Caption text" picks) of the sources `takes` says yes to, and is on air
    // (sourceActivated) while any of those is.
    void attach(std::shared_ptr<ISubtitleSink> sink,
                std::function<bool(const HubContribution&)> takes);

    const std::shared_ptr<TranscriptSink>& transcript() const { return transcript_; }
    const std::shared_ptr<YouTubeCaptionSink>& youtube() const { return youtube_; }

    // Does what is due at `now`; says when more is due (nothing: idle).
    std::optional<Clock::time_point> pump(Clock::time_point now);

private:
    struct Source {
        HubContribution contribution;
        uint64_t transcriptSince = 0;  // when it turned transcripts on (0: off)
        uint64_t youtubeSince = 0;     // when it turned YouTube's captions on (0: off)
        bool active = false;
        std::shared_ptr<std::atomic<bool>> warned = std::make_shared<std::atomic<bool>>(false);
    };
    struct Pending {
        FinishedSubtitle subtitle;
        HubContribution contribution;
        std::shared_ptr<std::atomic<bool>> warned;
        Clock::time_point at;
        Clock::time_point releaseAt;
    };
    struct Attached {
        std::shared_ptr<ISubtitleSink> sink;
        std::function<bool(const HubContribution&)> takes;
        bool onAir = false;
    };

    void settleTranscriptLocked();
    void settleYouTubeLocked();
    // Tells each attached output whether a source it takes is on air, when that changed.
    void settleOnAirLocked();
    void wakeLocked();
    void run();

    CaptionSender send_;
    const bool threaded_;
    std::shared_ptr<TranscriptSink> transcript_ = std::make_shared<TranscriptSink>();
    std::shared_ptr<CaptionReportFanOut> youtubeReport_ = std::make_shared<CaptionReportFanOut>();
    std::shared_ptr<YouTubeCaptionSink> youtube_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::map<uint64_t, Source> sources_;
    uint64_t nextSource_ = 1;
    uint64_t nextTurn_ = 1;
    uint64_t transcriptOwner_ = 0;
    uint64_t youtubeOwner_ = 0;
    size_t activeSources_ = 0;
    std::vector<Pending> pending_;  // by speech start
    CaptionChannel channel_;
    std::vector<Attached> attached_;
    bool running_ = false;
    size_t lastReached_ = 0;  // outputs the previous captions went to (pump only)
    // The transcript's last speaker and when its cue has been up for its reading time (pump
    // only): another speaker's cue starts no earlier.
    uint64_t transcriptSpeaker_ = 0;
    Clock::time_point transcriptFree_{};
};

}  // namespace obs_sayline
