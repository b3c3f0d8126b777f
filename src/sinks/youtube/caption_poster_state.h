#pragma once

// What the caption poster and its delivery worker share: the poster's state, and the worker's
// side of it (posting, retrying, telling the report). Private to the poster's two files.

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "net/http_client.h"
#include "sinks/youtube/caption_poster.h"
#include "sinks/youtube/caption_request.h"
#include "sinks/youtube/caption_url.h"

namespace obs_sayline {

constexpr const char* kYouTubeLogTag = "YouTube";

struct YouTubeCaptionPoster::State {
    using Clock = std::chrono::steady_clock;

    State(std::shared_ptr<ICaptionDeliveryReport> r, CaptionPosterOptions o)
        : options(std::move(o)), report(std::move(r)) {}

    const CaptionPosterOptions options;
    const std::shared_ptr<ICaptionDeliveryReport> report;
    // Made by the delivery worker with its first post (a source that never posts never sets
    // up the HTTP transport), then kept warm; only the delivery worker, one at a time, uses it.
    std::unique_ptr<HttpClient> client;

    mutable std::mutex mutex;
    std::condition_variable wake;
    bool enabled = false;
    bool running = false;
    bool gone = false;
    bool configured = false;
    std::string pasted;
    std::optional<CaptionUrl> url;
    std::string urlProblem;
    std::string deliveryProblem;
    std::deque<TimedCaption> queue;
    uint64_t nextSeq = 1;
    bool workerRunning = false;
    bool dropping = false;    // in a run of drops, warned once
    bool skewWarned = false;  // once per stream
    std::optional<Clock::time_point> lastPost;
    CaptionDeliveryStats stats;
    int64_t roundTripTotalMs = 0;
    // Moved on by every change that makes a post in flight pointless (stop, start, another
    // URL, the poster's end); the transfer's progress check reads it without the lock.
    std::atomic<uint64_t> generation{0};

    // Report calls one at a time, in the order of the changes they tell; none once closed.
    std::mutex reportMutex;
    std::string publishedProblem;
    bool reportClosed = false;

    bool postingLocked() const { return enabled && running && url && !gone; }
    std::string problemLocked() const {
        if (!enabled) return {};
        return urlProblem.empty() ? deliveryProblem : urlProblem;
    }
    void forgetPostsLocked() {
        generation.fetch_add(1);
        queue.clear();
        wake.notify_all();
    }
    void newStreamLocked() {
        forgetPostsLocked();
        nextSeq = 1;
        dropping = false;
        skewWarned = false;
    }
    // Counts dropped captions; true when this begins a run of drops (to be warned of).
    bool dropLocked(size_t count) {
        if (count == 0) return false;
        stats.dropped += count;
        return !std::exchange(dropping, true);
    }
};

namespace caption_delivery {

using State = YouTubeCaptionPoster::State;

// Tells the report, one call at a time and never once it is closed; a report that throws is
// logged and delivery goes on.
void reportPosted(State& s, std::chrono::steady_clock::time_point at);
// Publishes the problem that stands now, when it changed.
void publishProblem(State& s);
// The one Warning of a run of drops.
void warnDrops(const State& s);

// The delivery worker: posts what is queued, batch by batch, until nothing is or posting stops.
void runPoster(const std::shared_ptr<State>& s);

}  // namespace caption_delivery
}  // namespace obs_sayline
