#include "sinks/youtube/caption_poster.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "core/logger.h"
#include "core/worker_registry.h"
#include "sinks/youtube/caption_poster_state.h"

namespace obs_sayline {
namespace {

constexpr const char* kTag = kYouTubeLogTag;
using caption_delivery::publishProblem;
using caption_delivery::warnDrops;

}  // namespace

std::string captionStatisticsLine(const CaptionDeliveryStats& stats) {
    char text[256];
    std::snprintf(text, sizeof(text),
                  "{\"posts\":%llu,\"captions\":%llu,\"retries\":%llu,\"dropped\":%llu,"
                  "\"refused\":%llu,\"averageRoundTripMs\":%lld}",
                  static_cast<unsigned long long>(stats.posts),
                  static_cast<unsigned long long>(stats.captions),
                  static_cast<unsigned long long>(stats.retries),
                  static_cast<unsigned long long>(stats.dropped),
                  static_cast<unsigned long long>(stats.refused),
                  static_cast<long long>(stats.meanRoundTripMs));
    return text;
}

std::string captionsSentSentence(std::chrono::steady_clock::duration ago) {
    const long long seconds =
        std::max<long long>(0, std::chrono::duration_cast<std::chrono::seconds>(ago).count());
    if (seconds < 120) return "Captions sent to YouTube " + std::to_string(seconds) + " s ago";
    return "Captions sent to YouTube " + std::to_string(seconds / 60) + " min ago";
}

YouTubeCaptionPoster::YouTubeCaptionPoster(std::shared_ptr<ICaptionDeliveryReport> report,
                                           CaptionPosterOptions options)
    : state_(std::make_shared<State>(std::move(report), std::move(options))) {}

YouTubeCaptionPoster::~YouTubeCaptionPoster() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->gone = true;
        state_->forgetPostsLocked();
    }
    // After this no report call is under way or to come.
    std::lock_guard<std::mutex> lock(state_->reportMutex);
    state_->reportClosed = true;
}

void YouTubeCaptionPoster::configure(bool enabled, const std::string& pastedUrl) {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.configured && s.enabled == enabled && s.pasted == pastedUrl) return;
    }
    const CaptionUrlVerdict verdict = judgeCaptionUrl(pastedUrl);
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.configured = true;
        if (s.enabled != enabled) {
            s.enabled = enabled;
            if (!enabled) s.forgetPostsLocked();
        }
        s.pasted = pastedUrl;
        if (s.url != verdict.accepted) {
            s.url = verdict.accepted;
            s.deliveryProblem.clear();
            s.newStreamLocked();
        }
        if (verdict.accepted) {
            s.urlProblem.clear();
        } else if (verdict.empty) {
            s.urlProblem =
                "No YouTube caption URL is set: paste the one YouTube Studio shows for the stream";
        } else {
            s.urlProblem = "YouTube caption URL refused: " + verdict.refusal;
        }
    }
    if (enabled && verdict.accepted) {
        logInfoTag(kTag, "Captions go to %s", verdict.accepted->host.c_str());
    } else if (enabled) {
        logWarningTag(kTag, "No captions go to YouTube: %s", verdict.refusal.c_str());
    }
    publishProblem(s);
}

void YouTubeCaptionPoster::start() {
    bool posting = false;
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->running = true;
        state_->newStreamLocked();
        posting = state_->postingLocked();
    }
    if (posting) logInfoTag(kTag, "A new stream: captions are posted from seq 1");
}

void YouTubeCaptionPoster::stop() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->running = false;
    state_->forgetPostsLocked();
}

bool YouTubeCaptionPoster::accepting() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->postingLocked();
}

void YouTubeCaptionPoster::post(std::vector<TimedCaption> captions) {
    if (captions.empty()) return;
    State& s = *state_;
    bool warn = false;
    bool startWorker = false;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.postingLocked()) return;
        for (auto& caption : captions) s.queue.push_back(std::move(caption));
        size_t over = 0;
        while (s.queue.size() > s.options.queueLimit) {
            s.queue.pop_front();
            ++over;
        }
        warn = s.dropLocked(over);
        startWorker = !s.workerRunning;
        s.workerRunning = true;
        s.wake.notify_all();
    }
    if (warn) warnDrops(s);
    if (!startWorker) return;
    auto token = WorkerRegistry::instance().start(
        "YouTube captions", [state = state_] { caption_delivery::runPoster(state); });
    if (!token) {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.workerRunning = false;
        s.queue.clear();
    }
}

size_t YouTubeCaptionPoster::waiting() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->queue.size();
}

CaptionDeliveryStats YouTubeCaptionPoster::stats() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->stats;
}

std::string YouTubeCaptionPoster::problem() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->problemLocked();
}

std::optional<std::chrono::steady_clock::time_point> YouTubeCaptionPoster::lastPostAt() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->lastPost;
}

}  // namespace obs_sayline
