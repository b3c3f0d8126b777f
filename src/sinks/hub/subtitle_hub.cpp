#include "sinks/hub/subtitle_hub.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "core/cancel_token.h"
#include "core/logger.h"
#include "core/worker_registry.h"
#include "sinks/captions/cea608_text.h"
#include "sinks/youtube/caption_url.h"

namespace obs_sayline {
namespace {

// How often an idle hub thread looks at its token (unload).
constexpr std::chrono::milliseconds kIdleCheck{100};

template <typename Call>
void guarded(const char* what, Call&& call) {
    try {
        call();
    } catch (const std::exception& e) {
        logErrorTag("Sink", "%s failed: %s", what, e.what());
    } catch (...) {
        logErrorTag("Sink", "%s failed", what);
    }
}

std::optional<SubtitleHub::Clock::time_point> earlier(
    std::optional<SubtitleHub::Clock::time_point> a,
    std::optional<SubtitleHub::Clock::time_point> b) {
    if (!a) return b;
    if (!b) return a;
    return std::min(*a, *b);
}

// A name 608 cannot carry leaves the mark without it.
std::string captionSpeaker(const std::string& name) {
    Cea608Characters carried = toCea608Characters(name);
    return carried.refusedScript.empty() ? carried.text : "";
}

// What an attached output gets of a subtitle: the text the source's "Caption text" picks.
FinishedSubtitle chosenText(const FinishedSubtitle& subtitle, CaptionText choice) {
    FinishedSubtitle chosen = subtitle;
    if (choice == CaptionText::Original && !chosen.original.empty()) {
        chosen.translation.clear();
        chosen.text = chosen.original;
    }
    return chosen;
}

// The host of a caption URL, which is all a log line may say of it.
std::string captionHost(const std::string& url) {
    const CaptionUrlVerdict verdict = judgeCaptionUrl(url);
    return verdict.accepted ? verdict.accepted->host : "none accepted";
}

}  // namespace

SubtitleHub::SubtitleHub(CaptionSender send, bool threaded)
    : send_(std::move(send)),
      threaded_(threaded),
      youtube_(std::make_shared<YouTubeCaptionSink>(youtubeReport_)) {
    attached_.push_back(
        {youtube_, [](const HubContribution& c) { return c.youtube.enabled; }, false});
}

SubtitleHub::~SubtitleHub() = default;

std::shared_ptr<SubtitleHub> SubtitleHub::shared(
    const std::function<std::shared_ptr<SubtitleHub>()>& make) {
    static std::mutex mutex;
    static std::weak_ptr<SubtitleHub> current;
    std::lock_guard<std::mutex> lock(mutex);
    std::shared_ptr<SubtitleHub> hub = current.lock();
    if (!hub) {
        hub = make();
        current = hub;
    }
    return hub;
}

uint64_t SubtitleHub::join() {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t id = nextSource_++;
    sources_.emplace(id, Source{});
    return id;
}

void SubtitleHub::leave(uint64_t source) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sources_.find(source);
    if (it == sources_.end()) return;
    // What it said before leaving still goes out.
    if (it->second.active && --activeSources_ == 0) transcript_->sourceDeactivated();
    sources_.erase(it);
    settleTranscriptLocked();
    settleYouTubeLocked();
    settleOnAirLocked();
}

void SubtitleHub::configure(uint64_t source, const HubContribution& contribution) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sources_.find(source);
    if (it == sources_.end()) return;
    Source& s = it->second;
    const bool on = contribution.transcript.format != TranscriptFormat::Off;
    if (!on) {
        s.transcriptSince = 0;
    } else if (s.transcriptSince == 0) {
        s.transcriptSince = nextTurn_++;
    }
    if (!contribution.youtube.enabled) {
        s.youtubeSince = 0;
    } else if (s.youtubeSince == 0) {
        s.youtubeSince = nextTurn_++;
    }
    s.contribution = contribution;
    settleTranscriptLocked();
    settleYouTubeLocked();
    settleOnAirLocked();
    if (contribution.youtube.enabled && youtubeOwner_ != source) {
        const YouTubeCaptionOptions& shared = sources_[youtubeOwner_].contribution.youtube;
        if (shared.url != contribution.youtube.url ||
            shared.offsetMs != contribution.youtube.offsetMs) {
            logInfoTag("YouTube",
                       "'%s' sends to the shared YouTube captions: the caption URL and offset "
                       "of '%s' apply",
                       contribution.label.c_str(),
                       sources_[youtubeOwner_].contribution.label.c_str());
        }
    }
    if (on && transcriptOwner_ != source) {
        const TranscriptOptions& shared = sources_[transcriptOwner_].contribution.transcript;
        if (shared.format != contribution.transcript.format ||
            shared.folder != contribution.transcript.folder) {
            logInfoTag("Transcript",
                       "'%s' writes into the shared transcript: the folder and format of '%s' "
                       "apply",
                       contribution.label.c_str(),
                       sources_[transcriptOwner_].contribution.label.c_str());
        }
    }
}

void SubtitleHub::settleTranscriptLocked() {
    uint64_t owner = 0;
    uint64_t since = 0;
    for (const auto& [id, s] : sources_) {
        if (s.transcriptSince != 0 && (owner == 0 || s.transcriptSince < since)) {
            owner = id;
            since = s.transcriptSince;
        }
    }
    if (owner != transcriptOwner_ && owner != 0) {
        logInfoTag("Transcript", "The shared transcript takes the folder and format of '%s'",
                   sources_[owner].contribution.label.c_str());
    }
    transcriptOwner_ = owner;
    transcript_->configure(owner ? sources_[owner].contribution.transcript : TranscriptOptions{});
}

void SubtitleHub::settleYouTubeLocked() {
    uint64_t owner = 0;
    uint64_t since = 0;
    CaptionReportFanOut::Targets targets;
    for (const auto& [id, s] : sources_) {
        if (s.youtubeSince == 0) continue;
        if (s.contribution.youtubeReport) targets.emplace(id, s.contribution.youtubeReport);
        if (owner == 0 || s.youtubeSince < since) {
            owner = id;
            since = s.youtubeSince;
        }
    }
    // Whoever sends learns of a problem the new settings bring.
    youtubeReport_->setTargets(std::move(targets));
    YouTubeCaptionOptions options;
    if (owner != 0) {
        options = sources_[owner].contribution.youtube;
        if (owner != youtubeOwner_) {
            logInfoTag("YouTube",
                       "The shared YouTube captions take the caption URL (host %s) and offset "
                       "of '%s'",
                       captionHost(options.url).c_str(),
                       sources_[owner].contribution.label.c_str());
        }
    }
    // Each source's text choice is applied per subtitle, before the sink sees it.
    options.translation = true;
    youtubeOwner_ = owner;
    youtube_->configure(options);
}

void SubtitleHub::settleOnAirLocked() {
    for (Attached& a : attached_) {
        bool onAir = false;
        for (const auto& [id, s] : sources_) {
            if (s.active && a.takes(s.contribution)) {
                onAir = true;
                break;
            }
        }
        if (onAir == a.onAir) continue;
        a.onAir = onAir;
        guarded(a.sink->name(), [&] {
            if (onAir) {
                a.sink->sourceActivated();
            } else {
                a.sink->sourceDeactivated();
            }
        });
    }
}

void SubtitleHub::deliver(uint64_t source, const FinishedSubtitle& subtitle,
                          Clock::time_point at) {
    // The shared outputs keep what was said: only finished lines.
    if (subtitle.interim) return;
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sources_.find(source);
    if (it == sources_.end()) return;
    Pending pending{subtitle, it->second.contribution, it->second.warned, at, at};
    pending.subtitle.speaker = pending.contribution.speaker;
    pending.subtitle.speakerId = source;
    if (sources_.size() > 1) pending.releaseAt += kOrderWindow;
    auto place = std::upper_bound(pending_.begin(), pending_.end(), pending.subtitle.spokenAt,
                                  [](const auto& spokenAt, const Pending& other) {
                                      return spokenAt < other.subtitle.spokenAt;
                                  });
    pending_.insert(place, std::move(pending));
    wakeLocked();
}

void SubtitleHub::activated(uint64_t source) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sources_.find(source);
    if (it == sources_.end() || it->second.active) return;
    it->second.active = true;
    // A text that 608 cannot carry is reported once per time the source is on air.
    it->second.warned->store(false);
    if (activeSources_++ == 0) transcript_->sourceActivated();
    settleOnAirLocked();
}

void SubtitleHub::deactivated(uint64_t source) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = sources_.find(source);
    if (it == sources_.end() || !it->second.active) return;
    it->second.active = false;
    if (--activeSources_ == 0) transcript_->sourceDeactivated();
    settleOnAirLocked();
}

void SubtitleHub::attach(std::shared_ptr<ISubtitleSink> sink,
                         std::function<bool(const HubContribution&)> takes) {
    if (!sink || !takes) return;
    std::lock_guard<std::mutex> lock(mutex_);
    attached_.push_back({std::move(sink), std::move(takes), false});
    settleOnAirLocked();
}

std::optional<SubtitleHub::Clock::time_point> SubtitleHub::pump(Clock::time_point now) {
    std::vector<Pending> released;
    std::vector<OutputCaption> captions;
    std::vector<Attached> attached;
    std::optional<Clock::time_point> next;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto due = std::find_if(pending_.begin(), pending_.end(),
                                [&](const Pending& p) { return p.releaseAt > now; });
        released.assign(std::make_move_iterator(pending_.begin()), std::make_move_iterator(due));
        pending_.erase(pending_.begin(), due);
        for (const Pending& p : released) {
            if (!p.contribution.captions) continue;
            std::string text =
                closedCaptionText(p.subtitle, p.contribution.captionText, *p.warned);
            if (text.empty()) continue;
            channel_.push({std::move(text), captionSpeaker(p.subtitle.speaker),
                           p.subtitle.speakerId, p.subtitle.spokenAt, p.subtitle.displayMs});
        }
        captions = channel_.take(now);
        next = earlier(channel_.nextAt(), pending_.empty()
                                              ? std::nullopt
                                              : std::optional(pending_.front().releaseAt));
        if (!released.empty()) attached = attached_;
    }
    for (const Pending& p : released) {
        if (p.contribution.transcript.format != TranscriptFormat::Off) {
            Clock::time_point at = p.at;
            // A late one is placed where it was spoken, by the transcript itself.
            if (!p.subtitle.late) {
                if (transcriptSpeaker_ != 0 && transcriptSpeaker_ != p.subtitle.speakerId) {
                    at = std::max(at, transcriptFree_);
                }
                transcriptSpeaker_ = p.subtitle.speakerId;
                transcriptFree_ = at + std::min<Clock::duration>(
                                           CaptionChannel::kReadingTime,
                                           std::chrono::milliseconds(
                                               std::max(p.subtitle.displayMs, 0)));
            }
            guarded("transcript", [&] { transcript_->deliverAt(p.subtitle, at); });
        }
        for (const Attached& a : attached) {
            if (!a.takes(p.contribution)) continue;
            guarded(a.sink->name(), [&] {
                a.sink->deliver(chosenText(p.subtitle, p.contribution.captionText));
            });
        }
    }
    if (!captions.empty()) {
        const size_t reached = send_(captions);
        if (std::exchange(lastReached_, reached) != reached) {
            if (reached == 0) {
                logInfoTag("Captions",
                           "No active output carries encoded video: closed captions wait");
            } else {
                logInfoTag("Captions", "Closed captions go to %zu output(s)", reached);
            }
        }
    }
    return next;
}

void SubtitleHub::wakeLocked() {
    if (!threaded_) return;
    if (running_) {
        wake_.notify_all();
        return;
    }
    running_ = true;
    auto token =
        WorkerRegistry::instance().start("subtitle hub", [self = shared_from_this()] { self->run(); });
    if (!token) running_ = false;
}

void SubtitleHub::run() {
    for (;;) {
        guarded("subtitle hub", [&] { pump(Clock::now()); });
        std::unique_lock<std::mutex> lock(mutex_);
        std::optional<Clock::time_point> due = earlier(
            channel_.nextAt(),
            pending_.empty() ? std::nullopt : std::optional(pending_.front().releaseAt));
        // Leaving under the lock: a subtitle delivered from now on starts a new thread.
        if (!due || currentWorkCancelled()) {
            running_ = false;
            return;
        }
        const Clock::time_point check = Clock::now() + kIdleCheck;
        wake_.wait_until(lock, std::min(*due, check));
    }
}

}  // namespace obs_sayline
